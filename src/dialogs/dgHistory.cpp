#include "dialogs/dgHistory.h"

#include "data/DataSet.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "ui/DataGrid.h"
#include "ui/Seams.h"

#include <QHeaderView>
#include <QPushButton>

THistoryDG::THistoryDG() : TBASEListDG(nullptr) {
    setObjectName(QStringLiteral("HistoryDG"));
    setWindowTitle(QStringLiteral("История"));

    taHistory = DialogDataSet(this, QStringLiteral("taHistory"));
    taHistory->setCommand(QStringLiteral("JournalHistory;1"), CommandType::StoredProc);
    taHistory->setReadOnly(true);
    taHistory->addField(
        {QStringLiteral("Stamp"), FieldType::DateTime, 0, true, QStringLiteral("dd.MM.yyyy hh:mm:ss"), {}});

    setColumns({makeColumn(QStringLiteral("Stamp"), QStringLiteral("Когда"), 125, false,
                           Qt::AlignRight | Qt::AlignVCenter),
                makeColumn(QStringLiteral("Person"), QStringLiteral("Кто"), 120),
                makeColumn(QStringLiteral("What"), QStringLiteral("Что"), 200),
                makeColumn(QStringLiteral("Act"), QStringLiteral("Действие"), 80),
                makeColumn(QStringLiteral("Change"), QStringLiteral("Изменения"), 420, true)},
               480);
    grList->setWordWrap(true);
    grList->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    btInsert->hide();
    btEdit->hide();
    btDelete->hide();
    btBack->hide();

    setListDataSet(taHistory);
}

int THistoryDG::Run(const QString &kind, int id, const QString &name) {
    THistoryDG *dlg = Instance();
    dlg->setWindowTitle(name.trimmed().isEmpty() ? QStringLiteral("История")
                                                 : QStringLiteral("История: %1").arg(name.trimmed()));
    OpenWithParams(*dlg->taHistory, {TypedValue::Text(kind), TypedValue::Int(id)});
    dlg->setResult(QDialog::Rejected);
    RunModal(*dlg);
    return dlg->taHistory->recordCount();
}
