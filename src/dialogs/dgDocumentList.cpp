#include "dialogs/dgDocumentList.h"

#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgDocumentEdit.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"
#include "ui/Seams.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString KeyField = QStringLiteral("ID");
}

TDocumentListDG::TDocumentListDG() : TBASEListDG(nullptr) {
    setObjectName(QStringLiteral("DocumentListDG"));
    setWindowTitle(QStringLiteral("Документы"));

    taDocument = DialogDataSet(this, QStringLiteral("taDocument"));
    taDocument->setCommand(QStringLiteral("GridDocumentList;1"), CommandType::StoredProc);
    taDocument->setReadOnly(true);

    setColumns({makeColumn(QStringLiteral("DocDate"), QStringLiteral("Дата"), 86, false, Qt::AlignCenter),
                makeColumn(QStringLiteral("DocName"), QStringLiteral("Документ"), 200),
                makeColumn(QStringLiteral("ClientName"), QStringLiteral("Поставщик"), 200, true)},
               440);
    grList->setSortMarkers({{0, Qt::DescendingOrder}});

    edDateFind = new QDateEdit(QDate(2001, 1, 1), this);
    edDateFind->setObjectName(QStringLiteral("edDateFind"));
    edDateFind->setCalendarPopup(true);
    edDateFind->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    auto *search = new QHBoxLayout;
    search->addStretch(1);
    search->addWidget(new QLabel(QStringLiteral("Поиск по дате:"), this));
    search->addWidget(edDateFind);
    static_cast<QVBoxLayout *>(layout())->insertLayout(0, search);

    connect(edDateFind, &QDateEdit::dateChanged, this,
            [this](const QDate &day) { Guarded([&] { FindDate(day); }); });
    ListCatalogue c;
    c.list = taDocument;
    c.nameField = QStringLiteral("DocName");
    c.edit = [](const QVariant &key) { return AsKey(TDocumentEditDG::Run(KeyOr(key, -1))); };
    c.remove = [](DataSet &list) {
        DeleteByKey(QStringLiteral("Document"), *list.fieldByName(KeyField), QStringLiteral("IdDocument"));
    };
    c.refusedText =
        QStringLiteral("Не удалось удалить документ «%1»: возможно, на него ссылаются комплектующие.\n%2");
    c.afterDelete = ListCatalogue::AfterDelete::Next;
    c.nothingToChoose = QStringLiteral("В списке нет документа, который можно выбрать");
    c.fixedColumns = {0};
    setCatalogue(c);
}

bool TDocumentListDG::Run(Field *Back) {
    TDocumentListDG *dlg = Instance();
    dlg->setField(Back);
    dlg->Reload(Back && !Back->isNull() ? Back->asInt() : -1);
    dlg->setResult(QDialog::Rejected);
    return RunModal(*dlg) == QDialog::Accepted;
}

void TDocumentListDG::Reload(int ID) {
    reloadList(ID);
}

void TDocumentListDG::FindDate(const QDate &day) {
    if (!HasRecords(*taDocument) || !day.isValid())
        return;
    // Compared by day: a document typed in with a time of day still belongs to its day.
    const auto date = [this] { return taDocument->value(QStringLiteral("DocDate")).toDateTime().date(); };
    const bool wasVisual = Visual();
    setVisual(false);
    if (const QDate d = date(); d.isValid() && d < day)
        taDocument->first();
    while (true) {
        const QDate d = date();
        if (!d.isValid() || d <= day || taDocument->recNo() >= taDocument->recordCount() - 1)
            break;
        taDocument->next();
    }
    setVisual(wasVisual);
}
