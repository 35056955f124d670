#pragma once

#include "dialogs/dgBaseFind.h"
#include "dialogs/dgCommon.h"

// Finds a department by its name or its further names. One instance serves every dialog that
// chooses a department (the superior department of a department, the department of a workplace):
// each Run names the field that receives the chosen key.
class TDepartmentFindDG : public TBASEFindDG, public SingleDialog<TDepartmentFindDG> {
    Q_OBJECT
public:
    TDepartmentFindDG(); // made by Instance()
    // Shows the dialog; "Выбрать" writes the chosen department's key into `Field` (when given).
    // True when a department was chosen.
    static bool Run(Field *Field);
};
