#pragma once

#include "dgBaseFind.h"

#include <QPointer>

// Finds a workplace by its name, further names, telephone or the person working there, for the
// device dialog. "Добавить" starts a new workplace; once it is saved the search runs again and the
// list stands on the new workplace, ready to be chosen.
class TWorkplaceFindDG : public TBASEFindDG {
    Q_OBJECT
public:
    // Shows the dialog; "Выбрать" writes the chosen workplace's key into `Field` (when given).
    // True when a workplace was chosen.
    static bool Run(Field *Field);
    // The single instance, made on first use.
    static TWorkplaceFindDG *Instance();
    // Drops the single instance (the next use makes a new one over the then shared connection).
    static void ResetForTesting();

    // "Добавить": the workplace dialog on a new workplace without a department (the user picks it).
    void btInsertClick();

private:
    TWorkplaceFindDG();
    static QPointer<TWorkplaceFindDG> s_instance;
};
