#pragma once

#include "dialogs/dgBaseList.h"
#include "dialogs/dgCommon.h"

// The move history of one element, the newest place first, from which the element is moved on.
class TElementMoveListDG : public TBASEListDG, public SingleDialog<TElementMoveListDG> {
    Q_OBJECT
public:
    TElementMoveListDG(); // made by Instance()
    // Shows the history of element `CompSet`. True when the element was moved meanwhile (the number
    // of history lines changed).
    static bool Run(int CompSet);

    DataSet *taMove; // GridDisplacement;1 for FSet
    int FSet = -1;   // the element shown

    // Reads the history again, staying on the line that was current.
    void Reload();

private:
    void btInsertClick();
};
