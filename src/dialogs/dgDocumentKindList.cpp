#include "dgDocumentKindList.h"

#include "BusyCursor.h"
#include "DataGrid.h"
#include "DataSet.h"
#include "Errors.h"
#include "Seams.h"
#include "TessalADO.h"
#include "TessalDialog.h"
#include "dgDocumentKindEdit.h"
#include "dmTessalData.h"

#include <QHeaderView>
#include <QPushButton>

namespace {
const QString KeyField = QStringLiteral("ID");
}

TDocumentKindListDG::TDocumentKindListDG() : TBASEListDG(nullptr) {
    setObjectName(QStringLiteral("DocumentKindListDG"));
    setWindowTitle(QStringLiteral("Тип документа"));

    taDocKind = DialogDataSet(this, QStringLiteral("taDocKind"));
    taDocKind->setCommand(QStringLiteral("DocKind"), CommandType::Table);
    taDocKind->setReadOnly(true);
    taDocKind->setSort(QStringLiteral("Uses DESC;Name;"));

    setColumns({makeColumn(QStringLiteral("ID"), QStringLiteral("Код"), 40, false, Qt::AlignCenter),
                makeColumn(QStringLiteral("Name"), QStringLiteral("Название"), 183, true, Qt::AlignCenter),
                makeColumn(QStringLiteral("Uses"), QStringLiteral("Документов"), 76, false, Qt::AlignCenter)},
               360);

    onClick(btInsert, [this] { btInsertClick(); });
    onClick(btEdit, [this] { btEditClick(); });
    onClick(btDelete, [this] { btDeleteClick(); });
    setChooseHandler([this] { btBackClick(); });

    setListDataSet(taDocKind);
}

int TDocumentKindListDG::Run(int ID, Field *InField) {
    Q_UNUSED(ID)
    TDocumentKindListDG *dlg = Instance();
    dlg->setField(InField);
    OpenWithParams(*dlg->taDocKind);
    dlg->setResult(QDialog::Rejected);
    return RunModal(*dlg);
}

void TDocumentKindListDG::Reload(const QString &code) {
    BusyCursor busy;
    QString key = code;
    if (key.isEmpty() && HasRecords(*taDocKind))
        key = taDocKind->value(KeyField).toString();
    OpenWithParams(*taDocKind);
    if (!key.isEmpty())
        taDocKind->locate(KeyField, key);
    QHeaderView *header = grList->horizontalHeader();
    for (int column : {0, 2})
        if (column < header->count())
            header->setSectionResizeMode(column, QHeaderView::Fixed);
}

void TDocumentKindListDG::btInsertClick() {
    if (const std::optional<QString> saved = TDocumentKindEditDG::Run(QString()))
        Reload(*saved);
}

void TDocumentKindListDG::btEditClick() {
    if (!HasRecords(*taDocKind))
        return;
    if (const std::optional<QString> saved = TDocumentKindEditDG::Run(taDocKind->value(KeyField).toString()))
        Reload(*saved);
}

void TDocumentKindListDG::btDeleteClick() {
    if (!HasRecords(*taDocKind))
        return;
    Field *key = taDocKind->fieldByName(KeyField);
    const QString name = taDocKind->value(QStringLiteral("Name")).toString();
    if (!ConfirmDelete(name))
        return;
    try {
        DeleteByKey(QStringLiteral("DocKind"), *key, QStringLiteral("*"));
    } catch (const AppError &e) {
        ShowError(
            QStringLiteral("Не удалось удалить тип документа «%1»: возможно, его указывают документы.\n%2")
                .arg(name, e.message()));
        Reload(QString());
        return;
    }
    taDocKind->prior();
    Reload(QString());
}

void TDocumentKindListDG::btBackClick() {
    if (!HasRecords(*taDocKind))
        throw AppError(QStringLiteral("В списке нет типа документа, который можно выбрать"));
    SetBackValue(taDocKind->value(KeyField).toString());
}
