#pragma once

#include "dgBaseList.h"

#include <QPointer>

// The move history of one element, the newest place first, from which the element is moved on.
class TElementMoveListDG : public TBASEListDG {
    Q_OBJECT
public:
    // Shows the history of element `CompSet`. True when the element was moved meanwhile (the number
    // of history lines changed).
    static bool Run(int CompSet);
    static TElementMoveListDG *Instance();
    static void ResetForTesting();

    DataSet *taMove; // GridDisplacement;1 for FSet
    int FSet = -1;   // the element shown

    // Reads the history again, staying on the line that was current.
    void Reload();

private:
    TElementMoveListDG();
    void btInsertClick();

    static QPointer<TElementMoveListDG> s_instance;
};
