#pragma once

#include <QStringList>

class Connection;

// velmora-db publish --version 1.2.3.4 --program FILE --updater FILE [--changes FILE]: stores a
// program version, its image, the updater and the change notes (a UTF-8 text file) in one
// transaction, after checking both files (PublishProgramVersion: executables of this platform of at
// most 256 MB that answer --version, the program with that very version). Returns the exit code; a
// wrong command line is reported (exit code 2), a refused file throws AppError.
int publish(Connection &cn, const QStringList &args);
