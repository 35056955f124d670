#include "dgModelEdit.h"

#include "Actions.h"
#include "DataControls.h"
#include "DataSet.h"
#include "Seams.h"
#include "TessalADO.h"
#include "TessalDialog.h"
#include "dgFirmList.h"
#include "dgKindList.h"
#include "dmChainData.h"
#include "dmLookUpData.h"
#include "dmTessalData.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

TModelEditDG::TModelEditDG() : TBaseEditDG(nullptr) {
    setObjectName(QStringLiteral("ModelEditDG"));
    setWindowTitle(QStringLiteral("Модель"));
    taData->setCommand(QStringLiteral("SELECT * FROM Model WHERE IdModel = :ID"));
    spCalcName = DialogDataSet(this, QStringLiteral("spCalcName"));
    spCalcName->setCommand(QStringLiteral("CalcModelName;1"), CommandType::StoredProc);

    const auto button = [this](const char *name, const QString &hint) {
        QPushButton *b = DialogButton(this, name, imageIcon(Img::Open), hint);
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    lcKind = Named(new DBLookupCombo(taData, QStringLiteral("ModlKind"), this), "lcKind");
    btKind = button("btKind", QStringLiteral("Справочник типов"));
    lcProd = Named(new DBLookupCombo(taData, QStringLiteral("ModlIdProducer"), this), "lcProd");
    lcProd->setSearchEnabled(true);
    lcProd->setClearOnDelete(true);
    btFirm = button("btFirm", QStringLiteral("Справочник производителей"));
    edNumber = Named(new DBEdit(taData, QStringLiteral("ModlNumber"), this), "edNumber");
    DBCheckBox1 =
        Named(new DBCheckBox(taData, QStringLiteral("ModlNameOnly"), QStringLiteral("Только номер"), this),
              "DBCheckBox1");
    edParameters = Named(new DBEdit(taData, QStringLiteral("ModlParametersValue"), this), "edParameters");
    edNote = Named(new DBEdit(taData, QStringLiteral("ModlNote"), this), "edNote");
    if (dmLookUp) {
        lcKind->setListSource(dmLookUp->taKind);
        lcProd->setListSource(dmLookUp->taClient);
    }

    auto *grid = new QGridLayout;
    grid->addWidget(caption(QStringLiteral("Тип"), lcKind), 0, 0);
    grid->addWidget(lcKind, 0, 1);
    grid->addWidget(btKind, 0, 2);
    grid->addWidget(caption(QStringLiteral("Производитель"), lcProd), 1, 0);
    grid->addWidget(lcProd, 1, 1);
    grid->addWidget(btFirm, 1, 2);
    grid->addWidget(caption(QStringLiteral("Номер модели"), edNumber), 2, 0);
    grid->addWidget(edNumber, 2, 1);
    grid->addWidget(DBCheckBox1, 3, 1);
    grid->addWidget(caption(QStringLiteral("Характеристики"), edParameters), 4, 0);
    grid->addWidget(edParameters, 4, 1, 1, 2);
    grid->addWidget(caption(QStringLiteral("Примечание"), edNote), 5, 0);
    grid->addWidget(edNote, 5, 1, 1, 2);
    grid->setColumnMinimumWidth(1, 340);
    contentLayout()->addLayout(grid);

    QWidget *order[] = {lcProd, edNumber, DBCheckBox1, edParameters, edNote, lcKind, btCancel, btSave};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(btKind, &QPushButton::clicked, this, [this] { Guarded([this] { btKindClick(); }); });
    connect(btFirm, &QPushButton::clicked, this, [this] { Guarded([this] { btFirmClick(); }); });
}

bool TModelEditDG::Run(int ID, int KindID) {
    TModelEditDG *dlg = Instance();
    dlg->spCalcName->setCommand(QStringLiteral("CalcModelName;1"), CommandType::StoredProc);
    if (dlg->lcKind->listSource() != dmLookUp->taKind)
        dlg->lcKind->setListSource(dmLookUp->taKind);
    if (dlg->lcProd->listSource() != dmLookUp->taClient)
        dlg->lcProd->setListSource(dmLookUp->taClient);
    OpenWithParams(*dmLookUp->taClient);
    // The kinds of the type of the model's own kind (of KindID for a new model).
    if (ID > 0)
        dmChain->setModel(ID);
    if (ID <= 0 || dmChain->Kind() <= 0)
        dmChain->setKind(KindID);
    dmLookUp->SetKindType(dmChain->KindType());
    return dlg->runEdit(ID, [KindID](DataSet &ds) {
        if (KindID > 0)
            ds.fieldByName(QStringLiteral("ModlKind"))->setValue(KindID);
    });
}

void TModelEditDG::showEvent(QShowEvent *event) {
    TBaseEditDG::showEvent(event);
    edNumber->setFocus();
}

void TModelEditDG::btSaveClick() {
    if (taData->isEditing()) {
        Field *producer = taData->fieldByName(QStringLiteral("ModlIdProducer"));
        Field *nameOnly = taData->fieldByName(QStringLiteral("ModlNameOnly"));
        if (producer->isNull() || producer->asInt() <= 0)
            nameOnly->setValue(true);
        spCalcName->setParameterValue(QStringLiteral("@NB"),
                                      taData->value(QStringLiteral("ModlNumber")).toString());
        spCalcName->setParameterValue(QStringLiteral("@NO"), nameOnly->asBool());
        spCalcName->setParameterValue(QStringLiteral("@PR"), producer->isNull() ? 0 : producer->asInt());
        spCalcName->execProc();
        const QString name = spCalcName->parameter(QStringLiteral("@Name")).value.toString();
        taData->fieldByName(QStringLiteral("ModlName"))
            ->setValue(name.isEmpty() ? QVariant() : QVariant(name));
    }
    TBaseEditDG::btSaveClick();
}

void TModelEditDG::btKindClick() {
    Field *kind = taData->findField(QStringLiteral("ModlKind"));
    if (!kind)
        return;
    const int shown = lcKind->rowOfValue() >= 0 ? kind->asInt() : -1;
    TKindListDG::Run(shown, kind, dmChain ? dmChain->KindType() : QString());
}

void TModelEditDG::btFirmClick() {
    Field *producer = taData->findField(QStringLiteral("ModlIdProducer"));
    if (!producer)
        return;
    TFirmListDG::Run(producer->isNull() ? -1 : producer->asInt(), producer);
    // Firms added or renamed in the list show in the box whether or not one was chosen.
    OpenWithParams(*dmLookUp->taClient);
}
