#pragma once

#include "dialogs/dgBaseEdit.h"
#include "dialogs/dgCommon.h"

class DBEdit;
class DBLookupCombo;

// One department: its superior department, its name and the further names the search finds it
// by. The superior is chosen from all departments by name (typing searches the list), through the
// department find dialog, or emptied with Delete, which puts the department at the top level.
class TDepartmentEditDG : public TBaseEditDG, public SingleDialog<TDepartmentEditDG> {
    Q_OBJECT
public:
    TDepartmentEditDG(); // made by Instance()
    // The refusal of a department without a name.
    static const QString NameMessage;
    // The refusal of a superior that is the department itself or lies below it.
    static const QString ParentMessage;

    // Edits department `dprt`, or starts a new one under `higher` (no superior when `higher` is 0
    // or less) when no department has that key (-1). True when saved; `newKey` then receives the
    // key of the saved department.
    static bool Run(int dprt, int higher, int *newKey = nullptr);

    DBLookupCombo *cbHight; // "Вышестоящее подразделение:": DprtIdHigher; Delete empties it
    QPushButton *btFind; // "Поиск": the department find dialog fills DprtIdHigher
    DBEdit *edName;      // "Наименование": DprtName
    DBEdit *edSynonym;   // "Дополнительные названия для поиска": Synonym

    // False when the chosen superior is the department itself or one of the departments below it,
    // as the database holds them: saving that would cut the branch off the tree. A new department
    // and a department without a superior always pass.
    bool ParentAllowed() const;

    void btFindClick();
};
