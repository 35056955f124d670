#include "dgDepartmentFind.h"

#include "DataGrid.h"
#include "DataSet.h"
#include "dmTessalData.h"

QPointer<TDepartmentFindDG> TDepartmentFindDG::s_instance;

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

TDepartmentFindDG *TDepartmentFindDG::Instance() {
    if (!s_instance)
        s_instance = new TDepartmentFindDG;
    return s_instance;
}

void TDepartmentFindDG::ResetForTesting() {
    delete s_instance.data();
}

bool TDepartmentFindDG::Run(Field *Field) {
    TDepartmentFindDG *dlg = Instance();
    if (dmTessal)
        dlg->taFind->setConnection(&dmTessal->cnGeneral);
    return dlg->runFind(Field);
}
