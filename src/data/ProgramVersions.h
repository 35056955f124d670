#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <optional>

class Connection;
class QIODevice;

// The program versions kept in the database: each published version's key with its program image
// and its change notes, and the updater under the name "update". Workstations read them through
// the procedures CheckVersionMax;1, CheckVersionProg;1 and CheckVersionChange;1. An image is kept
// in parts of ProgramPartBytes (table ProgramPart), so that neither the publisher nor a
// workstation ever holds a whole image as one value; images of older databases may still sit in
// ProgramVersion.Programm and are read from there.

// The name under which the updater is kept.
inline const QString UpdaterVersionName = QStringLiteral("update");

// The largest image that is published or installed.
constexpr qint64 MaxProgramImageBytes = qint64(256) << 20;
// The size of one stored part of an image.
constexpr qint64 ProgramPartBytes = qint64(1) << 20;
// How long a program may take to answer --version before it counts as not starting.
constexpr int VersionAnswerSeconds = 30;

// The newest published version key (CheckVersionMax;1); empty when none is published.
QString NewestProgramVersion(Connection &cn);

// The image stored for a version key or for UpdaterVersionName (CheckVersionProg;1); empty when
// there is none. For small images (the updater); the program's image goes through
// WriteStoredProgram.
QByteArray StoredProgram(Connection &cn, const QString &version);

// The stored image put together from its parts, read directly (the body of CheckVersionProg;1);
// nothing when the version is not there, Null when it has no image.
std::optional<QVariant> ReadStoredProgram(Connection &cn, const QString &version);

// The size in bytes of the image stored for `version`; -1 when none is stored.
qint64 StoredProgramSize(Connection &cn, const QString &version);

// Writes the image stored for `version` to `out` one part at a time. Refuses (AppError) an image
// that is missing, empty or larger than MaxProgramImageBytes, and a write that fails.
void WriteStoredProgram(Connection &cn, const QString &version, QIODevice &out);

enum class ProgramKind { Program, Updater };

// Whether the first bytes of a file make it an executable of the platform this program runs on
// (on Linux: an ELF executable or shared object of this program's class, byte order and machine).
bool IsExecutableOfThisPlatform(const QByteArray &head);

// Refuses, with AppError naming the reason, a file that cannot be installed as `kind`: a missing
// or empty one, one larger than MaxProgramImageBytes, one that is not an executable of this
// platform, a program whose version note is not `versionKey` (every workstation would update
// again at each start), and one that does not run: `FILE --version`, started in a folder of its
// own with a throwaway environment, must print the program's name ("Velmora" or
// "velmora-update") and, for the program, that very version, within VersionAnswerSeconds.
void CheckProgramFile(const QString &path, ProgramKind kind, const QString &versionKey = QString());

struct ProgramPublication {
    QString version;     // dotted, as 1.2.3.4
    QString programFile; // the program's executable
    QString updaterFile; // the updater's executable
    QString changes;     // what changed, shown on the "Версия" tab; may be empty
};

// Publishes a version: both files are copied into a private folder first (what is checked is what
// is stored), checked as CheckProgramFile does, and stored in parts with the change notes in one
// transaction, replacing an earlier publication of the same version and the updater. A version
// that is not four dot-separated numbers is refused. Returns the stored version key.
QString PublishProgramVersion(Connection &cn, const ProgramPublication &publication);

// Stores the files as the image of version key `key` and as the updater, without checking them
// (PublishProgramVersion checks first), in one transaction. `partBytes` is the size of a part.
void StoreProgramVersion(Connection &cn, const QString &key, const QString &programFile,
                         const QString &updaterFile, const QString &changes,
                         qint64 partBytes = ProgramPartBytes);
