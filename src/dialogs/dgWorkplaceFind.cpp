#include "dialogs/dgWorkplaceFind.h"

#include "data/DataSet.h"
#include "data/TessalADO.h"
#include "dialogs/dgWorkplaceEdit.h"
#include "ui/DataGrid.h"

#include <QPushButton>

TWorkplaceFindDG::TWorkplaceFindDG() : TBASEFindDG(nullptr, nullptr) {
    setObjectName(QStringLiteral("WorkplaceFindDG"));
    setFindProcedure(QStringLiteral("FindWorkplace;1"));
    setSection(QStringLiteral("Workplace.Find"));
    setPlaceholder(QStringLiteral("Наименование, синонимы, телефон, пользователь"));

    GridColumn name;
    name.field = QStringLiteral("Name");
    name.width = 300;
    name.stretch = true;
    grList->setColumns({name});

    btInsert->show();
    onClick(btInsert, [this] { btInsertClick(); });
}

bool TWorkplaceFindDG::Run(Field *Field) {
    return Instance()->runFind(Field);
}

void TWorkplaceFindDG::btInsertClick() {
    int key = 0;
    if (!TWorkplaceEditDG::Run(-1, 0, &key))
        return;
    // The new workplace is current when the search text finds it.
    RefreshFind();
    if (key > 0)
        taFind->locate(QStringLiteral("ID"), key);
}
