#include "dialogs/dgFirmList.h"

#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgFirmEdit.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"
#include "ui/Seams.h"

#include <QHeaderView>
#include <QPushButton>

namespace {
const QString KeyField = QStringLiteral("ID");
}

TFirmListDG::TFirmListDG() : TBASEListDG(nullptr) {
    setObjectName(QStringLiteral("FirmListDG"));
    setWindowTitle(QStringLiteral("Фирма"));

    taClient = DialogDataSet(this, QStringLiteral("taClient"));
    taClient->setCommand(QStringLiteral("ClientList"), CommandType::Table);
    taClient->setReadOnly(true);
    taClient->setSort(QStringLiteral("ClientName"));

    setColumns({makeColumn(QStringLiteral("TradeName"), QStringLiteral("Торговая марка"), 139),
                makeColumn(QStringLiteral("ClientName"), QStringLiteral("Полное наименование"), 200, true),
                makeColumn(QStringLiteral("CountDoc"), QStringLiteral("Док."), 48, false, Qt::AlignCenter),
                makeColumn(QStringLiteral("CountModel"), QStringLiteral("Мод."), 48, false, Qt::AlignCenter)},
               420);
    grList->setSortMarkers({{1, Qt::AscendingOrder}});
    grList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    ListCatalogue c;
    c.list = taClient;
    c.nameField = QStringLiteral("ClientName");
    c.edit = [](const QVariant &key) { return AsKey(TFirmEditDG::Run(KeyOr(key, -1))); };
    c.remove = [](DataSet &list) {
        DeleteByKey(QStringLiteral("Client"), *list.fieldByName(KeyField), QStringLiteral("IdClient"));
    };
    c.confirm = [](const QString &name) {
        return ConfirmWarning(QStringLiteral("Вы хотите удалить \"%1\"?").arg(name));
    };
    // Documents or models still name the firm (maybe since another workstation's change): the list
    // is read again so that its counters tell why.
    c.refusedText =
        QStringLiteral("Не удалось удалить фирму «%1»: возможно, её указывают документы или модели.\n%2");
    c.nothingToChoose = QStringLiteral("В списке нет фирмы, которую можно выбрать");
    c.fixedColumns = {2, 3};
    setCatalogue(c);
}

int TFirmListDG::Run(int ID, Field *InField) {
    TFirmListDG *dlg = Instance();
    if (ID == -1)
        ID = dlg->rememberedKey() > 0 ? dlg->rememberedKey() : -1;
    dlg->setField(InField);
    dlg->Reload(ID);
    dlg->setResult(QDialog::Rejected);
    return RunModal(*dlg);
}

void TFirmListDG::Reload(int ID) {
    reloadList(ID);
}
