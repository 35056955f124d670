#include "dialogs/dgCommon.h"

#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/dmTessalData.h"

#include <QDialog>
#include <QIcon>
#include <QPushButton>

namespace {
DialogRegistry *s_current = nullptr;
}

DialogRegistry::DialogRegistry() : m_previous(s_current) {
    s_current = this;
}

DialogRegistry::~DialogRegistry() {
    while (!m_dialogs.isEmpty())
        delete m_dialogs.takeLast().data();
    if (s_current == this)
        s_current = m_previous;
}

DialogRegistry *DialogRegistry::current() {
    return s_current;
}

void DialogRegistry::keep(QDialog *dialog) {
    m_dialogs << dialog;
}

DialogRegistry &CurrentDialogRegistry() {
    if (!s_current)
        throw AppError(QStringLiteral("Окно нельзя открыть: программа ещё не готова или уже завершается"));
    return *s_current;
}

DataSet *DialogDataSet(QObject *owner, const QString &objectName) {
    auto *ds = new DataSet(dmTessal ? &dmTessal->cnGeneral : nullptr, owner);
    ds->setObjectName(objectName);
    return ds;
}

QPushButton *DialogButton(QWidget *owner, const char *objectName, const QString &text) {
    auto *b = new QPushButton(text, owner);
    b->setObjectName(QString::fromLatin1(objectName));
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

QPushButton *DialogButton(QWidget *owner, const char *objectName, const QIcon &icon, const QString &hint) {
    QPushButton *b = DialogButton(owner, objectName, QString());
    b->setIcon(icon);
    b->setToolTip(hint);
    return b;
}
