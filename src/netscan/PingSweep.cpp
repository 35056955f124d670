#include "netscan/PingSweep.h"

#include "data/Connection.h"
#include "data/Errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
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

    // The flags are written in small batches, one transaction each: a commit per device would make
    // a thousand devices wait on a thousand disk syncs. A batch goes out when it is full, when its
    // oldest flag has waited a quarter of a second, and at the end.
    struct Flag {
        int index;
        bool onLine;
    };
    std::vector<Flag> pending;
    QElapsedTimer pendingSince;
    int finished = 0, written = 0;
    // The flag alone: a whole-row write would undo what another workstation saved meanwhile.
    auto write = [&](const Flag &f) {
        cn.execute(QStringLiteral("UPDATE DeviceUnit SET OnLine = :V WHERE IdDevice = :ID"),
                   {{QStringLiteral("V"), f.onLine}, {QStringLiteral("ID"), keys[f.index]}});
    };
    auto flush = [&] {
        if (pending.empty())
            return;
        try {
            Transaction tx(cn);
            for (const Flag &f : pending)
                write(f);
            tx.commit();
        } catch (const DatabaseError &) {
            // The batch was rolled back: its flags go one by one, so that every flag before the
            // one that cannot be written is kept, and the message names that one.
            for (const Flag &f : pending) {
                try {
                    write(f);
                } catch (const DatabaseError &e) {
                    throw AppError(QStringLiteral("Проверка прервана: отметку «в сети» устройства %1 не "
                                                  "удалось записать (%2). Отметки, записанные до этого (%3 "
                                                  "из %4), сохранены")
                                       .arg(quoteInput(hosts[f.index]), e.message())
                                       .arg(written)
                                       .arg(total));
                }
                ++written;
            }
            pending.clear();
            return;
        }
        written += int(pending.size());
        pending.clear();
    };
    auto flushWhenDue = [&] {
        if (pending.size() >= 256 || (!pending.empty() && pendingSince.elapsed() >= 250))
            flush();
    };

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
            if (pending.empty())
                pendingSince.start();
            pending.push_back({i, status == EchoStatus::Reply});
            m_lines[i + 1] = hosts[i] + QStringLiteral(": ") + statusWord(status) + u'.';
            if (lineChanged)
                lineChanged(i + 1);
            ++finished;
            if (progress)
                progress(finished, total);
            flushWhenDue();
        },
        [&] {
            flushWhenDue();
            if (idle)
                idle();
        });
    flush();
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
