#include "dialogs/dgKindFind.h"

#include "data/DataSet.h"
#include "ui/DataGrid.h"

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

std::optional<KindChoice> TKindFindDG::Run(Field *Field) {
    TKindFindDG *dlg = Instance();
    if (!dlg->runFind(Field))
        return std::nullopt;
    return KindChoice{dlg->taFind->value(QStringLiteral("ID")).toInt(),
                      dlg->taFind->value(QStringLiteral("KindType")).toString()};
}
