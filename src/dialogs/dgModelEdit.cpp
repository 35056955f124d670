#include "dialogs/dgModelEdit.h"

#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgFirmList.h"
#include "dialogs/dgKindList.h"
#include "model/dmChainData.h"
#include "model/dmLookUpData.h"
#include "ui/Actions.h"
#include "ui/DataControls.h"
#include "ui/ImageList.h"
#include "ui/Seams.h"

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
    // A producer not yet in the catalogue is typed by name and made a firm when the model is saved.
    lcProd->setNewTextAllowed(true);
    lcProd->setToolTip(QStringLiteral("Выберите фирму из списка или впишите название новой: она будет "
                                      "добавлена при записи модели"));
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

std::optional<int> TModelEditDG::Run(int ID, int KindID) {
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
    dlg->lcProd->clearNewText();
    return dlg->runEditKey(ID, QStringLiteral("IdModel"), [KindID](DataSet &ds) {
        if (KindID > 0)
            ds.fieldByName(QStringLiteral("ModlKind"))->setValue(KindID);
    });
}

void TModelEditDG::showEvent(QShowEvent *event) {
    TBaseEditDG::showEvent(event);
    edNumber->setFocus();
}

void TModelEditDG::composeName() {
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
    taData->fieldByName(QStringLiteral("ModlName"))->setValue(name.isEmpty() ? QVariant() : QVariant(name));
}

QString TModelEditDG::newProducer() const {
    const Field *producer = taData->findField(QStringLiteral("ModlIdProducer"));
    return producer && producer->isNull() ? lcProd->newText().trimmed() : QString();
}

void TModelEditDG::btSaveClick() {
    // With a new producer typed, the name is composed once the firm exists (postData).
    if (taData->isEditing() && newProducer().isEmpty())
        composeName();
    TBaseEditDG::btSaveClick();
}

// The firm named `name`: a firm of that full name or trademark (case aside), else a new firm with
// that name, under the trademark of that name (made when there is none).
int ProducerFirm(Connection &cn, const QString &name) {
    const auto same = [&name](const QVariant &v) {
        return !v.isNull() && v.toString().trimmed().compare(name, Qt::CaseInsensitive) == 0;
    };
    const ResultSet firms = cn.query(QStringLiteral(
        "SELECT c.IdClient, c.ClntNameFull, t.Name FROM Client c LEFT JOIN Trademark t ON t.ID = c.Trademark "
        "ORDER BY c.IdClient"));
    for (const auto &row : firms.rows)
        if (same(row[1]))
            return row[0].toInt();
    for (const auto &row : firms.rows)
        if (same(row[2]))
            return row[0].toInt();

    QVariant trademark;
    const ResultSet marks = cn.query(QStringLiteral("SELECT ID, Name FROM Trademark ORDER BY ID"));
    for (const auto &row : marks.rows)
        if (same(row[1])) {
            trademark = row[0];
            break;
        }
    if (trademark.isNull() && name.size() <= 50) {
        DataSet mark(&cn);
        mark.setCommand(QStringLiteral("select * from Trademark where ID = :ID"));
        OpenWithParams(mark, {TypedValue::Int(-1)});
        mark.append();
        mark.fieldByName(QStringLiteral("Name"))->setValue(name);
        mark.post();
        trademark = mark.value(QStringLiteral("ID"));
    }
    DataSet firm(&cn);
    firm.setCommand(QStringLiteral("select * from Client where IdClient = :ID"));
    OpenWithParams(firm, {TypedValue::Int(-1)});
    firm.append();
    firm.fieldByName(QStringLiteral("ClntNameFull"))->setValue(name);
    firm.fieldByName(QStringLiteral("Trademark"))->setValue(trademark);
    // As the firm dialog stores every new firm.
    firm.fieldByName(QStringLiteral("ClntNameShort"))->setValue(QStringLiteral("temp befor delete"));
    firm.post();
    return firm.value(QStringLiteral("IdClient")).toInt();
}

void TModelEditDG::postData() {
    const QString name = newProducer();
    if (name.isEmpty()) {
        TBaseEditDG::postData();
        return;
    }
    if (name.size() > 100)
        throw AppError(QStringLiteral("Название производителя длиннее 100 символов"));
    // The firm and the model are stored together: a model that cannot be saved leaves no firm.
    Connection &cn = *taData->connection();
    Field *producer = taData->fieldByName(QStringLiteral("ModlIdProducer"));
    try {
        Transaction tx(cn);
        producer->setValue(ProducerFirm(cn, name));
        composeName();
        TBaseEditDG::postData();
        tx.commit();
    } catch (...) {
        // The firm went with the transaction: the box shows the typed name again.
        if (taData->isEditing())
            producer->clear();
        throw;
    }
    lcProd->clearNewText();
    OpenWithParams(*dmLookUp->taClient);
}

void TModelEditDG::btKindClick() {
    Field *kind = taData->findField(QStringLiteral("ModlKind"));
    if (!kind)
        return;
    const int shown = lcKind->rowOfValue() >= 0 ? kind->asInt() : -1;
    const bool chosen = TKindListDG::Run(shown, kind, dmChain ? dmChain->KindType() : QString());
    // Kinds added or renamed in the list show in the box at once: the kinds of the chosen kind's
    // type, the chosen one selected; without a choice, the kinds the box offered.
    if (chosen && !kind->isNull()) {
        dmChain->setKind(kind->asInt());
        dmLookUp->SetKindType(dmChain->KindType());
    } else if (dmLookUp->taKind->isActive()) {
        dmLookUp->taKind->refresh();
    }
}

void TModelEditDG::btFirmClick() {
    Field *producer = taData->findField(QStringLiteral("ModlIdProducer"));
    if (!producer)
        return;
    TFirmListDG::Run(producer->isNull() ? -1 : producer->asInt(), producer);
    // Firms added or renamed in the list show in the box whether or not one was chosen.
    OpenWithParams(*dmLookUp->taClient);
}
