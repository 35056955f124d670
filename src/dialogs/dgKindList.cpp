#include "dialogs/dgKindList.h"

#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgKindEdit.h"
#include "dialogs/dgKindFind.h"
#include "model/dmChainData.h"
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

const QString KeyField = QStringLiteral("IdKind");

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
    onClick(btFind, [this] { btFindClick(); });
    onClick(btUp, [this] { MoveKind(-1); });
    onClick(btDown, [this] { MoveKind(1); });

    // After the button row is complete: the dialog is as wide as the columns or the buttons need.
    setColumns({shortName, name, centred("UsesModel", "Мод.", 40), centred("UsesDevice", "Устр.", 40)}, 400);

    ListCatalogue c;
    c.list = taKind;
    c.keyField = KeyField;
    c.nameField = QStringLiteral("KindName");
    // A saved kind is shown under its (maybe new) type.
    c.edit = [this](const QVariant &key) -> std::optional<QVariant> {
        const std::optional<KindChoice> saved = TKindEditDG::Run(KeyOr(key, -1), TypeLetter());
        if (!saved)
            return std::nullopt;
        SelectType(saved->type);
        return saved->id;
    };
    c.remove = [](DataSet &list) {
        DeleteByKey(QStringLiteral("Kind"), *list.fieldByName(KeyField), QStringLiteral("*"));
    };
    // Only a kind that no model and no device uses.
    c.canDelete = [](const DataSet &list) {
        return list.findField(QStringLiteral("UsesModel")) && usesOf(list) == 0;
    };
    c.refused = [this](const QVariant &key, const QString &name, const AppError &error) {
        deleteRefused(key.toInt(), name, error);
    };
    c.nothingToChoose = QStringLiteral("В списке нет типа, который можно выбрать");
    c.open = [this](DataSet &list) { OpenWithParams(list, {TypedValue::Text(TypeLetter())}); };
    c.fixedColumns = {0, 2, 3}; // the short name and the two counters keep their width
    setCatalogue(c);
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
    reloadList(ID);
}

void TKindListDG::showSaved(const KindChoice &kind) {
    SelectType(kind.type);
    Reload(kind.id);
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
