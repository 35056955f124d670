#pragma once

#include "dgBaseEdit.h"
#include "dgCommon.h"

class DBEdit;

// One trademark: its name. The number of firms carrying it (Ranking) is kept by the database.
class TTrademarkEditDG : public TBaseEditDG, public SingleDialog<TTrademarkEditDG> {
    Q_OBJECT
public:
    TTrademarkEditDG(); // made by Instance()
    // Edits trademark `ID`, or starts a new one when no trademark has that key (-1). True when
    // saved; taData then holds the record as stored, its new key included.
    static bool CheckRun(int ID);

    DBEdit *DBEdit2; // "Наименование": Name
};
