// velmora-update: installs the newest program version kept in the database.
//
//   update --pid N --program PATH
//
// The program writes this updater beside itself (or into the user's data folder) when the
// database asks for another version, starts it with its own process id and path, and ends. The
// updater waits for that process to end, reads the newest version's image from the database named
// by the same setting the program uses ($VELMORA_DATABASE, the settings file, the embedded file),
// writes it into a new file beside the program and checks that file (an executable of this
// platform, of that version, that answers --version), renames it over the old program while
// keeping the old file beside it, starts the new program and waits until it says it has started;
// only then is the old file removed. When the new program does not start, the old file goes back
// in place. When anything fails the updater says why: in a message box when a display is there,
// always in its log file beside itself and on standard error.

#include "data/Connection.h"
#include "data/Errors.h"
#include "data/ProgramVersions.h"
#include "data/Settings.h"
#include "data/TessalLog.h"
#include "data/TessalSystem.h"
#include "data/TessalVersionInfo.h"
#include "server/Schema.h"
#include "server/Server.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
constexpr int WaitSeconds = 60;

struct Options {
    qint64 pid = 0;
    QString program;
};

void printError(const QString &text) {
    const QByteArray bytes = (QStringLiteral("velmora-update: ") + text + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

bool hasDisplay() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform == "offscreen" || platform == "minimal")
        return false;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// A process has ended when it is gone or only its exit status waits to be collected.
bool processRunning(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')'); // the command name may hold blanks and brackets
    const char state = close >= 0 && close + 2 < line.size() ? line.at(close + 2) : 'X';
    return state != 'Z' && state != 'X';
}

void waitForProgramEnd(qint64 pid) {
    const QDeadlineTimer deadline(WaitSeconds * 1000);
    while (processRunning(pid)) {
        if (deadline.hasExpired())
            throw AppError(QStringLiteral("Программа (процесс %1) не завершилась за %2 секунд")
                               .arg(pid)
                               .arg(WaitSeconds));
        QThread::msleep(50);
    }
}

// The update failed; `oldKept` tells whether the old program is in its place.
struct UpdateFailure {
    QString reason;
    bool oldKept = true;
};

constexpr int StartSeconds = 60;

// A file of the updater's own beside the program, removed again unless it is kept.
struct NewFile {
    QString path;
    bool keep = false;
    ~NewFile() {
        if (!keep && !path.isEmpty())
            QFile::remove(path);
    }
};

// Writes the newest image into a new file beside the program (same folder, so that the swap is
// one rename), executable with the old file's permissions, and closes it: a file still open for
// writing cannot be run.
void writeBeside(Connection &cn, const QString &program, const QString &version, NewFile &fresh) {
    const QFileInfo target(program);
    QFile file(target.dir().filePath(
        QStringLiteral(".%1.new-%2").arg(target.fileName()).arg(QCoreApplication::applicationPid())));
    QFile::remove(file.fileName()); // left by an update that was cut short
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw AppError(QStringLiteral("Нельзя создать файл в папке «%1»: %2")
                           .arg(target.absolutePath(), file.errorString()));
    fresh.path = file.fileName();
    WriteStoredProgram(cn, version, file);
    if (!file.flush() || ::fsync(file.handle()) != 0)
        throw AppError(QStringLiteral("Не удалось записать новую версию в «%1»: %2")
                           .arg(file.fileName(), file.errorString()));
    file.close();
    const QFileDevice::Permissions executable = QFileDevice::ExeOwner | QFileDevice::ExeUser |
                                                QFileDevice::ReadOwner | QFileDevice::ReadUser |
                                                QFileDevice::WriteOwner | QFileDevice::WriteUser;
    if (!QFile::setPermissions(fresh.path, target.permissions() | executable))
        throw AppError(QStringLiteral("Не удалось сделать исполняемым «%1»").arg(fresh.path));
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool renameOver(const QString &from, const QString &to) {
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// Starts the program and waits until it says it has started (VELMORA_UPDATE_STARTED names the
// file it writes then). False, with the reason, when it could not be started, ended without
// saying so, or said nothing within StartSeconds (it is stopped then).
bool startConfirmed(const QString &program, QString *why) {
    QTemporaryDir flagDir;
    if (!flagDir.isValid()) {
        *why = QStringLiteral("нет временной папки: %1").arg(flagDir.errorString());
        return false;
    }
    const QString flag = flagDir.filePath(QStringLiteral("started"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VELMORA_UPDATE_STARTED"), flag);
    QProcess p;
    p.setProgram(program);
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QFileInfo(program).absolutePath());
    qint64 pid = 0;
    if (!p.startDetached(&pid)) {
        *why = QStringLiteral("программа «%1» не запускается").arg(program);
        return false;
    }
    const auto confirmed = [&] { return QFileInfo(flag).size() > 0; };
    const QDeadlineTimer deadline(StartSeconds * 1000);
    while (!confirmed()) {
        if (!processRunning(pid)) {
            if (confirmed())
                return true;
            *why = QStringLiteral("новая версия завершилась, не начав работу");
            return false;
        }
        if (deadline.hasExpired()) {
            ::kill(pid_t(pid), SIGTERM);
            QDeadlineTimer grace(5000);
            while (processRunning(pid) && !grace.hasExpired())
                QThread::msleep(50);
            if (processRunning(pid))
                ::kill(pid_t(pid), SIGKILL);
            *why =
                QStringLiteral("новая версия не начала работу за %1 секунд и остановлена").arg(StartSeconds);
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

// Puts the new file in place of the program and starts it; the old file stays beside it until the
// new program has started, and goes back in place when it does not.
void install(const QString &program, NewFile &fresh, const QString &version) {
    const QFileInfo target(program);
    const QString backup =
        target.dir().filePath(QStringLiteral(".") + target.fileName() + QStringLiteral(".old"));
    QFile::remove(backup); // left by an update that was cut short
    if (::link(QFile::encodeName(program).constData(), QFile::encodeName(backup).constData()) != 0 &&
        !QFile::copy(program, backup))
        throw AppError(
            QStringLiteral("Не удалось сохранить прежнюю версию как «%1»: %2").arg(backup, systemError()));
    if (!renameOver(fresh.path, program)) {
        const QString reason = systemError();
        QFile::remove(backup);
        throw AppError(QStringLiteral("Не удалось заменить «%1»: %2").arg(program, reason));
    }
    fresh.keep = true; // it is the program now

    QString why;
    if (startConfirmed(program, &why)) {
        QFile::remove(backup);
        return;
    }
    const QString reason = QStringLiteral("версия %1 установлена, но %2").arg(version, why);
    if (!renameOver(backup, program))
        throw UpdateFailure{
            reason + QStringLiteral("; вернуть прежнюю версию не удалось (%1), она сохранена как «%2»")
                         .arg(systemError(), backup),
            false};
    throw UpdateFailure{reason};
}

void update(const Options &options) {
    // Whatever is given must be a program of ours: the updater never overwrites another file.
    if (FileVersionNote(options.program).isEmpty())
        throw AppError(QStringLiteral("«%1» не является программой Velmora").arg(options.program));
    if (options.pid > 0)
        waitForProgramEnd(options.pid);

    Connection cn;
    cn.open(DatabaseLocation());
    Schema::check(cn);
    const QString newest = NewestProgramVersion(cn);
    if (newest.isEmpty())
        throw AppError(QStringLiteral("В базе данных нет опубликованной версии программы"));
    if (GetFileVersionKey(options.program) == newest) {
        cn.close();
        if (!QProcess::startDetached(options.program, {}, QFileInfo(options.program).absolutePath()))
            throw AppError(QStringLiteral("Программа «%1» не запускается").arg(options.program));
        return;
    }
    NewFile fresh;
    writeBeside(cn, options.program, newest, fresh);
    cn.close();
    // The new file is what will run: it must be a program of that version that starts.
    CheckProgramFile(fresh.path, ProgramKind::Program, newest);
    install(options.program, fresh, newest);
}

Options parse(const QStringList &args) {
    Options o;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == u"--pid" && i + 1 < args.size()) {
            bool ok = false;
            o.pid = args[++i].toLongLong(&ok);
            if (!ok || o.pid <= 0)
                throw AppError(QStringLiteral("после --pid нужен номер процесса"));
        } else if (a == u"--program" && i + 1 < args.size()) {
            o.program = QFileInfo(args[++i]).absoluteFilePath();
        } else {
            throw AppError(QStringLiteral("неизвестный параметр: %1").arg(a));
        }
    }
    if (o.program.isEmpty())
        throw AppError(QStringLiteral("не указана программа (--program ПУТЬ)"));
    return o;
}

// Why the update failed: on standard error, in the log, and in a box when a display is there.
void report(const UpdateFailure &failure, bool box) {
    const QString text =
        failure.oldKept ? QStringLiteral("Обновление программы не выполнено: %1. Прежняя версия оставлена.")
                              .arg(failure.reason)
                        : QStringLiteral("Обновление программы не выполнено: %1.").arg(failure.reason);
    printError(text);
    try {
        WriteAppLog(text);
    } catch (const AppError &e) {
        printError(e.message());
    }
    if (box)
        QMessageBox::critical(nullptr, QStringLiteral("Ошибка"), text);
}

} // namespace

int main(int argc, char **argv) {
    ReadTimeZoneOnce();
    KeepFilesPrivate();
    // A display may be announced and still be out of reach: the offscreen platform then takes
    // over, and the reason goes to the log alone.
    const bool display = hasDisplay();
    if (display && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb;wayland;offscreen");
    std::unique_ptr<QCoreApplication> app;
    if (display)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Korvant"));
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
    const bool box = display && QGuiApplication::platformName() != u"offscreen";

    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args == QStringList{QStringLiteral("--version")}) {
        std::printf("velmora-update %s\n", qPrintable(GetFileVersionText(false)));
        return 0;
    }
    Options options;
    try {
        options = parse(args);
    } catch (const AppError &e) {
        printError(e.message());
        printError(QStringLiteral(
            "использование: velmora-update --pid НОМЕР --program ПУТЬ (запускается программой Velmora)"));
        return ExitUsage;
    }

    InstallServer();
    try {
        update(options);
    } catch (const UpdateFailure &e) {
        report(e, box);
        return ExitFailed;
    } catch (const AppError &e) {
        report({e.message()}, box);
        return ExitFailed;
    } catch (const std::exception &e) {
        report({QString::fromLocal8Bit(e.what())}, box);
        return ExitFailed;
    }
    return 0;
}
