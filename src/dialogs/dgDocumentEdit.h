#pragma once

#include "dialogs/dgBaseEdit.h"
#include "dialogs/dgCommon.h"

class DBDateEdit;
class DBEdit;
class DBLookupCombo;
class DBMemo;
class QPushButton;

// One incoming document: its kind, number, date, supplier and note.
//
// A new document starts with the kind "N" (when that kind exists) and today's date, as most
// documents typed in are delivery notes of the day; these values alone are no change of the
// user's, so "Записать" stays disabled until the user changes a field.
class TDocumentEditDG : public TBaseEditDG, public SingleDialog<TDocumentEditDG> {
    Q_OBJECT
public:
    TDocumentEditDG();                // made by Instance()
    static const QString DefaultKind; // "N"

    // Edits document `Doc`, or starts a new one when no document has that key (-1). The
    // document's key when saved (a new document's new key), none when not.
    static std::optional<int> Run(int Doc);

    DBLookupCombo *lcKind; // "Тип": DocKind among the document kinds
    DBEdit *edNumber;      // "Номер": DocNumber
    DBDateEdit *edDate;    // "Дата": DocDate
    DBLookupCombo *lcProd; // "Поставщик": DocClient among the firms
    QPushButton *sbProd;   // "Справочник производителей": the firm list
    DBMemo *moNote;        // "Примечание": Note

    // The firm list on the current supplier; "Выбрать" there fills DocClient and the firm list of
    // the selector is read again.
    void sbProdClick();

private:
    // Keeps "Записать" disabled while a new record holds nothing but its defaults.
    void followChanges();

    bool m_pristine = false;
};
