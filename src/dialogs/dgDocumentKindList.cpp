#include "dialogs/dgDocumentKindList.h"

#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgDocumentKindEdit.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"
#include "ui/Seams.h"

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

    ListCatalogue c;
    c.list = taDocKind;
    c.nameField = QStringLiteral("Name");
    c.edit = [](const QVariant &code) { return AsKey(TDocumentKindEditDG::Run(code.toString())); };
    c.remove = [](DataSet &list) {
        DeleteByKey(QStringLiteral("DocKind"), *list.fieldByName(KeyField), QStringLiteral("*"));
    };
    c.refusedText =
        QStringLiteral("Не удалось удалить тип документа «%1»: возможно, его указывают документы.\n%2");
    c.nothingToChoose = QStringLiteral("В списке нет типа документа, который можно выбрать");
    c.fixedColumns = {0, 2};
    setCatalogue(c);
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
    reloadList(code);
}
