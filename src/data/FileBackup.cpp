#include "data/FileBackup.h"

#include "data/Connection.h"
#include "data/DriverHandle.h"
#include "data/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <sqlite3.h>

namespace FileBackup {

namespace {

constexpr QFile::Permissions OwnerFile = QFile::ReadOwner | QFile::WriteOwner;
constexpr QFile::Permissions OwnerFolder = OwnerFile | QFile::ExeOwner;

// "<name of the database>-yyyy-MM-dd-HHmmss[-N].db": the day, the time, a number for a second
// backup within one second.
QRegularExpression namePattern(const QString &databasePath) {
    return QRegularExpression(
        QStringLiteral("^%1-(\\d{4}-\\d{2}-\\d{2})-(\\d{6})(?:-(\\d+))?\\.db$")
            .arg(QRegularExpression::escape(QFileInfo(databasePath).completeBaseName())));
}

QString embeddedPath(const Connection &cn) {
    if (!cn.isOpen() || cn.engine() != Engine::SQLite)
        return {};
    const QString path = cn.url().path;
    if (path.isEmpty() || path.startsWith(u':') || path.startsWith(QStringLiteral("file:")))
        return {};
    return QFileInfo(path).absoluteFilePath();
}

[[noreturn]] void fail(const QString &path, const QString &why) {
    throw AppError(QStringLiteral("Не удалось записать резервную копию %1: %2").arg(path, why));
}

// SQLite's online backup of the connection's database into a new file at `path`.
void backupInto(sqlite3 *source, const QString &path) {
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            fail(path, f.errorString());
        f.close();
        QFile::setPermissions(path, OwnerFile);
    }
    sqlite3 *target = nullptr;
    const QByteArray name = QFile::encodeName(path);
    int rc = sqlite3_open_v2(name.constData(), &target, SQLITE_OPEN_READWRITE, nullptr);
    QString why;
    if (rc == SQLITE_OK) {
        if (sqlite3_backup *b = sqlite3_backup_init(target, "main", source, "main")) {
            // Another workstation writing holds the file for a moment: wait for it a little.
            for (int attempt = 0; attempt < 50; ++attempt) {
                rc = sqlite3_backup_step(b, -1);
                if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
                    break;
                sqlite3_sleep(100);
            }
            sqlite3_backup_finish(b);
            if (rc == SQLITE_DONE)
                rc = sqlite3_errcode(target);
        } else {
            rc = sqlite3_errcode(target);
        }
    }
    if (rc != SQLITE_OK && rc != SQLITE_DONE)
        why = QString::fromUtf8(target ? sqlite3_errmsg(target) : sqlite3_errstr(rc));
    sqlite3_close(target);
    if (!why.isEmpty()) {
        QFile::remove(path);
        fail(path, why);
    }
}

} // namespace

void writeSnapshot(Connection &cn, const QString &path) {
    sqlite3 *source = embeddedPath(cn).isEmpty() ? nullptr : DriverHandle<sqlite3>(cn.database(), "sqlite3*");
    if (!source)
        fail(path, QStringLiteral("база данных не в файле"));
    backupInto(source, path);
}

QString folder(const QString &databasePath) {
    return QFileInfo(databasePath).absoluteDir().filePath(QStringLiteral("backups"));
}

QStringList list(const QString &databasePath) {
    const QRegularExpression pattern = namePattern(databasePath);
    const QDir dir(folder(databasePath));
    QList<std::pair<QString, QString>> found; // order key, path
    for (const QString &name : dir.entryList(QDir::Files)) {
        const auto m = pattern.match(name);
        if (m.hasMatch())
            found.append(
                {m.captured(1) + m.captured(2) + m.captured(3).rightJustified(6, u'0'), dir.filePath(name)});
    }
    std::sort(found.begin(), found.end());
    QStringList out;
    for (const auto &f : found)
        out << f.second;
    return out;
}

QString make(Connection &cn, const QDateTime &now) {
    const QString path = embeddedPath(cn);
    sqlite3 *source = path.isEmpty() ? nullptr : DriverHandle<sqlite3>(cn.database(), "sqlite3*");
    if (!source)
        throw AppError(QStringLiteral("Резервную копию делает программа только для базы данных в файле; базу "
                                      "сервера копирует администратор командой velmora-db copy"));
    if (cn.inTransaction())
        throw AppError(QStringLiteral("Резервная копия не делается во время записи в базу данных"));

    const QString dir = folder(path);
    if (!QFileInfo::exists(dir) && !QDir().mkpath(dir))
        fail(dir, QStringLiteral("папку нельзя создать"));
    QFile::setPermissions(dir, OwnerFolder);

    const QString stem =
        QFileInfo(path).completeBaseName() + u'-' + now.toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    QString target = QDir(dir).filePath(stem + QStringLiteral(".db"));
    for (int n = 2; QFileInfo::exists(target) || QFileInfo::exists(target + QStringLiteral(".part")); ++n)
        target = QDir(dir).filePath(stem + QStringLiteral("-%1.db").arg(n));
    // Written under another name first: a backup cut short never looks like a whole one.
    const QString part = target + QStringLiteral(".part");
    backupInto(source, part);
    if (!QFile::rename(part, target)) {
        QFile::remove(part);
        fail(target, QStringLiteral("файл нельзя переименовать"));
    }

    const QStringList all = list(path);
    for (qsizetype i = 0; i + Kept < all.size(); ++i)
        QFile::remove(all[i]);
    return target;
}

QString makeIfDue(Connection &cn, const QDateTime &now) {
    const QString path = embeddedPath(cn);
    if (path.isEmpty())
        return {};
    const QRegularExpression pattern = namePattern(path);
    const QString today = now.date().toString(QStringLiteral("yyyy-MM-dd"));
    for (const QString &file : list(path))
        if (pattern.match(QFileInfo(file).fileName()).captured(1) == today)
            return {};
    return make(cn, now);
}

} // namespace FileBackup
