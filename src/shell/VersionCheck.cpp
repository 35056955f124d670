#include "shell/VersionCheck.h"

#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/ProgramVersions.h"
#include "data/TessalADO.h"
#include "data/TessalRegistry.h"
#include "data/TessalVersionInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>

#include <utility>

namespace {

QString folderOverride; // set by tests

ProgramStarter &starter() {
    static ProgramStarter s = [](const QString &program, const QStringList &arguments) {
        return QProcess::startDetached(program, arguments);
    };
    return s;
}

TerminateRequest &terminateRequest() {
    // QCoreApplication::exit() only ends an event loop that runs: asked during start-up, it
    // would end the splash window's wait and be forgotten by the message loop that follows.
    // A timer asks again until the message loop has ended.
    static TerminateRequest r = [] {
        auto *timer = new QTimer(QCoreApplication::instance());
        QObject::connect(timer, &QTimer::timeout, [] { QCoreApplication::exit(0); });
        timer->start(10);
    };
    return r;
}

bool isWritableFolder(const QString &folder) {
    QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

QString dataFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    return folder;
}

// Writes the updater kept in the database into UpdaterFolder() and starts it.
void startUpdater(Connection &cn, const QString &newest) {
    if (StoredProgramSize(cn, UpdaterVersionName) <= 0)
        throw AppError(
            QStringLiteral("Версия %1 не установлена: в базе данных нет программы обновления").arg(newest));

    const QString path = QDir(UpdaterFolder()).filePath(UpdaterFileName());
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open())
        throw AppError(QStringLiteral("Не удалось записать программу обновления «%1»: %2")
                           .arg(path, file.errorString()));
    WriteStoredProgram(cn, UpdaterVersionName, file); // part by part, within the size limit
    // Nothing that is not an executable of this platform is left or started.
    file.seek(0);
    if (!IsExecutableOfThisPlatform(file.read(64)))
        throw AppError(
            QStringLiteral("Версия %1 не установлена: программа обновления в базе данных не является "
                           "исполняемым файлом")
                .arg(newest));
    if (!file.flush() ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                             QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther |
                             QFileDevice::ExeOther))
        throw AppError(QStringLiteral("Не удалось записать программу обновления «%1»: %2")
                           .arg(path, file.errorString()));
    file.close();
    QFile::remove(path);
    if (!file.rename(path))
        throw AppError(QStringLiteral("Не удалось записать программу обновления «%1»: %2")
                           .arg(path, file.errorString()));
    file.setAutoRemove(false);

    const QStringList arguments{QStringLiteral("--pid"), QString::number(QCoreApplication::applicationPid()),
                                QStringLiteral("--program"), QCoreApplication::applicationFilePath()};
    if (!starter()(path, arguments))
        throw AppError(QStringLiteral("Не удалось запустить программу обновления «%1»").arg(path));
    RequestTerminate();
}

// The updater that started this program waits for word that it has started before it removes
// the previous version: the file named by VELMORA_UPDATE_STARTED gets this process's id.
void confirmStart() {
    const QString flag = qEnvironmentVariable("VELMORA_UPDATE_STARTED");
    if (flag.isEmpty())
        return;
    qunsetenv("VELMORA_UPDATE_STARTED"); // not for the programs this one starts
    QSaveFile file(flag);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n');
        file.commit();
    }
}

} // namespace

QString UpdaterFileName() {
#ifdef Q_OS_WIN
    return UpdaterVersionName + QStringLiteral(".exe");
#else
    return UpdaterVersionName;
#endif
}

QString UpdaterFolder() {
    if (!folderOverride.isEmpty())
        return folderOverride;
    const QString own = QCoreApplication::applicationDirPath();
    return isWritableFolder(own) ? own : dataFolder();
}

void SetUpdaterFolderForTesting(const QString &folder) {
    folderOverride = folder;
}

ProgramStarter SetProgramStarter(ProgramStarter s) {
    return std::exchange(starter(), std::move(s));
}

TerminateRequest SetTerminateRequest(TerminateRequest request) {
    return std::exchange(terminateRequest(), std::move(request));
}

void RequestTerminate() {
    if (terminateRequest())
        terminateRequest()();
}

bool CheckVersion(DataSet &taVersionChange) {
    Connection *cn = taVersionChange.connection();
    if (!cn)
        throw AppError(QStringLiteral("Нет соединения с базой данных"));

    // 1. The updater of the last update, wherever it was written.
    const QStringList folders =
        folderOverride.isEmpty()
            ? QStringList{QCoreApplication::applicationDirPath(),
                          QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)}
            : QStringList{folderOverride};
    for (const QString &folder : folders) {
        const QString stale = QDir(folder).filePath(UpdaterFileName());
        if (QFileInfo::exists(stale))
            QFile::remove(stale);
    }

    // 2–4. An exact comparison of the texts: a database that asks for an older version updates too.
    const QString newest = NewestProgramVersion(*cn);
    const QString current = GetFileVersionKey(QStringLiteral("*"));
    bool updating = false;
    if (!newest.isEmpty() && newest != current) {
        startUpdater(*cn, newest);
        updating = true;
    }

    // 5. What changed in the newest version.
    taVersionChange.setCommand(QStringLiteral("CheckVersionChange;1"), CommandType::StoredProc);
    OpenWithParams(taVersionChange, {TypedValue::Text(newest)});

    // 6. The entry in the list of installed programs; it holds the key form, so the raw version
    // differs from it as a rule and the entry is looked at on every start.
    QVariant stored;
    ReadUninstallValue(UninstallValue::DisplayVersion, stored);
    if (GetFileVersionText(false) != stored.toString())
        UpdateUninstallEntry();
    return updating;
}

bool UpdateForNewerDatabase(Connection &cn) {
    const QString newest = NewestProgramVersion(cn);
    if (newest.isEmpty() || newest == GetFileVersionKey(QStringLiteral("*")))
        return false;
    startUpdater(cn, newest);
    return true;
}

void ReportStart(const QString &versionLabel, bool updating) {
    confirmStart();
    const QString report = qEnvironmentVariable("VELMORA_START_REPORT");
    if (report.isEmpty() || updating)
        return;
    QFile file(report);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        file.write(
            QStringLiteral("%1\t%2\n").arg(QCoreApplication::applicationPid()).arg(versionLabel).toUtf8());
    RequestTerminate();
}
