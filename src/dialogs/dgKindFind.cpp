#include "dgKindFind.h"

#include "DataGrid.h"
#include "DataSet.h"

QPointer<TKindFindDG> TKindFindDG::s_instance;

TKindFindDG::TKindFindDG() : TBASEFindDG(nullptr, nullptr) {
    setObjectName(QStringLiteral("KindFindDG"));
    setFindProcedure(QStringLiteral("FindKind;1"));
    taFind->addField({QStringLiteral("KindType"), FieldType::FixedChar, 1, true, {}, {}});
    setSection(QStringLiteral("Kind.Find"));
    setPlaceholder(QStringLiteral("Наименование"));

    GridColumn name;
    name.field = QStringLiteral("Name");
    name.width = 200;
    name.stretch = true; // the found names fill the grid's width
    grList->setColumns({name});
}

TKindFindDG *TKindFindDG::Instance() {
    if (!s_instance)
        s_instance = new TKindFindDG;
    return s_instance;
}

void TKindFindDG::ResetForTesting() {
    delete s_instance.data();
}

bool TKindFindDG::Run(Field *Field) {
    return Instance()->runFind(Field);
}
