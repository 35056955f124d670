#pragma once

#include <QByteArray>
#include <QString>

class Connection;

// The program versions kept in the database: each published version's key with its program image
// and its change notes, and the updater under the name "update". Workstations read them through
// the procedures CheckVersionMax;1, CheckVersionProg;1 and CheckVersionChange;1.

// The name under which the updater is kept.
inline const QString UpdaterVersionName = QStringLiteral("update");

// The newest published version key (CheckVersionMax;1); empty when none is published.
QString NewestProgramVersion(Connection &cn);

// The image stored for a version key or for UpdaterVersionName (CheckVersionProg;1); empty when
// there is none.
QByteArray StoredProgram(Connection &cn, const QString &version);

// Refuses, with AppError naming the reason, an image that cannot be installed as the version with
// key `versionKey`: an empty one, one that is not an executable of this platform, and one whose
// own version note is not that version (every workstation would update again at each start).
void CheckProgramImage(const QByteArray &image, const QString &versionKey);

// Refuses an updater image that is empty or not an executable of this platform.
void CheckUpdaterImage(const QByteArray &image);

struct ProgramPublication {
    QString version;    // dotted, as 1.2.3.4
    QByteArray program; // the program's executable image
    QByteArray updater; // the updater's executable image
    QString changes;    // what changed, shown on the "Версия" tab; may be empty
};

// Stores the version (its key, image and change notes, replacing those of an earlier publication of
// the same version) and the updater, in one transaction. The images are checked first as
// CheckProgramImage and CheckUpdaterImage do; a version that is not four dot-separated numbers
// is refused. Returns the stored version key.
QString PublishProgramVersion(Connection &cn, const ProgramPublication &publication);
