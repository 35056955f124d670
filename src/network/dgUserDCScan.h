#pragma once

#include "dialogs/dgCommon.h"

#include <QDialog>

class QComboBox;
class QPlainTextEdit;
class QPushButton;

// The domain account scan: reads the accounts of the selected domain's controller (off the
// window's thread, so the window keeps repainting) and hands each to CheckDomainUser;1, logging
// its answer. The buttons stay disabled and the dialog cannot be closed until the scan ends.
class TUserDCScanDG : public QDialog, public SingleDialog<TUserDCScanDG> {
    Q_OBJECT
public:
    TUserDCScanDG(); // made by Instance()

    // Reopens the domain list, selects domain 1 and shows the one dialog of the program modally.
    static void Run();

    // Fills cbDomain from the domain list and selects the domain with key `id`.
    void loadDomains(int id);
    void btRunClick();
    bool running() const { return m_running; }

    QComboBox *cbDomain;
    QPushButton *btRun, *btExit;
    QPlainTextEdit *mmLog;

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    bool m_running = false;
};
