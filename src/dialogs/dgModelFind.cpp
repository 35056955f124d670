#include "dialogs/dgModelFind.h"

#include "data/DataSet.h"
#include "data/dmTessalData.h"
#include "ui/DataGrid.h"

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

std::optional<KindChoice> TModelFindDG::Run(Field *Field) {
    TModelFindDG *dlg = Instance();
    if (!dlg->runFind(Field))
        return std::nullopt;
    return KindChoice{dlg->taFind->value(QStringLiteral("Kind")).toInt(),
                      dlg->taFind->value(QStringLiteral("KindType")).toString().trimmed()};
}
