#pragma once

#include "data/TessalADO.h"

#include <functional>

// Every message box of the program goes through one handler: the user interface installs one that
// shows a QMessageBox, tests install one that answers and records.
enum class MessageKind { Warning, Error, Exception, Information };

struct MessageRequest {
    MessageKind kind;
    QString title;
    QString text;
    bool hasCancel; // OK and Cancel, else OK alone
};

using MessageHandler = std::function<bool(const MessageRequest &)>;
MessageHandler SetMessageHandler(MessageHandler handler); // returns the previous one

bool ConfirmWarning(const QString &text);
bool ConfirmWarningFmt(const QString &format, const TypedValues &values);
bool ConfirmDelete(const QString &name); // "Удалить «name»?"
bool ShowError(const QString &text);
bool ShowErrorFmt(const QString &format, const TypedValues &values);
// A box that tells what was done (title "Информация", OK alone).
void ShowInformation(const QString &text);

// The standard exception box: title "Velmora", error icon, the message with a full stop.
void ShowException(const QString &message);
// A message as that box shows it: a full stop is appended unless the text already ends with one
// (or with any character that sorts at or before it, such as "!" or ",").
QString ExceptionText(const QString &message);

// Runs a command, a creation or a show handler; whatever it throws is shown in the exception box
// and the program goes on. Returns false when it threw.
bool Guarded(const std::function<void()> &work);
