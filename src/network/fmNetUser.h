#pragma once

#include "ui/HostedView.h"

#include <functional>

class Action;
class ActionList;
class DataGrid;
class DataSet;
class QFrame;
class QMenu;
class QToolBar;

// The users view: domain accounts with their domain, name, workplace and telephone; under the
// list the passwords, mail and messenger accounts of the current user (the detail panel, shown or
// hidden by a double click on a row).
class TNetUserFM : public HostedView {
    Q_OBJECT
public:
    explicit TNetUserFM(QWidget *parent = nullptr);
    ~TNetUserFM() override;

    // Reopens the list on user `ID` (-1: the current user), the first row when it is not listed.
    void RefreshDCUser(int ID);
    // Selects the first user of workplace `ID` without reopening; the first row when there is none.
    void RefreshWorkplace(int ID);

    // Set by the program: selects a node of the placement tree on its tab ("W", workplace key),
    // and opens a report by its name and parameters. A command whose hook is not set stays
    // disabled.
    std::function<void(const QString &kind, int id)> goPlacement;
    std::function<void(const QString &report)> viewReport;
    // The dialogs the commands open, set by the program (see shell/ViewWiring.h); a command whose
    // dialog is not set does nothing.
    std::function<void()> runScan;
    std::function<bool(int id, int *savedId)> runUserEdit;
    std::function<void(int id)> runUserInstall;
    // The set-up lists: domains to scan, default checklist lines, accounts set aside.
    std::function<void()> runDomains, runChecklistDefaults, runIgnored;

    // The removal question's subject: "Domain/Login: Name" of the current row.
    QString currentCaption() const;

    QToolBar *tbMain;
    QMenu *pmReport;
    QMenu *pmSetup; // the set-up lists, behind a drop-down button of the toolbar
    QMenu *pmUsers; // the list's context menu
    DataGrid *grUsers;
    QFrame *pnDetail;
    DataSet *taDCUser;
    ActionList *actions;
    Action *acCheckUser, *acUserInsert, *acUserEdit, *acUserDelete, *acRefresh, *acUserInfo, *asReportList,
        *acReportMail, *acGoWorkplace, *acUserInstall, *acDomains, *acChecklistDefaults, *acIgnored;

private:
    void deleteUser();
    int currentId() const;
};
