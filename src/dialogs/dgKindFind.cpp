#include "dgKindFind.h"

#include "DataGrid.h"
#include "DataSet.h"

TKindFindDG::TKindFindDG() : TBASEFindDG(nullptr, nullptr) {
    setObjectName(QStringLiteral("KindFindDG"));
    setFindProcedure(QStringLiteral("FindKind;1"));
    setSection(QStringLiteral("Kind.Find"));
    setPlaceholder(QStringLiteral("Наименование"));

    GridColumn name;
    name.field = QStringLiteral("Name");
    name.width = 200;
    name.stretch = true; // the found names fill the grid's width
    grList->setColumns({name});
}

bool TKindFindDG::Run(Field *Field) {
    return Instance()->runFind(Field);
}
