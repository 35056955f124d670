#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>

#include <memory>

// The program's entry in the list of installed programs: the group "Velmora" of the system-wide
// settings file Korvant/Uninstall.conf in the first folder of $XDG_CONFIG_DIRS (/etc/xdg when it
// is not set), with the values "DisplayName", "DisplayVersion", "Publisher" and "InstallDate".
// Writing it needs the rights of an administrator; without them every operation here quietly
// does nothing, as the program runs with the rights of the user who starts it.

// The entry opened for reading and writing, created when missing; null when it cannot be opened
// for writing.
std::unique_ptr<QSettings> OpenUninstallEntry();

// Which value ReadUninstallValue reads.
enum class UninstallValue { InstallDate = 0, DisplayVersion = 1 };

// Sets `value` to the text of the entry's value; `value` is left untouched when the entry cannot
// be opened (an absent value reads as an empty text).
void ReadUninstallValue(UninstallValue which, QVariant &value);

// Writes "Publisher" "Korvant", "DisplayName" "Velmora", "DisplayVersion" (the running program's
// version key) and "InstallDate" (today, yyyyMMdd) when the recorded "DisplayVersion" sorts before
// the running program's key (an ordinal comparison of the texts, so 2.10 sorts before 2.7).
void UpdateUninstallEntry();
