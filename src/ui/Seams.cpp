#include "Seams.h"

#include "TessalDialog.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QMessageBox>
#include <QTextStream>

void InstallMessageBoxes()
{
    const QString log = qEnvironmentVariable("VELMORA_MESSAGE_LOG");
    if (!log.isEmpty()) {
        SetMessageHandler([log](const MessageRequest &r) {
            QFile f(log);
            if (f.open(QIODevice::Append | QIODevice::Text))
                QTextStream(&f) << r.title << '\t' << QString(r.text).replace(u'\n', u' ') << '\n';
            return true;
        });
        return;
    }
    SetMessageHandler([](const MessageRequest &r) {
        QMessageBox box(r.kind == MessageKind::Warning ? QMessageBox::Warning : QMessageBox::Critical, r.title,
                        QString(r.text).replace(u'\r', QString()),
                        r.hasCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                        QApplication::activeWindow());
        box.setDefaultButton(QMessageBox::Ok);
        return box.exec() == QMessageBox::Ok;
    });
}

namespace {
ModalHandler &modal()
{
    static ModalHandler h;
    return h;
}
} // namespace

ModalHandler SetModalHandler(ModalHandler handler)
{
    ModalHandler old = std::move(modal());
    modal() = std::move(handler);
    return old;
}

int RunModal(QDialog &dialog) { return modal() ? modal()(dialog) : dialog.exec(); }
