// velmora-db ping and velmora-db scan-domain: the ping sweep and the domain account scan without a
// window, for an administrator's schedule. The log lines go to standard output one a line, in the
// order the window shows them; the database is written as the window writes it.

#include "Connection.h"
#include "DomainScan.h"
#include "Errors.h"
#include "PingSweep.h"

#include <QDateTime>
#include <QFileInfo>

#include <cstdio>

void OpenToolDatabase(Connection &cn, const QString &url); // velmora-db.cpp: schema check included

namespace {

void print(const QString &line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void openDatabase(Connection &cn, const QString &url) {
    OpenToolDatabase(cn, url);
}

int ping(const QString &url, const QStringList &args) {
    bool log = false;
    for (const QString &a : args) {
        if (a != u"--log")
            throw AppError(
                QStringLiteral("неизвестный параметр команды ping: %1 (есть только --log)").arg(a));
        log = true;
    }
    Connection cn;
    openDatabase(cn, url);
    PingSweep sweep;
    // A line is printed once it and every line above it are finished, so the output keeps the
    // order of the names while the echoes run side by side.
    int printed = 0;
    auto finished = [&](int i) {
        const QString &line = sweep.lines()[i];
        return i == 0 || line.endsWith(QStringLiteral(": on-line.")) ||
               line.endsWith(QStringLiteral(": off-line.")) || line.endsWith(QStringLiteral(": not host."));
    };
    sweep.lineChanged = [&](int) {
        while (printed < sweep.lines().size() && finished(printed))
            print(sweep.lines()[printed++]);
    };
    sweep.run(cn);
    if (log) {
        sweep.writeLog(QDateTime::currentDateTime());
        print(sweep.lines().back());
    }
    return 0;
}

int scanDomain(const QString &url, const QStringList &args) {
    if (args.size() != 1)
        throw AppError(QStringLiteral("после scan-domain нужно имя домена из списка контроллеров домена"));
    const QString domain = args.front().trimmed();
    DomainScan::checkDomain(domain);
    Connection cn;
    openDatabase(cn, url);
    const ResultSet rs = cn.query(QStringLiteral("SELECT Domain, Controller FROM DomainController"));
    for (const auto &row : rs.rows) {
        if (row[0].toString().trimmed().compare(domain, Qt::CaseInsensitive) != 0)
            continue;
        DomainScan scan;
        scan.addLine = print;
        const QString name = row[0].toString().trimmed();
        scan.run(cn, name, row[1].toString().trimmed(), DirectoryOptions::forDomain(name));
        return 0;
    }
    throw AppError(QStringLiteral("Домен «%1» не найден в списке контроллеров домена").arg(domain));
}

} // namespace

// Called by velmora-db's command dispatch.
int NetworkCommand(const QString &command, const QString &url, const QStringList &args) {
    return command == u"ping" ? ping(url, args) : scanDomain(url, args);
}
