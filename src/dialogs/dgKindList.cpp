#include "dgKindList.h"

#include "Actions.h"
#include "BusyCursor.h"
#include "DataGrid.h"
#include "DataSet.h"
#include "Errors.h"
#include "Seams.h"
#include "TessalADO.h"
#include "TessalDialog.h"
#include "dgKindEdit.h"
#include "dgKindFind.h"
#include "dmChainData.h"
#include "dmTessalData.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString KeyField = QStringLiteral("IdKind");

// Columns whose width the user cannot change: the short name and the two counters.
constexpr int FixedColumns[] = {0, 2, 3};

int usesOf(const DataSet &ds) {
    return ds.value(QStringLiteral("UsesModel")).toInt() + ds.value(QStringLiteral("UsesDevice")).toInt();
}

} // namespace

TKindListDG::TKindListDG() : TBASEListDG(nullptr) {
    setObjectName(QStringLiteral("KindListDG"));
    setWindowTitle(QStringLiteral("Тип устройств"));

    taKind = DialogDataSet(this, QStringLiteral("taKind"));
    taKind->setCommand(QStringLiteral("SELECT * FROM Kind WHERE KindType = :KD ORDER BY KindOrder"));
    taKind->parameter(QStringLiteral("KD")).type = FieldType::FixedChar;
    taKind->setReadOnly(true);
    spMoveKind = DialogDataSet(this, QStringLiteral("spMoveKind"));
    spMoveKind->setCommand(QStringLiteral("MoveKind;1"), CommandType::StoredProc);

    cbType = new QComboBox(this);
    cbType->setObjectName(QStringLiteral("cbType"));
    KindTypes::fill(cbType);
    // Before its first Run the list offers the device kinds.
    cbType->setCurrentIndex(0);
    static_cast<QVBoxLayout *>(layout())->insertWidget(0, cbType);

    auto centred = [](const char *field, const char *title, int width) {
        return makeColumn(QString::fromLatin1(field), QString::fromUtf8(title), width, false,
                          Qt::AlignCenter);
    };
    GridColumn shortName;
    shortName.field = QStringLiteral("ShortName");
    shortName.title = QStringLiteral("Кратко");
    shortName.width = 137;
    GridColumn name;
    name.field = QStringLiteral("KindName");
    name.title = QStringLiteral("Наименование");
    name.width = 230;
    name.stretch = true;

    btUp = DialogButton(this, "btUp", imageIcon(Img::Up), QStringLiteral("Поднять на одну\nстрочку вверх"));
    btDown =
        DialogButton(this, "btDown", imageIcon(Img::Down), QStringLiteral("Опустить на одну\nстрочку вниз"));
    buttonLayout()->insertWidget(4, btUp);
    buttonLayout()->insertWidget(5, btDown);
    btFind->show();

    setTabOrder(cbType, grList);
    QWidget *previous = grList;
    for (QWidget *w : {btInsert, btEdit, btDelete, btFind, static_cast<QPushButton *>(btUp),
                       static_cast<QPushButton *>(btDown), btBack, btExit}) {
        setTabOrder(previous, w);
        previous = w;
    }

    connect(cbType, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_selecting)
            Guarded([this] { Reload(-1); });
    });
    onClick(btInsert, [this] { btInsertClick(); });
    onClick(btEdit, [this] { btEditClick(); });
    onClick(btDelete, [this] { btDeleteClick(); });
    onClick(btFind, [this] { btFindClick(); });
    onClick(btUp, [this] { MoveKind(-1); });
    onClick(btDown, [this] { MoveKind(1); });
    setChooseHandler([this] { btBackClick(); });

    // After the button row is complete: the dialog is as wide as the columns or the buttons need.
    setColumns({shortName, name, centred("UsesModel", "Мод.", 40), centred("UsesDevice", "Устр.", 40)}, 400);
    setListDataSet(taKind);
}

bool TKindListDG::Run(int ID, Field *Back, const QString &Kind) {
    Q_UNUSED(Kind)
    TKindListDG *dlg = Instance();
    if (ID == -1)
        ID = dlg->rememberedKey();
    dmChain->setKind(ID);
    dlg->SelectType(dmChain->KindType());
    dlg->Reload(ID);
    dlg->setField(Back);
    dlg->setResult(QDialog::Rejected);
    return RunModal(*dlg) == QDialog::Accepted;
}

void TKindListDG::SelectType(const QString &letter) {
    const bool was = m_selecting;
    m_selecting = true;
    KindTypes::select(cbType, letter);
    m_selecting = was;
}

QString TKindListDG::TypeLetter() const {
    return KindTypes::letterOf(cbType);
}

void TKindListDG::Reload(int ID) {
    BusyCursor busy;
    if (ID == -1 && HasRecords(*taKind))
        ID = taKind->value(KeyField).toInt();
    OpenWithParams(*taKind, {TypedValue::Text(TypeLetter())});
    if (ID != -1)
        taKind->locate(KeyField, ID);
    QHeaderView *header = grList->horizontalHeader();
    for (int column : FixedColumns)
        if (column < header->count())
            header->setSectionResizeMode(column, QHeaderView::Fixed);
}

void TKindListDG::dsListStateChange() {
    TBASEListDG::dsListStateChange();
    const DataSet *ds = listDataSet();
    btDelete->setEnabled(ds && HasRecords(*ds) && ds->findField(QStringLiteral("UsesModel")) &&
                         usesOf(*ds) == 0);
}

void TKindListDG::showSaved(const KindChoice &kind) {
    SelectType(kind.type);
    Reload(kind.id);
}

void TKindListDG::btInsertClick() {
    if (const std::optional<KindChoice> saved = TKindEditDG::Run(-1, TypeLetter()))
        showSaved(*saved);
}

void TKindListDG::btEditClick() {
    if (!HasRecords(*taKind))
        return;
    if (const std::optional<KindChoice> saved =
            TKindEditDG::Run(taKind->value(KeyField).toInt(), TypeLetter()))
        showSaved(*saved);
}

void TKindListDG::btDeleteClick() {
    if (!HasRecords(*taKind) || usesOf(*taKind) != 0)
        return;
    Field *key = taKind->fieldByName(KeyField);
    const int id = key->asInt();
    const QString name = taKind->value(QStringLiteral("KindName")).toString();
    if (!ConfirmDelete(name))
        return;
    try {
        DeleteByKey(QStringLiteral("Kind"), *key, QStringLiteral("*"));
    } catch (const AppError &e) {
        deleteRefused(id, name, e);
        return;
    }
    taKind->prior();
    Reload(-1);
}

// The list showed the kind as unused, but the database kept it: another workstation has given it a
// model, a device or an element since the list was read. Say so and stay on the kind; the list is
// read again so that its counters tell the truth and the delete button follows them.
void TKindListDG::deleteRefused(int id, const QString &name, const AppError &error) {
    int uses = -1;
    try {
        uses = taKind->connection()
                   ->scalar(QStringLiteral("SELECT (SELECT count(*) FROM Model WHERE ModlKind = :K) + "
                                           "(SELECT count(*) FROM DeviceUnit WHERE DevcIdKind = :K) + "
                                           "(SELECT count(*) FROM CompleteSet WHERE ModelKind = :K)"),
                            {{QStringLiteral("K"), id}})
                   .toInt();
    } catch (const AppError &) {
        // the reason stays the database's own message below
    }
    if (uses > 0) {
        ShowError(QStringLiteral("Тип «%1» нельзя удалить: его уже используют модели, устройства или "
                                 "комплектующие.")
                      .arg(name));
        Reload(id);
        return;
    }
    ShowError(QStringLiteral("Не удалось удалить тип «%1».\n%2").arg(name, error.message()));
}

void TKindListDG::btFindClick() {
    if (const std::optional<KindChoice> found = TKindFindDG::Run(nullptr))
        showSaved(*found);
}

void TKindListDG::MoveKind(int direction) {
    if (!HasRecords(*taKind))
        return;
    spMoveKind->setParameterValue(QStringLiteral("@KD"), taKind->value(KeyField));
    spMoveKind->setParameterValue(QStringLiteral("@DR"), direction);
    spMoveKind->execProc();
    Reload(-1);
}

void TKindListDG::btBackClick() {
    if (!HasRecords(*taKind))
        throw AppError(QStringLiteral("В списке нет типа, который можно выбрать"));
    SetBackValue(taKind->value(KeyField));
}
