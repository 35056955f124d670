#include "data/TessalLog.h"

#include "data/Errors.h"
#include "data/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMutex>
#include <QMutexLocker>
#include <QTime>

namespace {

QMutex logMutex;
QString logFileName;      // guarded by logMutex; empty until fixed
QString fallbackFileName; // the same

const QString crlf = QStringLiteral("\r\n");

// The user's long time format without its time-zone field: an entry records the local wall-clock
// time, and "09:41:07 MSK ]" would only add noise to every entry.
QString longTimeFormatWithoutZone(const QLocale &locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        result += c;
    }
    result = result.trimmed();
    return result.isEmpty() ? QStringLiteral("HH:mm:ss") : result;
}

// Any line break inside the text becomes CR LF, so every line of the file ends the same way.
QString withCrLf(const QString &text) {
    QString s = text;
    s.replace(crlf, QStringLiteral("\n"));
    s.replace(u'\r', u'\n');
    s.replace(QStringLiteral("\n"), crlf);
    return s;
}

} // namespace

QString MakeAppLogFileName(const QString &executablePath, const QDate &startDate) {
    const qsizetype slash = qMax(executablePath.lastIndexOf(u'/'), executablePath.lastIndexOf(u'\\'));
    const qsizetype dot = executablePath.lastIndexOf(u'.');
    const QString stem = dot > slash ? executablePath.left(dot) : executablePath;
    return stem + startDate.toString(QStringLiteral("yyMMdd")) + QStringLiteral(".log");
}

QString AppLogFileName() {
    QMutexLocker lock(&logMutex);
    if (logFileName.isEmpty())
        logFileName = MakeAppLogFileName(QCoreApplication::applicationFilePath(), QDate::currentDate());
    return logFileName;
}

void SetAppLogFileName(const QString &path) {
    QMutexLocker lock(&logMutex);
    logFileName = path;
}

QString AppLogFallbackFileName() {
    const QString name = QFileInfo(AppLogFileName()).fileName();
    QMutexLocker lock(&logMutex);
    if (fallbackFileName.isEmpty())
        fallbackFileName = UserDataFolder() + u'/' + name;
    return fallbackFileName;
}

void SetAppLogFallbackFileName(const QString &path) {
    QMutexLocker lock(&logMutex);
    fallbackFileName = path;
}

namespace {

constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions OwnerOnlyFolder = OwnerOnly | QFileDevice::ExeOwner;

// Appends the entry to one file; the reason it could not, or an empty text. A new file is made
// readable by its owner only, and so is an existing one: the log carries the driver's messages,
// which may name servers and accounts.
QString appendEntry(const QString &fileName, const QString &text) {
    const QLocale locale;
    const bool existed = QFileInfo::exists(fileName);
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append, OwnerOnly))
        return file.errorString();
    if (existed)
        file.setPermissions(OwnerOnly);

    QString entry;
    if (!existed)
        entry += QStringLiteral("Журнал приложения Velmora ") +
                 locale.toString(QDate::currentDate(), QLocale::ShortFormat) + crlf;
    entry += crlf;
    entry += locale.toString(QTime::currentTime(), longTimeFormatWithoutZone(locale)) + QStringLiteral(" ]") +
             QString(70, u'-') + crlf;
    entry += withCrLf(text) + crlf;

    const QByteArray bytes = entry.toUtf8();
    if (file.write(bytes) != bytes.size() || !file.flush())
        return file.errorString();
    file.close();
    return QString();
}

} // namespace

QString WriteAppLog(const QString &text) {
    const QString primary = AppLogFileName();
    const QString fallback = AppLogFallbackFileName();
    QMutexLocker lock(&logMutex);

    const QString reason = appendEntry(primary, text);
    if (reason.isEmpty())
        return primary;

    // The folder is made for the log alone when it is missing; an existing one is closed to
    // others as well, since the log lands there only when it cannot go beside the program.
    const QString folder = QFileInfo(fallback).absolutePath();
    if (QDir().mkpath(folder))
        QFile::setPermissions(folder, OwnerOnlyFolder);
    const QString fallbackReason = fallback == primary ? reason : appendEntry(fallback, text);
    if (fallbackReason.isEmpty())
        return fallback;
    throw AppError(QStringLiteral("Не удалось записать журнал приложения ни в «%1» (%2), ни в «%3» (%4)")
                       .arg(QFileInfo(primary).absoluteFilePath(), reason,
                            QFileInfo(fallback).absoluteFilePath(), fallbackReason));
}
