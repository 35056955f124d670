#pragma once

#include <QDate>
#include <QString>

// The application log: a text file next to the executable, one per start date.

// The executable's path with its extension (from the last dot of the file name on; none on Linux
// as a rule) replaced by the date as YYMMDD and ".log":
// /opt/prog/Velmora on 12 March 2016 → /opt/prog/Velmora160312.log,
// C:/Prog/Velmora.exe → C:/Prog/Velmora160312.log.
QString MakeAppLogFileName(const QString &executablePath, const QDate &startDate);

// The log file of this run, fixed at the first call from the executable's path and that day's
// date; a run that passes midnight keeps writing to the file of its start date.
QString AppLogFileName();

// Points the log at another file (tests).
void SetAppLogFileName(const QString &path);

// Where the log goes when it cannot be written beside the executable (an installed program's
// folder is not the user's to write): the file of the same name in the user's data folder,
// ~/.local/share/Korvant/Velmora/Velmora<YYMMDD>.log.
QString AppLogFallbackFileName();
void SetAppLogFallbackFileName(const QString &path); // tests

// Appends one entry: an empty line, the time followed by " ]" and a rule of hyphens, and the text.
// A new file starts with the header "Журнал приложения Velmora <date>". Lines end with CR LF and
// the file is UTF-8, readable by its owner only. The entry goes to AppLogFileName(), else to
// AppLogFallbackFileName() (its folder made owner-only); the file written is returned. When
// neither can be written, AppError names both files and their reasons.
QString WriteAppLog(const QString &text);
