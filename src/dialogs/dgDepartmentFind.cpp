#include "dialogs/dgDepartmentFind.h"

#include "data/DataSet.h"
#include "ui/DataGrid.h"

TDepartmentFindDG::TDepartmentFindDG() : TBASEFindDG(nullptr, nullptr) {
    setObjectName(QStringLiteral("DepartmentFindDG"));
    setFindProcedure(QStringLiteral("FindDepartment;1"));
    setSection(QStringLiteral("Department.Find"));
    setPlaceholder(QStringLiteral("Наименование, дополнительные названия"));

    GridColumn name;
    name.field = QStringLiteral("Name");
    name.stretch = true;
    grList->setColumns({name});
}

bool TDepartmentFindDG::Run(Field *Field) {
    return Instance()->runFind(Field);
}
