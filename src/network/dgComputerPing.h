#pragma once

#include "data/Settings.h"

#include "dialogs/dgCommon.h"

#include <QDialog>

class QCheckBox;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

// The ping sweep: every device with a network name gets one echo; the outcome is written into the
// device's OnLine flag, shown line by line in the log pane and, when ticked, saved to a log file.
// The echoes run side by side and the window keeps repainting; while a sweep runs the dialog
// cannot be closed.
class TComputerPingDG : public QDialog, public SingleDialog<TComputerPingDG> {
    Q_OBJECT
public:
    TComputerPingDG(); // made by Instance()

    // Shows the one dialog of the program modally (created on first use).
    static void Run();

    // The sweep of btRun.
    void btRunClick();
    bool running() const { return m_running; }
    // Where the log file goes; empty: beside the executable, or the user's data folder.
    QString logFolder;

    QPushButton *btRun, *btExit;
    QProgressBar *pbPing;
    QCheckBox *cbLog;
    QPlainTextEdit *mmLog;

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent *e) override;
    void hideEvent(QHideEvent *e) override;

private:
    void setLine(int index, const QString &text);

    PropertyStore m_store{QStringLiteral("Computer.Ping")};
    bool m_running = false;
};
