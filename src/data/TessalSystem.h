#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

// Operating-system services: the computer's name, the running processes and the clock.

// The host name of this computer.
QString LocalComputerName();

// The program's clock: the local date and time, unless a test has set a clock of its own (an empty
// function gives the system clock back). Views that judge dates against "today" read it here.
QDateTime ProgramNow();
void SetProgramClock(std::function<QDateTime()> clock);

// Keeps memory the process frees for its next allocations instead of handing it back to the
// system at once. Reading a large result frees and allocates tens of megabytes in many small
// blocks; returned to the system, the same memory is faulted in page by page on every read.
// Called once at start-up, before the first large read.
void KeepFreedMemoryForReuse();

// Makes the C library read the system's time zone once instead of at every local time it works
// out. Without TZ set, glibc looks at /etc/localtime again for each conversion: a list of a hundred
// thousand dates then makes as many file-system calls, more than the database took to send the
// rows. Sets TZ to that file when TZ is not set (the zone stays the one the system had when the
// program started). Call first thing in main(), before any thread starts: it changes the
// environment.
void ReadTimeZoneOnce();

// Whatever the process creates (folders, logs, reports, exports) is its user's alone, whatever
// umask it was started with: the umask gains every group and other bit. Call first thing in main().
void KeepFilesPrivate();

// Ids of the running processes whose executable file name (without its folder) equals `name`,
// compared without regard to case. A name given with the ".exe" suffix also matches the same
// name without it, so "Velmora.exe" finds /opt/prog/Velmora. Processes whose executable cannot be
// read (other users' processes) are matched by the kernel's command name instead.
QList<qint64> ProcessesByName(const QString &name);

// Ends this process when its own executable bears `name` (matched as ProcessesByName does): the
// standard streams are flushed and the process exits with code 0 at once, without returning.
// Otherwise nothing happens and the result is false, and the caller goes on.
//
// Other running copies of the program are never ended: each belongs to a user who may have
// unsaved edits open, and ending it would lose them. The name only decides whether this process
// itself is the one to go.
bool TerminateProcessesByName(const QString &name);
