// velmora-update: installs the newest program version kept in the database.
//
//   update --pid N --program PATH
//
// The program writes this updater beside itself (or into the user's data folder) when the
// database asks for another version, starts it with its own process id and path, and ends. The
// updater waits for that process to end, reads the newest version's image from the database named
// by the same setting the program uses ($VELMORA_DATABASE, the settings file, the embedded file),
// checks it, puts it in place of the program (a new file in the same folder, renamed over the old
// one, so that the old program stays whole until the new one is there), starts the new program and
// ends. When anything fails the old program stays, and the updater says why: in a message box when
// a display is there, always in its log file beside itself and on standard error.

#include "Connection.h"
#include "Errors.h"
#include "ProgramVersions.h"
#include "Server.h"
#include "Settings.h"
#include "TessalLog.h"
#include "TessalSystem.h"
#include "TessalVersionInfo.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryFile>
#include <QThread>

#include <cerrno>
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

// Puts `image` in place of `program`: a new file in the same folder, written out and made
// executable with the old file's permissions, then renamed over the old one in one step.
void install(const QString &program, const QByteArray &image) {
    const QFileInfo target(program);
    QTemporaryFile file(
        target.dir().filePath(QStringLiteral(".") + target.fileName() + QStringLiteral(".XXXXXX")));
    if (!file.open())
        throw AppError(QStringLiteral("Нельзя создать файл в папке «%1»: %2")
                           .arg(target.absolutePath(), file.errorString()));
    if (file.write(image) != image.size() || !file.flush() || ::fsync(file.handle()) != 0)
        throw AppError(QStringLiteral("Не удалось записать новую версию в «%1»: %2")
                           .arg(file.fileName(), file.errorString()));
    const QFileDevice::Permissions executable = QFileDevice::ExeOwner | QFileDevice::ExeUser |
                                                QFileDevice::ReadOwner | QFileDevice::ReadUser |
                                                QFileDevice::WriteOwner | QFileDevice::WriteUser;
    if (!file.setPermissions(target.permissions() | executable))
        throw AppError(QStringLiteral("Не удалось сделать исполняемым «%1»: %2")
                           .arg(file.fileName(), file.errorString()));
    file.close();
    if (::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(program).constData()) != 0)
        throw AppError(QStringLiteral("Не удалось заменить «%1»: %2")
                           .arg(program, QString::fromLocal8Bit(std::strerror(errno))));
    file.setAutoRemove(false); // it is the program now
}

void update(const Options &options) {
    // Whatever is given must be a program of ours: the updater never overwrites another file.
    if (FileVersionNote(options.program).isEmpty())
        throw AppError(QStringLiteral("«%1» не является программой Velmora").arg(options.program));
    if (options.pid > 0)
        waitForProgramEnd(options.pid);

    Connection cn;
    cn.open(DatabaseLocation());
    const QString newest = NewestProgramVersion(cn);
    if (newest.isEmpty())
        throw AppError(QStringLiteral("В базе данных нет опубликованной версии программы"));
    if (GetFileVersionKey(options.program) != newest) {
        const QByteArray image = StoredProgram(cn, newest);
        CheckProgramImage(image, newest);
        install(options.program, image);
    }
    cn.close();

    if (!QProcess::startDetached(options.program, {}, QFileInfo(options.program).absolutePath()))
        throw AppError(QStringLiteral("Версия %1 установлена, но программа «%2» не запускается")
                           .arg(newest, options.program));
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
void report(const QString &reason, bool box) {
    const QString text =
        QStringLiteral("Обновление программы не выполнено: %1. Прежняя версия оставлена.").arg(reason);
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
    } catch (const AppError &e) {
        report(e.message(), box);
        return ExitFailed;
    } catch (const std::exception &e) {
        report(QString::fromLocal8Bit(e.what()), box);
        return ExitFailed;
    }
    return 0;
}
