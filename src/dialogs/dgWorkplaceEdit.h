#pragma once

#include "dialogs/dgBaseEdit.h"
#include "dialogs/dgCommon.h"

class DBEdit;
class DBLookupCombo;

// One workplace: its department, name, further names for the search, the person working there and
// the telephone. Its position among the department's workplaces is the server's business.
class TWorkplaceEditDG : public TBaseEditDG, public SingleDialog<TWorkplaceEditDG> {
    Q_OBJECT
public:
    TWorkplaceEditDG(); // made by Instance()
    // The refusal of a workplace without a name.
    static const QString NameMessage;
    // The refusal of a workplace saved without a department.
    static const QString DepartmentMessage;

    // Edits workplace `work`, or starts a new one in department `dprt` when no workplace has that
    // key (-1); with `dprt` 0 the department selector starts empty and the user picks one. True
    // when saved; `newKey` then receives the key of the saved workplace.
    static bool Run(int work, int dprt, int *newKey = nullptr);

    DBLookupCombo *lcHigher; // "Подразделение:": WrkpIdDepartment
    DBEdit *edName;          // "Наименование": WrkpName
    DBEdit *edSynonym;       // "Дополнительные названия для поиска": Synonym
    DBLookupCombo *lcUser;   // "Пользователь": User, shown by DisplayLookup; Delete empties it
    DBEdit *edPhone;         // "Телефон": Phone
    QPushButton *btFind;     // "Поиск": the department find dialog fills WrkpIdDepartment

    void btFindClick();
};
