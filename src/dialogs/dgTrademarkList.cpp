#include "dialogs/dgTrademarkList.h"

#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "dialogs/dgTrademarkEdit.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"
#include "ui/Seams.h"

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

    ListCatalogue c;
    c.list = taTrade;
    c.nameField = QStringLiteral("Name");
    c.edit = [](const QVariant &key) { return AsKey(TTrademarkEditDG::CheckRun(KeyOr(key, -1))); };
    c.remove = [](DataSet &list) {
        DeleteByKey(QStringLiteral("Trademark"), *list.fieldByName(KeyField), QStringLiteral("*"));
    };
    c.confirm = [](const QString &name) {
        return ConfirmWarning(QStringLiteral("Вы хотите удалить \"%1\"?").arg(name));
    };
    c.refused = [this](const QVariant &key, const QString &name, const AppError &error) {
        deleteRefused(key.toInt(), name, error);
    };
    c.nothingToChoose = QStringLiteral("В списке нет торговой марки, которую можно выбрать");
    c.fixedColumns = {1};
    setCatalogue(c);
}

int TTrademarkListDG::Run(int ID, Field *InField) {
    TTrademarkListDG *dlg = Instance();
    dlg->setField(InField);
    dlg->Reload(ID);
    dlg->setResult(QDialog::Rejected);
    return RunModal(*dlg);
}

void TTrademarkListDG::Reload(int ID) {
    reloadList(ID);
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
