#include "dialogs/dgElementMoveList.h"

#include "data/DataSet.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgElementMoveEdit.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"
#include "ui/Seams.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QPushButton>

TElementMoveListDG::TElementMoveListDG() : TBASEListDG(nullptr) {
    setObjectName(QStringLiteral("ElementMoveListDG"));
    setWindowTitle(QStringLiteral("Перемещения"));

    taMove = DialogDataSet(this, QStringLiteral("taMove"));
    taMove->setCommand(QStringLiteral("GridDisplacement;1"), CommandType::StoredProc);
    taMove->setReadOnly(true);
    taMove->addField(
        {QStringLiteral("Moving"), FieldType::DateTime, 0, true, QStringLiteral("dd.MM.yyyy hh:mm"), {}});

    setColumns({makeColumn(QStringLiteral("Moving"), QStringLiteral("Дата"), 105, false,
                           Qt::AlignRight | Qt::AlignVCenter),
                makeColumn(QStringLiteral("Place"), QStringLiteral("Место"), 300, true)},
               360);
    grList->setWordWrap(true);
    // Three lines a row, so that long places wrap.
    grList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grList->verticalHeader()->setDefaultSectionSize(QFontMetrics(grList->font()).lineSpacing() * 3 + 6);

    btEdit->hide();
    btDelete->hide();
    btBack->hide();
    onClick(btInsert, [this] { btInsertClick(); });

    setListDataSet(taMove);
}

bool TElementMoveListDG::Run(int CompSet) {
    TElementMoveListDG *dlg = Instance();
    dlg->FSet = CompSet;
    OpenWithParams(*dlg->taMove, {TypedValue::Int(CompSet)});
    const int before = dlg->taMove->recordCount();
    dlg->setResult(QDialog::Rejected);
    RunModal(*dlg);
    return dlg->taMove->recordCount() != before;
}

void TElementMoveListDG::Reload() {
    BusyCursor busy;
    const QVariant id = HasRecords(*taMove) ? taMove->value(QStringLiteral("ID")) : QVariant();
    OpenWithParams(*taMove, {TypedValue::Int(FSet)});
    if (!id.isNull())
        taMove->locate(QStringLiteral("ID"), id);
}

void TElementMoveListDG::btInsertClick() {
    if (TElementMoveEditDG::Run(FSet))
        Reload();
}
