#include "dialogs/dgModelList.h"

#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgKindList.h"
#include "dialogs/dgModelEdit.h"
#include "model/dmChainData.h"
#include "model/dmLookUpData.h"
#include "ui/Actions.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"
#include "ui/ImageList.h"
#include "ui/Seams.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString KeyField = QStringLiteral("IdModel");
}

TModelListDG::TModelListDG() : TBASEListDG(nullptr) {
    setObjectName(QStringLiteral("ModelListDG"));
    setWindowTitle(QStringLiteral("Модели"));

    taModel = DialogDataSet(this, QStringLiteral("taModel"));
    taModel->setCommand(
        QStringLiteral("SELECT IdModel, ModlWeight, ModlName, ModlParametersValue, ModlNote, ModlKind, "
                       "ModlIdProducer, DisplayParameters FROM Model WHERE ModlKind = :KIND "
                       "ORDER BY ModlName"));
    taModel->parameter(QStringLiteral("KIND")).type = FieldType::SmallInt;
    taModel->setUpdateTable(QStringLiteral("Model"), KeyField);
    spMoveModel = DialogDataSet(this, QStringLiteral("spMoveModel"));
    spMoveModel->setCommand(QStringLiteral("MoveModel;1"), CommandType::StoredProc);

    lcKind = new QComboBox(this);
    lcKind->setObjectName(QStringLiteral("lcKind"));
    lcKind->setMaxVisibleItems(16);
    btKind = new QPushButton(this);
    btKind->setObjectName(QStringLiteral("btKind"));
    btKind->setIcon(imageIcon(Img::Open));
    btKind->setToolTip(QStringLiteral("Справочник типов"));
    btKind->setAutoDefault(false);
    auto *top = new QHBoxLayout;
    top->addWidget(lcKind, 1);
    top->addWidget(btKind);
    static_cast<QVBoxLayout *>(layout())->insertLayout(0, top);

    setColumns({makeColumn(QStringLiteral("ModlName"), QStringLiteral("Номер"), 140),
                makeColumn(QStringLiteral("DisplayParameters"), QStringLiteral("Характеристки"), 286, true)},
               440);
    grList->setWordWrap(true);
    grList->setRowsFitText(true);
    connect(grList->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { Guarded([&] { titleClicked(column); }); });

    btUp = DialogButton(this, "btUp", imageIcon(Img::Up), QStringLiteral("Поднять на одну\nстрочку вверх"));
    btDown =
        DialogButton(this, "btDown", imageIcon(Img::Down), QStringLiteral("Опустить на одну\nстрочку вниз"));
    buttonLayout()->insertWidget(4, btUp);
    buttonLayout()->insertWidget(5, btDown);

    connect(lcKind, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_selecting)
            Guarded([this] { Reload(-1); });
    });
    onClick(btKind, [this] { btKindClick(); });
    onClick(btUp, [this] { MoveModel(-1); });
    onClick(btDown, [this] { MoveModel(1); });

    ListCatalogue c;
    c.list = taModel;
    c.keyField = KeyField;
    c.nameField = QStringLiteral("ModlName");
    c.edit = [this](const QVariant &key) { return AsKey(TModelEditDG::Run(KeyOr(key, -1), selectedKind())); };
    c.showSaved = [this](const QVariant &saved) { showModel(saved.toInt()); };
    c.remove = [](DataSet &list) { list.remove(); };
    c.refusedText =
        QStringLiteral("Не удалось удалить модель «%1»: возможно, её указывают комплектующие.\n%2");
    c.afterDelete = ListCatalogue::AfterDelete::Stay;
    c.nothingToChoose = QStringLiteral("В списке нет модели, которую можно выбрать");
    c.open = [this](DataSet &list) { OpenWithParams(list, {TypedValue::Int(selectedKind())}); };
    setCatalogue(c);
    m_sort = msName;
    setSort(msWeight);
}

TModelListDG::Outcome TModelListDG::Run(int Model, Field *Back, int Kind) {
    TModelListDG *dlg = Instance();
    const QString lookupType = dmLookUp->KindType();
    if (Model == -1)
        Model = dlg->rememberedKey() > 0 ? dlg->rememberedKey() : -1;
    if (Kind == -1) {
        dlg->showModel(Model);
    } else {
        dlg->selectKind(Kind);
        dlg->Reload(Model);
    }
    dlg->setSort(msWeight);
    dlg->setField(Back);
    dlg->setResult(QDialog::Rejected);
    Outcome outcome;
    outcome.chosen = RunModal(*dlg) == QDialog::Accepted;
    if (HasRecords(*dlg->taModel) && dlg->taModel->recNo() >= 0 &&
        !dlg->taModel->fieldByName(KeyField)->isNull())
        outcome.current = dlg->taModel->value(KeyField).toInt();
    // The selector here loads its kinds through the shared kind lookup; the calling dialog's kind
    // box shows the type it had before, whatever type was browsed here.
    if (!lookupType.isEmpty() && dmLookUp->KindType() != lookupType)
        dmLookUp->SetKindType(lookupType);
    return outcome;
}

void TModelListDG::fillKinds() {
    const bool was = m_selecting;
    m_selecting = true;
    lcKind->clear();
    const DataSet *kinds = dmLookUp->taKind;
    const int id = kinds->fieldByName(QStringLiteral("ID"))->index();
    const int name = kinds->fieldByName(QStringLiteral("Name"))->index();
    for (int r = 0; r < kinds->recordCount(); ++r)
        lcKind->addItem(kinds->valueAt(r, name).toString(), kinds->valueAt(r, id));
    m_selecting = was;
}

QString TModelListDG::lookupTypeOf(int kind) const {
    const DataSet *kinds = dmLookUp->taKind;
    const Field *id = kinds->isActive() ? kinds->findField(QStringLiteral("ID")) : nullptr;
    const Field *type = kinds->isActive() ? kinds->findField(QStringLiteral("KindType")) : nullptr;
    if (kind <= 0 || !id || !type)
        return QString();
    for (int r = 0; r < kinds->recordCount(); ++r)
        if (kinds->valueAt(r, id->index()).toInt() == kind)
            return kinds->valueAt(r, type->index()).toString().trimmed();
    return QString();
}

void TModelListDG::selectKind(int kind) {
    // The kinds of the type the lookup last gave the kind, read again: when the kind is still
    // among them, that read has confirmed its type, and the kind's own chain is not asked.
    const QString known = lookupTypeOf(kind);
    bool confirmed = false;
    if (!known.isEmpty()) {
        dmLookUp->SetKindType(known);
        confirmed = lookupTypeOf(kind) == known;
    }
    if (confirmed) {
        dmChain->setKnownKind(kind, known);
    } else {
        dmChain->setKind(kind);
        // Models are makes of components: without a kind the list starts on the equipment kinds.
        dmLookUp->SetKindType(dmChain->Kind() > 0 ? dmChain->KindType() : QStringLiteral("H"));
    }
    fillKinds();
    const bool was = m_selecting;
    m_selecting = true;
    // No such kind: the first of the type, so that the list shows models at once.
    const int index = lcKind->findData(dmChain->Kind());
    lcKind->setCurrentIndex(index >= 0 || lcKind->count() == 0 ? index : 0);
    m_selecting = was;
}

int TModelListDG::selectedKind() const {
    const QVariant id = lcKind->currentData();
    return id.isValid() ? id.toInt() : -1;
}

void TModelListDG::showModel(int Model) {
    dmChain->setModel(Model);
    selectKind(dmChain->Kind());
    Reload(Model);
}

void TModelListDG::Reload(int Model) {
    reloadList(Model);
}

void TModelListDG::setSort(TModelSort sort) {
    if (sort == m_sort)
        return;
    m_sort = sort;
    taModel->setSort(sort == msName ? QStringLiteral("ModlName") : QStringLiteral("ModlWeight"));
    grList->setSortMarkers(sort == msName ? SortMarkers{{0, Qt::AscendingOrder}}
                                          : SortMarkers{{1, Qt::DescendingOrder}});
    dsListStateChange();
}

void TModelListDG::titleClicked(int column) {
    const TModelSort wanted = column == 0 ? msName : msWeight;
    if (column > 1 || wanted == m_sort)
        return;
    setSort(wanted);
    Reload(-1);
}

void TModelListDG::dsListStateChange() {
    TBASEListDG::dsListStateChange();
    btUp->setEnabled(m_sort == msWeight);
    btDown->setEnabled(m_sort == msWeight);
}

void TModelListDG::MoveModel(int direction) {
    if (!HasRecords(*taModel) || m_sort != msWeight)
        return;
    spMoveModel->setCommand(QStringLiteral("MoveModel;1"), CommandType::StoredProc);
    spMoveModel->setParameterValue(QStringLiteral("@MD"), taModel->value(KeyField));
    spMoveModel->setParameterValue(QStringLiteral("@DR"), direction);
    spMoveModel->execProc();
    Reload(-1);
}

// The kind list to browse and maintain the kinds; a kind chosen there becomes the kind the models
// are shown of. The choice is written into a key of this dialog's own, not into a catalogue row.
void TModelListDG::btKindClick() {
    DataSet pick(taModel->connection());
    pick.setCommand(QStringLiteral("SELECT CAST(:K AS integer) AS ChosenKind"));
    const int kind = selectedKind();
    OpenWithParams(pick, {TypedValue::Int(kind)});
    Field *target = pick.fieldByName(QStringLiteral("ChosenKind"));
    const QString type = dmChain ? (dmChain->setKind(kind), dmChain->KindType()) : QString();
    const bool chosen = TKindListDG::Run(kind, target, type);
    const int chosenKind = chosen && !target->isNull() ? target->asInt() : -1;
    pick.cancel();
    // The kinds may have been renamed, added or moved meanwhile: the selector is filled again.
    selectKind(chosenKind > 0 ? chosenKind : kind);
    Reload(-1);
}
