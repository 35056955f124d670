#include "data/TessalDialog.h"

#include "data/Errors.h"
#include "data/TessalString.h"

#include <QTextStream>

namespace {

MessageHandler &handler() {
    static MessageHandler h;
    return h;
}

bool show(MessageKind kind, const QString &title, const QString &text, bool hasCancel) {
    const MessageRequest req{kind, title, text, hasCancel};
    if (handler())
        return handler()(req);
    QTextStream(stderr) << title << ": " << text << Qt::endl;
    return !hasCancel;
}

const QString Warning = QStringLiteral("Предупреждение");
const QString Error = QStringLiteral("Ошибка");

} // namespace

MessageHandler SetMessageHandler(MessageHandler h) {
    MessageHandler old = std::move(handler());
    handler() = std::move(h);
    return old;
}

bool ConfirmWarning(const QString &text) {
    return show(MessageKind::Warning, Warning, text, true);
}

bool ConfirmWarningFmt(const QString &format, const TypedValues &values) {
    return ConfirmWarning(FormatText(format, values));
}

bool ConfirmDelete(const QString &name) {
    return ConfirmWarningFmt(QStringLiteral("Удалить «%s»?"), {TypedValue::Text(name)});
}

bool ShowError(const QString &text) {
    show(MessageKind::Error, Error, text, false);
    return true;
}

void ShowInformation(const QString &text) {
    show(MessageKind::Information, QStringLiteral("Информация"), text, false);
}

bool ShowErrorFmt(const QString &format, const TypedValues &values) {
    return ShowError(FormatText(format, values));
}

QString ExceptionText(const QString &message) {
    if (!message.isEmpty() && message.back() > u'.')
        return message + u'.';
    return message;
}

void ShowException(const QString &message) {
    show(MessageKind::Exception, QStringLiteral("Velmora"), ExceptionText(message), false);
}

bool Guarded(const std::function<void()> &work) {
    try {
        work();
        return true;
    } catch (const AppError &e) {
        ShowException(e.message());
    } catch (const std::exception &e) {
        ShowException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowException(QStringLiteral("Непредвиденная ошибка"));
    }
    return false;
}
