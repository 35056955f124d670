#include "data/FileBackup.h"

#include "data/Connection.h"
#include "data/DriverHandle.h"
#include "data/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
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

// A copy read a few pages at a time: between two steps the file is free for other connections'
// writes, each of which makes SQLite start the copy again.
constexpr int PagesPerStep = 1024;
// Starts again more often than this and the copy gives up, to be made at another start.
constexpr int MostRestarts = 5;

// SQLite's online backup of the source's database into a new file at `path`. Without `stop`, in
// one step (the program's own connection, which waits for it). With `stop`, a few pages at a time,
// and ended at the next step once `stop` is set: then false, and no file is left.
bool backupInto(sqlite3 *source, const QString &path, const std::atomic<bool> *stop = nullptr) {
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
    bool stopped = false;
    if (rc == SQLITE_OK) {
        if (sqlite3_backup *b = sqlite3_backup_init(target, "main", source, "main")) {
            // Without `stop` the whole file in one step; with it a few pages a step.
            const int pages = stop ? PagesPerStep : -1;
            int restarts = 0, left = -1, waits = 0;
            while (!(stopped = stop && stop->load())) {
                rc = sqlite3_backup_step(b, pages);
                if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED) {
                    // Another connection's write holds the file for a moment: wait for it, only
                    // a little where the program waits for the copy.
                    if (!stop && ++waits >= 50)
                        break;
                    sqlite3_sleep(stop ? 50 : 100);
                    continue;
                }
                if (rc != SQLITE_OK)
                    break;
                const int remaining = sqlite3_backup_remaining(b);
                if (left >= 0 && remaining > left && ++restarts > MostRestarts) {
                    why = QStringLiteral("база данных всё время менялась, копия будет сделана при "
                                         "следующем запуске");
                    break;
                }
                left = remaining;
            }
            sqlite3_backup_finish(b);
            if (rc == SQLITE_DONE)
                rc = sqlite3_errcode(target);
        } else {
            rc = sqlite3_errcode(target);
        }
    }
    if (why.isEmpty() && !stopped && rc != SQLITE_OK && rc != SQLITE_DONE)
        why = QString::fromUtf8(target ? sqlite3_errmsg(target) : sqlite3_errstr(rc));
    sqlite3_close(target);
    if (stopped || !why.isEmpty())
        QFile::remove(path);
    if (!why.isEmpty())
        fail(path, why);
    return !stopped;
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

namespace {

// A backup of the database at `path`, read through `source`, then all but the newest Kept removed.
// Empty when `stop` was set before it was whole.
QString makeFrom(sqlite3 *source, const QString &path, const QDateTime &now,
                 const std::atomic<bool> *stop = nullptr) {
    const QString dir = folder(path);
    if (!QFileInfo::exists(dir) && !QDir().mkpath(dir))
        fail(dir, QStringLiteral("папку нельзя создать"));
    QFile::setPermissions(dir, OwnerFolder);

    // What a copy cut short by the end of its program (a power cut, a kill) left: gone once it is
    // plainly not being written any more.
    const QRegularExpression pattern = namePattern(path);
    const QDateTime stale = QDateTime::currentDateTime().addSecs(-3600);
    for (const QFileInfo &f : QDir(dir).entryInfoList({QStringLiteral("*.db.part*")}, QDir::Files))
        if (f.lastModified() < stale &&
            pattern.match(f.fileName().left(f.fileName().indexOf(QStringLiteral(".part")))).hasMatch())
            QFile::remove(f.filePath());

    const QString stem =
        QFileInfo(path).completeBaseName() + u'-' + now.toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
    QString target = QDir(dir).filePath(stem + QStringLiteral(".db"));
    for (int n = 2; QFileInfo::exists(target) || QFileInfo::exists(target + QStringLiteral(".part")); ++n)
        target = QDir(dir).filePath(stem + QStringLiteral("-%1.db").arg(n));
    // Written under another name first: a backup cut short never looks like a whole one.
    const QString part = target + QStringLiteral(".part");
    if (!backupInto(source, part, stop))
        return {};
    if (!QFile::rename(part, target)) {
        QFile::remove(part);
        fail(target, QStringLiteral("файл нельзя переименовать"));
    }

    const QStringList all = list(path);
    for (qsizetype i = 0; i + Kept < all.size(); ++i)
        QFile::remove(all[i]);
    return target;
}

bool due(const QString &path, const QDateTime &now) {
    const QRegularExpression pattern = namePattern(path);
    const QString today = now.date().toString(QStringLiteral("yyyy-MM-dd"));
    for (const QString &file : list(path))
        if (pattern.match(QFileInfo(file).fileName()).captured(1) == today)
            return false;
    return true;
}

} // namespace

QString make(Connection &cn, const QDateTime &now) {
    const QString path = embeddedPath(cn);
    sqlite3 *source = path.isEmpty() ? nullptr : DriverHandle<sqlite3>(cn.database(), "sqlite3*");
    if (!source)
        throw AppError(QStringLiteral("Резервную копию делает программа только для базы данных в файле; базу "
                                      "сервера копирует администратор командой velmora-db copy"));
    if (cn.inTransaction())
        throw AppError(QStringLiteral("Резервная копия не делается во время записи в базу данных"));
    return makeFrom(source, path, now);
}

QString makeIfDue(Connection &cn, const QDateTime &now) {
    const QString path = embeddedPath(cn);
    if (path.isEmpty() || !due(path, now))
        return {};
    return make(cn, now);
}

QString databaseFile(const Connection &cn) {
    return embeddedPath(cn);
}

QString makeIfDueAlongside(const QString &databasePath, const std::atomic<bool> &stop, const QDateTime &now) {
    if (databasePath.isEmpty() || !due(databasePath, now))
        return {};
    sqlite3 *source = nullptr;
    const QByteArray name = QFile::encodeName(databasePath);
    const int rc = sqlite3_open_v2(name.constData(), &source, SQLITE_OPEN_READONLY, nullptr);
    const auto close = qScopeGuard([&] { sqlite3_close(source); });
    if (rc != SQLITE_OK)
        fail(databasePath, QString::fromUtf8(source ? sqlite3_errmsg(source) : sqlite3_errstr(rc)));
    // A step waits a little for a write and then gives way, so that `stop` is seen soon.
    sqlite3_busy_timeout(source, 100);
    return makeFrom(source, databasePath, now, &stop);
}

} // namespace FileBackup
