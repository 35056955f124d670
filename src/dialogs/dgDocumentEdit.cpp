#include "dialogs/dgDocumentEdit.h"

#include "data/DataSet.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgFirmList.h"
#include "model/dmLookUpData.h"
#include "ui/Actions.h"
#include "ui/DataControls.h"
#include "ui/ImageList.h"
#include "ui/Seams.h"

#include <QDate>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

const QString TDocumentEditDG::DefaultKind = QStringLiteral("N");

TDocumentEditDG::TDocumentEditDG() : TBaseEditDG(nullptr) {
    setObjectName(QStringLiteral("DocumentEditDG"));
    setWindowTitle(QStringLiteral("Документ"));
    taData->setCommand(QStringLiteral("SELECT * FROM Document WHERE IdDocument = :ID"));

    lcKind = Named(new DBLookupCombo(taData, QStringLiteral("DocKind"), this), "lcKind");
    edNumber = Named(new DBEdit(taData, QStringLiteral("DocNumber"), this), "edNumber");
    edDate = Named(new DBDateEdit(taData, QStringLiteral("DocDate"), this), "edDate");
    lcProd = Named(new DBLookupCombo(taData, QStringLiteral("DocClient"), this), "lcProd");
    lcProd->setSearchEnabled(true);
    lcProd->setClearOnDelete(true);
    sbProd = Named(new QPushButton(this), "sbProd");
    sbProd->setIcon(imageIcon(Img::Open));
    sbProd->setToolTip(QStringLiteral("Справочник производителей"));
    sbProd->setAutoDefault(false);
    moNote = Named(new DBMemo(taData, QStringLiteral("Note"), this), "moNote");
    moNote->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    moNote->setFixedHeight(80);
    if (dmLookUp) {
        lcKind->setListSource(dmLookUp->taDocKind);
        lcProd->setListSource(dmLookUp->taClient);
    }

    auto *grid = new QGridLayout;
    grid->addWidget(caption(QStringLiteral("Тип"), lcKind), 0, 0);
    grid->addWidget(lcKind, 0, 1, 1, 2);
    grid->addWidget(caption(QStringLiteral("Номер"), edNumber), 1, 0);
    grid->addWidget(edNumber, 1, 1, 1, 2);
    grid->addWidget(caption(QStringLiteral("Дата"), edDate), 2, 0);
    grid->addWidget(edDate, 2, 1, 1, 2);
    grid->addWidget(caption(QStringLiteral("Поставщик"), lcProd), 3, 0);
    grid->addWidget(lcProd, 3, 1);
    grid->addWidget(sbProd, 3, 2);
    grid->addWidget(caption(QStringLiteral("Примечание"), moNote), 4, 0, Qt::AlignTop);
    grid->addWidget(moNote, 4, 1, 1, 2);
    grid->setColumnMinimumWidth(1, 320);
    contentLayout()->addLayout(grid);

    QWidget *order[] = {lcKind, edNumber, edDate, lcProd, sbProd, moNote, btSave, btCancel};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    // After the base's own rule, which these connections follow.
    connect(taData, &DataSet::fieldChanged, this, [this] {
        m_pristine = false;
        followChanges();
    });
    connect(taData, &DataSet::stateChanged, this, &TDocumentEditDG::followChanges);
    connect(sbProd, &QPushButton::clicked, this, [this] { Guarded([this] { sbProdClick(); }); });
}

void TDocumentEditDG::followChanges() {
    if (m_pristine && taData->state() == DataSetState::Insert)
        btSave->setEnabled(false);
}

std::optional<int> TDocumentEditDG::Run(int Doc) {
    TDocumentEditDG *dlg = Instance();
    bool kindExists = false;
    if (dmLookUp) {
        if (dlg->lcKind->listSource() != dmLookUp->taDocKind)
            dlg->lcKind->setListSource(dmLookUp->taDocKind);
        if (dlg->lcProd->listSource() != dmLookUp->taClient)
            dlg->lcProd->setListSource(dmLookUp->taClient);
        OpenWithParams(*dmLookUp->taDocKind);
        OpenWithParams(*dmLookUp->taClient);
        kindExists = dmLookUp->taDocKind->locate(QStringLiteral("ID"), DefaultKind);
    }
    dlg->m_pristine = false;
    DataSet &ds = *dlg->taData;
    OpenWithParams(ds, {TypedValue::Int(Doc)});
    if (ds.isEmpty()) {
        ds.append();
        if (kindExists)
            ds.fieldByName(QStringLiteral("DocKind"))->setValue(DefaultKind);
        ds.fieldByName(QStringLiteral("DocDate"))->setValue(QDateTime(QDate::currentDate(), QTime(0, 0)));
        dlg->m_pristine = true;
    }
    dlg->dsDataDataChange();
    dlg->followChanges();
    dlg->setResult(QDialog::Rejected);
    if (RunModal(*dlg) != QDialog::Accepted)
        return std::nullopt;
    return ds.value(QStringLiteral("IdDocument")).toInt();
}

void TDocumentEditDG::sbProdClick() {
    Field *client = taData->findField(QStringLiteral("DocClient"));
    if (!client)
        return;
    TFirmListDG::Run(client->isNull() ? -1 : client->asInt(), client);
    // Firms added or renamed in the list show in the box whether or not one was chosen.
    if (dmLookUp)
        OpenWithParams(*dmLookUp->taClient);
}
