#pragma once

#include "dialogs/dgBaseList.h"
#include "dialogs/dgCommon.h"

// All firms by full name, with their trademark and how many documents and models name them. Firms
// are added, changed and deleted here; "Выбрать" writes the current firm's key into the calling
// dialog's field.
class TFirmListDG : public TBASEListDG, public SingleDialog<TFirmListDG> {
    Q_OBJECT
public:
    TFirmListDG(); // made by Instance()
    // Shows the list on firm `ID` (-1: the firm current when the list was last closed); `InField` is
    // the field that "Выбрать" fills, or none. Returns QDialog::Accepted after "Выбрать".
    static int Run(int ID, Field *InField = nullptr);

    DataSet *taClient; // the view ClientList, ordered by ClientName

    // Reopens the list and makes firm `ID` current (-1: the one current now); the first row stays
    // current when it is not in the list.
    void Reload(int ID);
};
