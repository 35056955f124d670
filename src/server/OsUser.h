#pragma once

#include <QString>

// The login name of the operating-system user running the program: $USER, else $LOGNAME, else
// "user". Bookmarks of the placement tree are kept per this name.
QString OsUserName();

// Makes OsUserName() return `name` (tests acting as several users); an empty name restores the
// name taken from the environment.
void SetOsUserNameForTesting(const QString &name);
