#pragma once

#include "dialogs/dgBaseEdit.h"
#include "dialogs/dgBaseList.h"
#include "dialogs/dgCommon.h"

class DBCheckBox;
class DBEdit;

// What an administrator sets up for the users view: the domains the account scan reads (each
// with its controller and the account it binds with), the default lines of a new setup checklist,
// and the accounts set aside, which can be brought back.

// One domain to scan. Saved through DomainControllerSave;1, which checks the name, the controller
// and that no other domain has the name.
class TDomainControllerEditDG : public TBaseEditDG, public SingleDialog<TDomainControllerEditDG> {
    Q_OBJECT
public:
    TDomainControllerEditDG(); // made by Instance()
    // Edits domain `ID`, or adds one for -1. True when saved; `savedId` then holds its key.
    static bool Run(int ID, int *savedId = nullptr);

    DBEdit *edDomain, *edController, *edBindAccount;
    int savedId = -1;

protected:
    void postData() override;
};

class TDomainControllerListDG : public TBASEListDG, public SingleDialog<TDomainControllerListDG> {
    Q_OBJECT
public:
    TDomainControllerListDG(); // made by Instance()
    static int Run();
    void Reload(int id);

    DataSet *taDomain;
};

// One default line of the setup checklist: its number (the order), heading or step, text.
class TUserInstallDefaultEditDG : public TBaseEditDG, public SingleDialog<TUserInstallDefaultEditDG> {
    Q_OBJECT
public:
    TUserInstallDefaultEditDG(); // made by Instance()
    // Edits line `ID`, or adds one (numbered after the last) for -1. The line's key when saved,
    // none when not.
    static std::optional<int> Run(int ID);

    DBEdit *edLine, *edName;
    DBCheckBox *cbTitle;
};

class TUserInstallDefaultListDG : public TBASEListDG, public SingleDialog<TUserInstallDefaultListDG> {
    Q_OBJECT
public:
    TUserInstallDefaultListDG(); // made by Instance()
    static int Run();
    void Reload(int id);

    DataSet *taLines;
};

// The accounts set aside in the users view; "Вернуть" brings the current one back.
class TUserIgnoreListDG : public TBASEListDG, public SingleDialog<TUserIgnoreListDG> {
    Q_OBJECT
public:
    TUserIgnoreListDG(); // made by Instance()
    static int Run();
    void Reload();
    void restoreCurrent();

    DataSet *taIgnore;
    QPushButton *btRestore = nullptr;

protected:
    void dsListStateChange() override;
};

// What the scan dialog and the checklist say when nothing has been set up yet.
extern const QString NoDomainsHint;
extern const QString NoChecklistHint;
