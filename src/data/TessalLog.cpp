#include "TessalLog.h"

#include "Errors.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMutex>
#include <QMutexLocker>
#include <QTime>

namespace {

QMutex logMutex;
QString logFileName; // guarded by logMutex; empty until fixed

const QString crlf = QStringLiteral("\r\n");

// The user's long time format without its time-zone field: an entry records the local wall-clock
// time, and "09:41:07 MSK ]" would only add noise to every entry.
QString longTimeFormatWithoutZone(const QLocale &locale)
{
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
QString withCrLf(const QString &text)
{
    QString s = text;
    s.replace(crlf, QStringLiteral("\n"));
    s.replace(u'\r', u'\n');
    s.replace(QStringLiteral("\n"), crlf);
    return s;
}

} // namespace

QString MakeAppLogFileName(const QString &executablePath, const QDate &startDate)
{
    const qsizetype slash = qMax(executablePath.lastIndexOf(u'/'), executablePath.lastIndexOf(u'\\'));
    const qsizetype dot = executablePath.lastIndexOf(u'.');
    const QString stem = dot > slash ? executablePath.left(dot) : executablePath;
    return stem + startDate.toString(QStringLiteral("yyMMdd")) + QStringLiteral(".log");
}

QString AppLogFileName()
{
    QMutexLocker lock(&logMutex);
    if (logFileName.isEmpty())
        logFileName = MakeAppLogFileName(QCoreApplication::applicationFilePath(), QDate::currentDate());
    return logFileName;
}

void SetAppLogFileName(const QString &path)
{
    QMutexLocker lock(&logMutex);
    logFileName = path;
}

void WriteAppLog(const QString &text)
{
    const QString fileName = AppLogFileName();
    QMutexLocker lock(&logMutex);

    const QLocale locale;
    const bool existed = QFileInfo::exists(fileName);
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw AppError(QStringLiteral("Не удалось открыть журнал приложения «%1»: %2")
                           .arg(QFileInfo(fileName).absoluteFilePath(), file.errorString()));

    QString entry;
    if (!existed)
        entry += QStringLiteral("Журнал приложения Velmora ")
                 + locale.toString(QDate::currentDate(), QLocale::ShortFormat) + crlf;
    entry += crlf;
    entry += locale.toString(QTime::currentTime(), longTimeFormatWithoutZone(locale)) + QStringLiteral(" ]")
             + QString(70, u'-') + crlf;
    entry += withCrLf(text) + crlf;

    const QByteArray bytes = entry.toUtf8();
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.close();
        throw AppError(QStringLiteral("Не удалось записать журнал приложения «%1»: %2")
                           .arg(QFileInfo(fileName).absoluteFilePath(), reason));
    }
    file.close();
}
