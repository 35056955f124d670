#pragma once

#include <QDateTime>
#include <QStringList>

#include <atomic>

class Connection;

// Backups of the embedded database file, in a folder "backups" beside it: one at the first start
// of each day, and one whenever the user asks. Each is a complete SQLite file made with SQLite's
// online backup from the program's own connection, consistent while other workstations write.
// The newest seven are kept; the folder is its owner's alone (0700), the files readable by their
// owner only (0600), as the database itself is.
namespace FileBackup {

constexpr int Kept = 7;

// The folder of the backups of the database file at `databasePath`.
QString folder(const QString &databasePath);

// The backups of that file, oldest first (their names sort by the time they were made).
QStringList list(const QString &databasePath);

// Makes a backup of the open SQLite database now, then removes all but the newest Kept ones.
// Returns the path of the new file. Throws AppError when the connection is not a SQLite file or
// the backup cannot be written; a failed backup leaves no file behind.
QString make(Connection &cn, const QDateTime &now = QDateTime::currentDateTime());

// The open SQLite database written whole into a new file at `path` (0600) by SQLite's online
// backup: a consistent snapshot that holds the database for moments only. Throws AppError; a
// failed copy leaves no file behind.
void writeSnapshot(Connection &cn, const QString &path);

// At the first start of a day: a backup when none was made on that day (by date of `now`).
// Returns the new file's path, or an empty text when it was not due or the database is not a file.
QString makeIfDue(Connection &cn, const QDateTime &now = QDateTime::currentDateTime());

// The path of the connection's SQLite file; empty for a server or an in-memory database.
QString databaseFile(const Connection &cn);

// The day's backup made alongside the program's work: as makeIfDue, but read from the file at
// `databasePath` through a read-only connection of its own a few pages at a time, so that a write
// waits at most for one step; safe on a thread of its own. Each write by another connection makes
// the copy start again; after a few such starts it gives up (AppError), to be made at another
// start. Once `stop` is set the copy ends at its next step and leaves no file: an empty text, as
// when no backup was due.
QString makeIfDueAlongside(const QString &databasePath, const std::atomic<bool> &stop,
                           const QDateTime &now = QDateTime::currentDateTime());

} // namespace FileBackup
