#pragma once

#include <QString>

#include <atomic>
#include <memory>

class QThread;
class QWidget;

// "Резервная копия…" in the main window's "База данных" menu: a backup of the embedded database
// file made now (FileBackup.h), its path told in a box. On a server database the command is
// there but disabled: a server's backup is the administrator's `velmora-db copy`.
void AddBackupCommand(QWidget *mainWindow);

// The day's first backup of the embedded file, when it is due, made on a thread of its own
// alongside the program's work (FileBackup::makeIfDueAlongside), so that the window does not wait
// for the copy of a large file. A backup that fails is written to the log. Ending it (the program
// ends) stops the copy at its next step and leaves no partial file.
class DailyBackup {
public:
    explicit DailyBackup(const QString &databasePath);
    ~DailyBackup();
    DailyBackup(const DailyBackup &) = delete;
    DailyBackup &operator=(const DailyBackup &) = delete;

private:
    std::atomic<bool> m_stop{false};
    std::unique_ptr<QThread> m_thread;
};

// At the start of the program: the day's backup when the database is the embedded file; null
// otherwise.
std::unique_ptr<DailyBackup> StartDailyBackup();
