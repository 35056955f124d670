#include "data/TessalSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <climits>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

QString LocalComputerName() {
    return QSysInfo::machineHostName();
}

void KeepFreedMemoryForReuse() {
#if defined(__GLIBC__)
    // By default the allocator maps every block above a threshold on its own and unmaps it when
    // freed, and gives the top of the heap back once more than a little of it is free. A tree or a
    // list of a hundred thousand rows then pays for its memory twice on every reload. Blocks up to
    // 32 MB come from the heap, and up to 128 MB of freed heap stays with the process.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
    // Small freed blocks are merged with their neighbours as they are freed, instead of piling up
    // unmerged in the "fast bins" until the next large request merges them all at once: freeing
    // a list of a hundred thousand rows otherwise leaves that work to the middle of the next read.
    // The per-thread cache still serves the sizes in use without any merging.
    mallopt(M_MXFAST, 0);
#endif
}

void KeepFilesPrivate() {
    ::umask(::umask(0) | S_IRWXG | S_IRWXO);
}

void ReadTimeZoneOnce() {
    if (qEnvironmentVariableIsSet("TZ"))
        return;
    // ":file" names a zone file; the system's own is what an unset TZ would have read.
    if (QFileInfo::exists(QStringLiteral("/etc/localtime")))
        qputenv("TZ", ":/etc/localtime");
}

namespace {

// The kernel keeps at most this many characters of a process's command name.
constexpr qsizetype commandNameLength = 15;

QString fileNameOf(const QString &path) {
    return path.mid(path.lastIndexOf(u'/') + 1);
}

// The file name of a process's executable; from its command name when the executable link
// cannot be read. `truncated` tells that the name may be cut to the kernel's length.
QString processFileName(qint64 pid, bool *truncated) {
    *truncated = false;
    const QByteArray link = QByteArray("/proc/") + QByteArray::number(pid) + "/exe";
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(link.constData(), buffer, sizeof buffer);
    if (n > 0 && size_t(n) < sizeof buffer) {
        QString target = QString::fromLocal8Bit(buffer, qsizetype(n));
        const QString deleted = QStringLiteral(" (deleted)");
        if (target.endsWith(deleted))
            target.chop(deleted.size());
        return fileNameOf(target);
    }

    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return QString();
    const QString name = QString::fromLocal8Bit(comm.readAll()).trimmed();
    *truncated = name.size() >= commandNameLength;
    return name;
}

// The names a process may bear to match `name`: the file name itself and, for "X.exe", also "X".
QStringList acceptedNames(const QString &name) {
    QStringList names{fileNameOf(name)};
    const QString suffix = QStringLiteral(".exe");
    if (names.first().endsWith(suffix, Qt::CaseInsensitive) && names.first().size() > suffix.size())
        names << names.first().chopped(suffix.size());
    return names;
}

bool processBears(qint64 pid, const QStringList &names) {
    bool truncated = false;
    const QString own = processFileName(pid, &truncated);
    if (own.isEmpty())
        return false;
    for (const QString &n : names) {
        const QString wanted = truncated ? n.left(own.size()) : n;
        if (own.compare(wanted, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

QList<qint64> ProcessesByName(const QString &name) {
    QList<qint64> result;
    const QStringList names = acceptedNames(name);
    if (names.first().isEmpty())
        return result;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (ok && pid > 0 && processBears(pid, names))
            result << pid;
    }
    return result;
}

bool TerminateProcessesByName(const QString &name) {
    const QStringList names = acceptedNames(name);
    if (names.first().isEmpty() || !processBears(qint64(::getpid()), names))
        return false;
    std::fflush(nullptr);
    ::_exit(0);
}

namespace {
std::function<QDateTime()> &programClock() {
    static std::function<QDateTime()> clock;
    return clock;
}
} // namespace

QDateTime ProgramNow() {
    return programClock() ? programClock()() : QDateTime::currentDateTime();
}

void SetProgramClock(std::function<QDateTime()> clock) {
    programClock() = std::move(clock);
}
