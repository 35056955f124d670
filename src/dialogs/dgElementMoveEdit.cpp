#include "dialogs/dgElementMoveEdit.h"

#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgDeviceFind.h"
#include "model/dmLookUpData.h"
#include "server/ElementMoves.h"
#include "ui/Actions.h"
#include "ui/DataControls.h"
#include "ui/ImageList.h"
#include "ui/Seams.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

void PostElementWithHistory(DataSet &element, bool historyFirst) {
    Connection *cn = element.connection();
    if (!cn)
        throw AppError(QStringLiteral("Набор данных не связан с соединением"));
    const auto history = [&] { RecordElementPlace(*cn, element.value(QStringLiteral("IdComponent"))); };
    if (historyFirst)
        element.postTogether(history, {});
    else
        element.postTogether({}, history);
}

TElementMoveEditDG::TElementMoveEditDG() : TBaseEditDG(nullptr) {
    setObjectName(QStringLiteral("ElementMoveEditDG"));
    setWindowTitle(QStringLiteral("Перемещение"));
    taData->setCommand(
        QStringLiteral("select IdComponent, CmplIdDevice from CompleteSet where IdComponent = :ID"));

    lcDevice = new DBLookupCombo(taData, QStringLiteral("CmplIdDevice"), this);
    lcDevice->setObjectName(QStringLiteral("lcDevice"));
    lcDevice->setMaxVisibleItems(16);
    lcDevice->setMinimumWidth(360);
    btFind = new QPushButton(this);
    btFind->setObjectName(QStringLiteral("btFind"));
    btFind->setIcon(imageIcon(Img::Find));
    btFind->setToolTip(QStringLiteral("Поиск"));
    btFind->setAutoDefault(false);
    if (dmLookUp)
        lcDevice->setListSource(dmLookUp->taDevice);

    auto *label = new QLabel(QStringLiteral("Устройство"), this);
    label->setBuddy(lcDevice);
    contentLayout()->addWidget(label);
    auto *row = new QHBoxLayout;
    row->addWidget(lcDevice, 1);
    row->addWidget(btFind);
    contentLayout()->addLayout(row);
    setTabOrder(lcDevice, btFind);
    setTabOrder(btFind, btSave);
    setTabOrder(btSave, btCancel);

    connect(btFind, &QPushButton::clicked, this, [this] { Guarded([this] { btFindClick(); }); });
}

bool TElementMoveEditDG::Run(int CompSet, int Device) {
    TElementMoveEditDG *dlg = Instance();
    if (dlg->lcDevice->listSource() != dmLookUp->taDevice)
        dlg->lcDevice->setListSource(dmLookUp->taDevice);
    OpenWithParams(*dmLookUp->taDevice, {TypedValue::Int(CompSet), TypedValue::Int(0)});
    DataSet &ds = *dlg->taData;
    OpenWithParams(ds, {TypedValue::Int(CompSet)});
    if (ds.isEmpty())
        throw AppError(QStringLiteral("Элемент не найден: возможно, его удалил другой пользователь"));
    if (Device > 0 && ds.value(QStringLiteral("CmplIdDevice")).toInt() != Device) {
        // A device of another department: the list then offers that department's devices.
        if (!dmLookUp->taDevice->locate(QStringLiteral("ID"), Device))
            OpenWithParams(*dmLookUp->taDevice, {TypedValue::Int(Device), TypedValue::Int(1)});
        SetFieldValue(*ds.fieldByName(QStringLiteral("CmplIdDevice")), Device);
    }
    dlg->dsDataDataChange();
    dlg->setResult(QDialog::Rejected);
    return RunModal(*dlg) == QDialog::Accepted;
}

void TElementMoveEditDG::postData() {
    if (taData->isEditing())
        PostElementWithHistory(*taData, true);
}

void TElementMoveEditDG::btFindClick() {
    if (Field *device = taData->findField(QStringLiteral("CmplIdDevice")))
        TDeviceFindDG::Run(device);
}
