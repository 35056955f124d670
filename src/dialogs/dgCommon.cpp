#include "dgCommon.h"

#include "DataSet.h"
#include "dmTessalData.h"

#include <QDialog>
#include <QIcon>
#include <QList>
#include <QPushButton>

namespace {
QList<QPointer<QDialog>> &instances() {
    static QList<QPointer<QDialog>> list;
    return list;
}
} // namespace

void DialogInstances::keep(QDialog *dialog) {
    instances() << dialog;
}

void DialogInstances::ResetForTesting() {
    const QList<QPointer<QDialog>> made = std::exchange(instances(), {});
    for (const QPointer<QDialog> &d : made)
        delete d.data();
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
