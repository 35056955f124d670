#pragma once

#include <functional>

class QDialog;

// Message boxes of the program as QMessageBox. When $VELMORA_MESSAGE_LOG names a file, every box
// is instead appended to that file and answered with OK (used to drive the program unattended).
void InstallMessageBoxes();

// Modal dialogs run through one seam, so that a test can drive them without a human.
using ModalHandler = std::function<int(QDialog &)>;
ModalHandler SetModalHandler(ModalHandler handler); // returns the previous one
int RunModal(QDialog &dialog);                      // QDialog::exec() unless a handler is set
