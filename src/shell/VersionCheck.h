#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class Connection;
class DataSet;

// The version step of the main window: the program compares its version with the newest one kept
// in its database and, when they differ, writes the updater stored there beside itself, starts it
// and ends; the updater (velmora-update) then replaces the program and starts the new one.

// The updater's file name: "update" with the platform's executable suffix.
QString UpdaterFileName();

// Where the updater is written: the program's own folder when it can be written to, else the
// user's data folder (created when missing).
QString UpdaterFolder();

// Makes UpdaterFolder() that folder (tests); an empty text restores the rule above.
void SetUpdaterFolderForTesting(const QString &folder);

// Starts a program detached from this one; false when it could not be started. The program
// starts it with QProcess::startDetached; tests put a recorder in its place.
using ProgramStarter = std::function<bool(const QString &program, const QStringList &arguments)>;
ProgramStarter SetProgramStarter(ProgramStarter starter); // returns the previous one

// Asks the application to end as soon as its message loop runs (also when start-up goes on
// through other event loops first). Tests put a recorder in its place.
using TerminateRequest = std::function<void()>;
TerminateRequest SetTerminateRequest(TerminateRequest request); // returns the previous one
void RequestTerminate();

// Runs the version check on the dataset's connection:
//  1. an updater left over from the last update is deleted (failures ignored);
//  2. the newest version key comes from CheckVersionMax;1;
//  3. when a version is published and it is not the running program's key (an exact comparison
//     of the texts, so an older database version also updates), the updater from
//     CheckVersionProg;1 is written to UpdaterFolder(), marked executable and started with the
//     program's process id and path (--pid N --program PATH), and the application is asked to
//     end; the rest of the step still runs;
//  4. `taVersionChange` is opened on CheckVersionChange;1 with the newest key and stays open;
//  5. the entry in the list of installed programs is refreshed when its version differs.
// With no version published (no row, or a Null one) there is nothing to update to. An updater that
// is missing, empty, not an executable or cannot be started raises AppError, and the program goes
// on with its own version. Returns true when the update was started.
bool CheckVersion(DataSet &taVersionChange);

// For a database of a newer program, which this one must not open: when it holds a version other
// than the running one, writes and starts the updater as CheckVersion does and returns true; false
// when it holds none. Throws AppError when the updater cannot be written or started.
bool UpdateForNewerDatabase(Connection &cn);

// When $VELMORA_START_REPORT names a file, the program appends one line to it once started, its
// process id and the text of its version label separated by a tab, and ends: a way to check
// unattended that a program installed or updated on a workstation starts against its database.
// Nothing happens otherwise, nor while an update is under way (`updating`). Before that, when
// $VELMORA_UPDATE_STARTED names a file (the updater that installed this program waits for it), the
// process id is written there: the program has started, and the previous version may go.
void ReportStart(const QString &versionLabel, bool updating);
