#pragma once

#include "dialogs/dgBaseList.h"
#include "dialogs/dgCommon.h"

class QLabel;

// A user's computer setup checklist: heading lines shaded, steps with a done mark the user ticks
// (a click on the mark or the space bar), made on the server the first time it is opened, and
// printed as a report.
class TUserInstallDG : public TBASEListDG, public SingleDialog<TUserInstallDG> {
    Q_OBJECT
public:
    TUserInstallDG(); // made by Instance()
    ~TUserInstallDG() override;
    // Shows the checklist of user `ID`; returns the dialog's result.
    static int Run(int ID);

    // Opens the checklist of user `ID`, creating its lines first when it has none.
    void openChecklist(int ID);
    // Turns the done mark of the current step over and stores it; heading lines have none.
    void toggleDone();
    // The report address's tail for the current line: "user.install&rs:Command=Render&User=<user>".
    QString printReport() const;

    // Set by the program: opens a report by its name and parameters; btPrint is disabled without it.
    static inline std::function<void(const QString &report)> viewReport;

    DataSet *taUser;
    QPushButton *btPrint;
    QLabel *lbHint; // shown when no default lines exist, so the checklist stays empty

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
