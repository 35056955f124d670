#pragma once

#include "dgBaseFind.h"

#include <QPointer>

// Finds a department by its name or its further names. One instance serves every dialog that
// chooses a department (the superior department of a department, the department of a workplace):
// each Run names the field that receives the chosen key.
class TDepartmentFindDG : public TBASEFindDG {
    Q_OBJECT
public:
    // Shows the dialog; "Выбрать" writes the chosen department's key into `Field` (when given).
    // True when a department was chosen.
    static bool Run(Field *Field);
    // The single instance, made on first use.
    static TDepartmentFindDG *Instance();
    // Drops the single instance (the next use makes a new one over the then shared connection).
    static void ResetForTesting();

private:
    TDepartmentFindDG();
    static QPointer<TDepartmentFindDG> s_instance;
};
