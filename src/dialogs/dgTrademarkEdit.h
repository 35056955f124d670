#pragma once

#include "dgBaseEdit.h"

#include <QPointer>

class DBEdit;

// One trademark: its name. The number of firms carrying it (Ranking) is kept by the database.
class TTrademarkEditDG : public TBaseEditDG {
    Q_OBJECT
public:
    // Edits trademark `ID`, or starts a new one when no trademark has that key (-1). True when
    // saved; taData then holds the record as stored, its new key included.
    static bool CheckRun(int ID);
    // The single instance, made on first use.
    static TTrademarkEditDG *Instance();
    static void ResetForTesting();

    DBEdit *DBEdit2; // "Наименование": Name

    // A trademark needs a name: without one a message says so and the dialog stays open;
    // otherwise the base save.
    void btSaveClick() override;

private:
    TTrademarkEditDG();
    static QPointer<TTrademarkEditDG> s_instance;
};
