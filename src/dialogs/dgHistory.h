#pragma once

#include "dialogs/dgBaseList.h"
#include "dialogs/dgCommon.h"

// "История": the change journal of one object and of what it holds, newest first: when, who, what
// and each field old → new. Read only; the grid's context menu exports it.
class THistoryDG : public TBASEListDG, public SingleDialog<THistoryDG> {
    Q_OBJECT
public:
    THistoryDG(); // made by Instance()
    // Shows the history of `kind` ("Department", "Workplace", "DeviceUnit", "CompleteSet" or
    // "User") with key `id`, titled with `name`. Returns how many entries it showed.
    static int Run(const QString &kind, int id, const QString &name = {});

    DataSet *taHistory; // JournalHistory;1
};
