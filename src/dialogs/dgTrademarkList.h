#pragma once

#include "dialogs/dgBaseList.h"
#include "dialogs/dgCommon.h"

class AppError;

// All trademarks by name with the number of firms carrying each. Trademarks are added, changed and
// deleted here; "Выбрать" writes the current trademark's key into the calling dialog's field.
class TTrademarkListDG : public TBASEListDG, public SingleDialog<TTrademarkListDG> {
    Q_OBJECT
public:
    TTrademarkListDG(); // made by Instance()
    // Shows the list on trademark `ID` (-1: the trademark current now); `InField` is the field that
    // "Выбрать" fills, or none. Returns the dialog's result (QDialog::Accepted after "Выбрать").
    static int Run(int ID, Field *InField = nullptr);

    DataSet *taTrade; // the whole table Trademark, ordered by name

    // Reopens the list and makes trademark `ID` current (-1: the one current now); the first row
    // stays current when it is not in the list.
    void Reload(int ID);

private:
    void deleteRefused(int id, const QString &name, const AppError &error);
};
