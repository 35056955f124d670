#pragma once

#include "dialogs/dgBaseList.h"
#include "dialogs/dgCommon.h"

// The kinds of incoming documents, the most used first. Kinds are added, changed and deleted here;
// "Выбрать" writes the current kind's code into the calling dialog's field.
class TDocumentKindListDG : public TBASEListDG, public SingleDialog<TDocumentKindListDG> {
    Q_OBJECT
public:
    TDocumentKindListDG(); // made by Instance()
    // Shows the list on its first row (`ID` is not used); `InField` is the field that "Выбрать"
    // fills, or none. Returns QDialog::Accepted after "Выбрать".
    static int Run(int ID, Field *InField = nullptr);

    DataSet *taDocKind; // the table DocKind, ordered by Uses, largest first

    // Reopens the list and makes the kind with code `code` current (empty: the one current now).
    void Reload(const QString &code);
};
