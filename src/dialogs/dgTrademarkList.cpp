#include "dgTrademarkList.h"

#include "BusyCursor.h"
#include "DataGrid.h"
#include "DataSet.h"
#include "Errors.h"
#include "Seams.h"
#include "TessalADO.h"
#include "TessalDialog.h"
#include "dgTrademarkEdit.h"

#include <QHeaderView>
#include <QPushButton>

namespace {
const QString KeyField = QStringLiteral("ID");
}

TTrademarkListDG::TTrademarkListDG() : TBASEListDG(nullptr) {
    setObjectName(QStringLiteral("TrademarkListDG"));
    setWindowTitle(QStringLiteral("Торговая марка"));

    taTrade = DialogDataSet(this, QStringLiteral("taTrade"));
    taTrade->setCommand(QStringLiteral("Trademark"), CommandType::Table);
    taTrade->setReadOnly(true);
    taTrade->setSort(QStringLiteral("Name"));

    GridColumn name;
    name.field = QStringLiteral("Name");
    name.title = QStringLiteral("Торговая марка");
    name.width = 139;
    name.stretch = true;
    GridColumn ranking;
    ranking.field = QStringLiteral("Ranking");
    ranking.title = QStringLiteral("Фирм");
    ranking.width = 52;
    ranking.alignment = Qt::AlignCenter;
    setColumns({name, ranking}, 360);

    onClick(btInsert, [this] { btInsertClick(); });
    onClick(btEdit, [this] { btEditClick(); });
    onClick(btDelete, [this] { btDeleteClick(); });
    setChooseHandler([this] { btBackClick(); });

    setListDataSet(taTrade);
}

int TTrademarkListDG::Run(int ID, Field *InField) {
    TTrademarkListDG *dlg = Instance();
    dlg->setField(InField);
    dlg->Reload(ID);
    dlg->setResult(QDialog::Rejected);
    return RunModal(*dlg);
}

void TTrademarkListDG::Reload(int ID) {
    BusyCursor busy;
    if (ID == -1 && HasRecords(*taTrade))
        ID = taTrade->value(KeyField).toInt();
    OpenWithParams(*taTrade);
    if (ID != -1)
        taTrade->locate(KeyField, ID);
    QHeaderView *header = grList->horizontalHeader();
    if (header->count() > 1)
        header->setSectionResizeMode(1, QHeaderView::Fixed);
}

void TTrademarkListDG::btInsertClick() {
    if (const std::optional<int> saved = TTrademarkEditDG::CheckRun(-1))
        Reload(*saved);
}

void TTrademarkListDG::btEditClick() {
    if (!HasRecords(*taTrade))
        return;
    if (const std::optional<int> saved = TTrademarkEditDG::CheckRun(taTrade->value(KeyField).toInt()))
        Reload(*saved);
}

void TTrademarkListDG::btDeleteClick() {
    if (!HasRecords(*taTrade))
        return;
    Field *key = taTrade->fieldByName(KeyField);
    const int id = key->asInt();
    const QString name = taTrade->value(QStringLiteral("Name")).toString();
    if (!ConfirmWarning(QStringLiteral("Вы хотите удалить \"%1\"?").arg(name)))
        return;
    try {
        DeleteByKey(QStringLiteral("Trademark"), *key, QStringLiteral("*"));
    } catch (const AppError &e) {
        deleteRefused(id, name, e);
        return;
    }
    taTrade->prior();
    Reload(-1);
}

// The database keeps a trademark that firms still carry. Say so and stay on it; the list is read
// again so that its firm counter tells the truth.
void TTrademarkListDG::deleteRefused(int id, const QString &name, const AppError &error) {
    int firms = -1;
    try {
        firms = taTrade->connection()
                    ->scalar(QStringLiteral("SELECT count(*) FROM Client WHERE Trademark = :T"),
                             {{QStringLiteral("T"), id}})
                    .toInt();
    } catch (const AppError &) {
        // the reason stays the database's own message below
    }
    if (firms > 0) {
        ShowError(QStringLiteral(
                      "Торговую марку «%1» нельзя удалить, пока она указана у фирм (сейчас таких фирм: %2).")
                      .arg(name)
                      .arg(firms));
        Reload(id);
        return;
    }
    ShowError(QStringLiteral("Не удалось удалить торговую марку «%1».\n%2").arg(name, error.message()));
}

void TTrademarkListDG::btBackClick() {
    if (!HasRecords(*taTrade))
        throw AppError(QStringLiteral("В списке нет торговой марки, которую можно выбрать"));
    SetBackValue(taTrade->value(KeyField));
}
