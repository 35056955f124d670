#include "ui/Seams.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>

QString MessageBoxText(const QString &text) {
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(u'\r', u'\n');
    return out;
}

std::unique_ptr<QMessageBox> MakeMessageBox(const MessageRequest &r, QWidget *parent) {
    auto box = std::make_unique<QMessageBox>(
        r.kind == MessageKind::Warning       ? QMessageBox::Warning
        : r.kind == MessageKind::Information ? QMessageBox::Information
                                             : QMessageBox::Critical,
        r.title, MessageBoxText(r.text),
        r.hasCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, parent);
    box->setDefaultButton(QMessageBox::Ok);
    return box;
}

void InstallMessageBoxes() {
    if (MessageHandler installed = SetMessageHandler({})) {
        SetMessageHandler(std::move(installed));
        return;
    }
    SetMessageHandler([](const MessageRequest &r) {
        const std::unique_ptr<QMessageBox> box = MakeMessageBox(r, QApplication::activeWindow());
        return box->exec() == QMessageBox::Ok;
    });
}

namespace {
ModalHandler &modal() {
    static ModalHandler h;
    return h;
}
} // namespace

ModalHandler SetModalHandler(ModalHandler handler) {
    ModalHandler old = std::move(modal());
    modal() = std::move(handler);
    return old;
}

int RunModal(QDialog &dialog) {
    return modal() ? modal()(dialog) : dialog.exec();
}

namespace {
SaveChangesHandler &saveChanges() {
    static SaveChangesHandler h;
    return h;
}
} // namespace

SaveChangesHandler SetSaveChangesHandler(SaveChangesHandler handler) {
    SaveChangesHandler old = std::move(saveChanges());
    saveChanges() = std::move(handler);
    return old;
}

SaveChangesAnswer AskSaveChanges(QWidget *dialog) {
    if (saveChanges())
        return saveChanges()(dialog);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Предупреждение"),
                    QStringLiteral("Сохранить изменения?"), QMessageBox::NoButton, dialog);
    QPushButton *save = box.addButton(QStringLiteral("Сохранить"), QMessageBox::AcceptRole);
    QPushButton *discard = box.addButton(QStringLiteral("Не сохранять"), QMessageBox::DestructiveRole);
    QPushButton *back = box.addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(back);
    box.exec();
    if (box.clickedButton() == save)
        return SaveChangesAnswer::Save;
    if (box.clickedButton() == discard)
        return SaveChangesAnswer::Discard;
    return SaveChangesAnswer::GoBack;
}
