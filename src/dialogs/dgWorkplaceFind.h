#pragma once

#include "dialogs/dgBaseFind.h"
#include "dialogs/dgCommon.h"

// Finds a workplace by its name, further names, telephone or the person working there, for the
// device dialog. "Добавить" starts a new workplace; once it is saved the search runs again and the
// list stands on the new workplace, ready to be chosen.
class TWorkplaceFindDG : public TBASEFindDG, public SingleDialog<TWorkplaceFindDG> {
    Q_OBJECT
public:
    TWorkplaceFindDG(); // made by Instance()
    // Shows the dialog; "Выбрать" writes the chosen workplace's key into `Field` (when given).
    // True when a workplace was chosen.
    static bool Run(Field *Field);

    // "Добавить": the workplace dialog on a new workplace without a department (the user picks it).
    void btInsertClick();
};
