#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>

class QIODevice;

// The program's version and build date.
//
// A version V1.V2.V3.V4 is compared with others through its key: V1, a dot, V3, a dot, V2 as at
// least three digits and V4 as at least five ("%d.%d.%.3d%.5d" over V1, V3, V2, V4). The database
// stores the newest program version as such a key and keys are compared as plain texts.

// The key of a dotted version text. Parts are split at the first three dots; the fourth part is
// read from at most five characters; a part that is not a decimal integer counts as 0.
// 2.15.7.321 → 2.7.01500321, 1.2.3.123456 → 1.3.00212345, 0.0.0.0 → 0.0.00000000.
QString VersionKey(const QString &dotted);

// The running program's version ("1.0.0.1", compiled in from the build's project version;
// "0.0.0.0" when the build gave none), or its key when `asKey` is set.
QString GetFileVersionText(bool asKey);

// Makes GetFileVersionText report `version` (tests); an empty text restores the compiled one.
void SetFileVersionTextForTesting(const QString &version);

// Every executable of the project carries its version in a note, the text "VELMORA-VERSION:"
// followed by the dotted version and a zero byte, so that the version of a program image can be
// read without running it (the admin tool checks an image before storing it, the updater before
// installing it). The dotted version of the first such note in `image`, or an empty text when the
// image carries none.
QString VersionNoteOf(QByteArrayView image);

// The dotted version in the note of the file `fileName`; empty when it has none or cannot be read.
QString FileVersionNote(const QString &fileName);

// True when `image` starts like an executable of this platform (an ELF file here).
bool IsNativeExecutable(QByteArrayView image);

// The version key of an executable: "*" (or the running executable's own path) gives the running
// program's key; any other file the key of its version note, or of 0.0.0.0 when it has none or
// cannot be read.
QString GetFileVersionKey(const QString &fileName);

// The build date of an executable ("*" for the running one). For a Windows PE file it is the DOS
// date and time stamped in its resource directory; for any other file (ELF executables included),
// a PE file without that stamp, or one cut short, it is the file's last modification time.
// An invalid date-time when the file does not exist.
QDateTime GetBuildDate(const QString &fileName);

// The DOS date and time stamped in the resource directory of the Windows PE image that `device`
// (open for reading) holds: the section named ".rsrc", else the last section header read. Invalid
// when the image is not a PE file, is cut short, points outside itself or carries a zero stamp.
QDateTime PeResourceStamp(QIODevice &device);

// Makes GetBuildDate("*") report `date` (tests); an invalid date-time restores the real one.
void SetBuildDateForTesting(const QDateTime &date);

// The version label: `prefix` alone for a development version (one beginning with "0"), else
// prefix + version (as key when `asKey`) + " от " + build date as dd.MM.yyyy,
// for example "Версия 2.7.01500321 от 05.03.2014".
QString VersionCaption(const QString &prefix, bool asKey);
