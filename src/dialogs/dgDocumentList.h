#pragma once

#include "dialogs/dgBaseList.h"
#include "dialogs/dgCommon.h"

class QDate;
class QDateEdit;

// All incoming documents, the newest first, with a search by date. Documents are added, changed
// and deleted here; "Выбрать" writes the current document's key into the calling dialog's field.
class TDocumentListDG : public TBASEListDG, public SingleDialog<TDocumentListDG> {
    Q_OBJECT
public:
    TDocumentListDG(); // made by Instance()
    // Shows the list on the document whose key `Back` holds, in choose mode for `Back` (none:
    // browsing only). True when a document was chosen.
    static bool Run(Field *Back);

    DataSet *taDocument;   // GridDocumentList;1
    QDateEdit *edDateFind; // "Поиск по дате:"

    // Reopens the list and makes document `ID` current (-1: the one current now). Busy cursor.
    void Reload(int ID);
    // Lands on the newest document dated on or before `day` (the last row when all are later),
    // starting from the current row when that one is not earlier than the day.
    void FindDate(const QDate &day);
};
