#pragma once

#include "data/TessalDialog.h"

#include <functional>
#include <memory>

class QDialog;
class QMessageBox;
class QWidget;

// The program's message boxes as QMessageBox, owned by the active window. A handler installed
// before (a test build of the program installs one that logs and answers) is kept.
void InstallMessageBoxes();
// The box shown for a request: its title and text, the warning icon and OK with Cancel for a
// confirmation, the error icon and OK alone otherwise; OK is the default button.
std::unique_ptr<QMessageBox> MakeMessageBox(const MessageRequest &request, QWidget *parent = nullptr);
// A message as the box shows it: a carriage return, alone or before a line feed, starts a new line.
QString MessageBoxText(const QString &text);

// Modal dialogs run through one seam, so that a test can drive them without a human.
using ModalHandler = std::function<int(QDialog &)>;
ModalHandler SetModalHandler(ModalHandler handler); // returns the previous one
int RunModal(QDialog &dialog);                      // QDialog::exec() unless a handler is set

// The question an edit dialog with unsaved changes asks when it is closed without "Записать" or
// "Отменить": "Сохранить изменения?" with "Сохранить", "Не сохранять" and "Отмена" (back to the
// dialog). A test answers it through its own handler.
enum class SaveChangesAnswer { Save, Discard, GoBack };
using SaveChangesHandler = std::function<SaveChangesAnswer(QWidget *dialog)>;
SaveChangesHandler SetSaveChangesHandler(SaveChangesHandler handler); // returns the previous one
SaveChangesAnswer AskSaveChanges(QWidget *dialog);
