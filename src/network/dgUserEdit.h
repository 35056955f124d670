#pragma once

#include "dialogs/dgBaseEdit.h"
#include "dialogs/dgCommon.h"

class DBCheckBox;
class DBEdit;

// One user: the domain account (locked while it carries the domain's data), the addition to the
// name, the mailbox and the messenger account, each password with a button that generates one.
class TUserEditDG : public TBaseEditDG, public SingleDialog<TUserEditDG> {
    Q_OBJECT
public:
    TUserEditDG(); // made by Instance()
    // Edits user `ID`, or creates one when `ID` is -1; true when saved, `savedId` then receives
    // the saved user's key.
    static bool Run(int ID, int *savedId = nullptr);

    DBCheckBox *cbDomain;
    DBEdit *edLogin, *edDomain, *edName, *edPass, *edAdd, *edMailBox, *edMailPass, *edMailGroup,
        *edSkypeLogin, *edSkypePass;
    QPushButton *btUserPass, *btCreatePass, *btSkypePass;
    QPushButton *btHistory; // "История" of the user

    // Login, domain and name are read-only on the button-face colour while "Данные домена" is
    // ticked, editable on the window colour otherwise.
    void cbDomainChange();

private:
    void generate(const QString &field, int count, int kind);
};
