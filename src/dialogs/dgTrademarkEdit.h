#pragma once

#include "dialogs/dgBaseEdit.h"
#include "dialogs/dgCommon.h"

class DBEdit;

// One trademark: its name. The number of firms carrying it (Ranking) is kept by the database.
class TTrademarkEditDG : public TBaseEditDG, public SingleDialog<TTrademarkEditDG> {
    Q_OBJECT
public:
    TTrademarkEditDG(); // made by Instance()
    // Edits trademark `ID`, or starts a new one when no trademark has that key (-1). The key when
    // saved (a new trademark's new key), none when not.
    static std::optional<int> CheckRun(int ID);

    DBEdit *DBEdit2; // "Наименование": Name
};
