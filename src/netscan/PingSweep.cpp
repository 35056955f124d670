#include "PingSweep.h"

#include "Connection.h"
#include "Errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

QString PingSweep::statusWord(EchoStatus status) {
    switch (status) {
    case EchoStatus::Reply:
        return QStringLiteral("on-line");
    case EchoStatus::NoReply:
        return QStringLiteral("off-line");
    default:
        return QStringLiteral("not host");
    }
}

void PingSweep::run(Connection &cn) {
    m_lines.clear();
    const ResultSet rs =
        cn.query(QStringLiteral("select IdDevice, Domain, OnLine, PreventionNeed from DeviceUnit "
                                "where ( not Domain is null ) order by Domain"));
    const int total = int(rs.rows.size());
    QStringList hosts;
    QVector<QVariant> keys;
    hosts.reserve(total);
    keys.reserve(total);
    for (const auto &row : rs.rows) {
        keys << row[0];
        hosts << row[1].toString();
    }
    m_lines << QStringLiteral("Всего устройств: %1.").arg(total);
    if (lineChanged)
        lineChanged(0);
    if (progress)
        progress(0, total);

    int finished = 0;
    IcmpEcho echo;
    echo.timeoutMs = timeoutMs;
    echo.maxInFlight = maxInFlight;
    echo.retries = retries;
    echo.run(
        hosts,
        [&](int i) {
            m_lines << hosts[i];
            if (lineChanged)
                lineChanged(i + 1);
        },
        [&](int i, EchoStatus status) {
            // The flag alone: a whole-row write would undo what another workstation saved meanwhile.
            try {
                cn.execute(
                    QStringLiteral("UPDATE DeviceUnit SET OnLine = :V WHERE IdDevice = :ID"),
                    {{QStringLiteral("V"), status == EchoStatus::Reply}, {QStringLiteral("ID"), keys[i]}});
            } catch (const DatabaseError &e) {
                throw AppError(QStringLiteral("Проверка прервана: отметку «в сети» устройства %1 не удалось "
                                              "записать (%2). Отметки, записанные до этого (%3 из %4), "
                                              "сохранены")
                                   .arg(quoteInput(hosts[i]), e.message())
                                   .arg(finished)
                                   .arg(total));
            }
            m_lines[i + 1] = hosts[i] + QStringLiteral(": ") + statusWord(status) + u'.';
            if (lineChanged)
                lineChanged(i + 1);
            ++finished;
            if (progress)
                progress(finished, total);
        },
        idle);
}

QString PingSweep::writeLog(const QDateTime &at, const QString &folder) {
    const QString name = PingLogFileName(folder.isEmpty() ? PingLogFolder() : folder, at);
    QByteArray text;
    for (const QString &line : std::as_const(m_lines))
        text += line.toUtf8() + "\r\n";
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size() ||
        !file.flush())
        throw AppError(QStringLiteral("Не удалось записать журнал «%1»: %2").arg(name, file.errorString()));
    file.close();
    m_lines << QStringLiteral("Журнал записан в %1.").arg(name);
    return name;
}

QString PingLogFileName(const QString &folder, const QDateTime &at) {
    return QDir(folder).filePath(
        QStringLiteral("SC[%1].log").arg(at.toString(QStringLiteral("yyyy.MM.dd HH=mm"))));
}

QString PingLogFolder() {
    const QString exe = QCoreApplication::applicationDirPath();
    if (!exe.isEmpty() && QFileInfo(exe).isWritable())
        return exe;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return data;
}
