#include "dgFirmList.h"

#include "BusyCursor.h"
#include "DataGrid.h"
#include "DataSet.h"
#include "Errors.h"
#include "Seams.h"
#include "TessalADO.h"
#include "TessalDialog.h"
#include "dgFirmEdit.h"
#include "dmTessalData.h"

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

    onClick(btInsert, [this] { btInsertClick(); });
    onClick(btEdit, [this] { btEditClick(); });
    onClick(btDelete, [this] { btDeleteClick(); });
    setChooseHandler([this] { btBackClick(); });

    setListDataSet(taClient);
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
    BusyCursor busy;
    if (ID == -1 && HasRecords(*taClient))
        ID = taClient->value(KeyField).toInt();
    OpenWithParams(*taClient);
    if (ID != -1)
        taClient->locate(KeyField, ID);
    QHeaderView *header = grList->horizontalHeader();
    for (int column : {2, 3})
        if (column < header->count())
            header->setSectionResizeMode(column, QHeaderView::Fixed);
}

void TFirmListDG::btInsertClick() {
    if (const std::optional<int> saved = TFirmEditDG::Run(-1))
        Reload(*saved);
}

void TFirmListDG::btEditClick() {
    if (!HasRecords(*taClient))
        return;
    if (const std::optional<int> saved = TFirmEditDG::Run(taClient->value(KeyField).toInt()))
        Reload(*saved);
}

void TFirmListDG::btDeleteClick() {
    if (!HasRecords(*taClient))
        return;
    Field *key = taClient->fieldByName(KeyField);
    const QString name = taClient->value(QStringLiteral("ClientName")).toString();
    if (!ConfirmWarning(QStringLiteral("Вы хотите удалить \"%1\"?").arg(name)))
        return;
    try {
        DeleteByKey(QStringLiteral("Client"), *key, QStringLiteral("IdClient"));
    } catch (const AppError &e) {
        // Documents or models still name the firm (maybe since another workstation's change): the
        // list is read again so that its counters tell why.
        ShowError(
            QStringLiteral("Не удалось удалить фирму «%1»: возможно, её указывают документы или модели.\n%2")
                .arg(name, e.message()));
        Reload(-1);
        return;
    }
    taClient->prior();
    Reload(-1);
}

void TFirmListDG::btBackClick() {
    if (!HasRecords(*taClient))
        throw AppError(QStringLiteral("В списке нет фирмы, которую можно выбрать"));
    SetBackValue(taClient->value(KeyField));
}
