#include "dgModelFind.h"

#include "DataGrid.h"
#include "DataSet.h"
#include "dmTessalData.h"

QPointer<TModelFindDG> TModelFindDG::s_instance;

TModelFindDG::TModelFindDG() : TBASEFindDG(nullptr, nullptr) {
    setObjectName(QStringLiteral("ModelFindDG"));
    setFindProcedure(QStringLiteral("FindModel;1"));
    taFind->addField({QStringLiteral("Kind"), FieldType::SmallInt, 0, true, {}, {}});
    taFind->addField({QStringLiteral("KindType"), FieldType::FixedChar, 1, true, {}, {}});
    setSection(QStringLiteral("Model.Find"));
    setPlaceholder(QStringLiteral("Наименование, характеристики, производитель"));

    GridColumn name;
    name.field = QStringLiteral("Name");
    name.width = 200;
    name.stretch = true;
    grList->setColumns({name});
}

TModelFindDG *TModelFindDG::Instance() {
    if (!s_instance)
        s_instance = new TModelFindDG;
    return s_instance;
}

void TModelFindDG::ResetForTesting() {
    delete s_instance.data();
}

bool TModelFindDG::Run(Field *Field) {
    TModelFindDG *dlg = Instance();
    if (dmTessal)
        dlg->taFind->setConnection(&dmTessal->cnGeneral);
    return dlg->runFind(Field);
}
