// velmora-db ping and velmora-db scan-domain: the ping sweep and the domain account scan without a
// window, for an administrator's schedule. The log lines go to standard output one a line, in the
// order the window shows them; the database is written as the window writes it.
// velmora-db domains and velmora-db checklist-defaults: the list of domains to scan and the default
// lines of the setup checklist, as the users view's dialogs keep them.

#include "ToolText.h"
#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalString.h"
#include "netscan/DomainScan.h"
#include "netscan/PingSweep.h"
#include "server/Server.h"

#include <QDateTime>
#include <QFileInfo>

#include <cstdio>

void OpenToolDatabase(Connection &cn, const QString &url); // velmora-db.cpp: schema check included

namespace {

void print(const QString &line) {
    WriteText(stdout, line + u'\n');
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
    const ResultSet rs =
        cn.query(QStringLiteral("SELECT Domain, Controller, BindAccount FROM DomainController"));
    for (const auto &row : rs.rows) {
        if (row[0].toString().trimmed().compare(domain, Qt::CaseInsensitive) != 0)
            continue;
        DomainScan scan;
        scan.addLine = print;
        const QString name = row[0].toString().trimmed();
        scan.run(cn, name, row[1].toString().trimmed(), DirectoryOptions::forDomain(name, row[2].toString()));
        return 0;
    }
    if (rs.rows.empty())
        throw AppError(QStringLiteral("Список контроллеров домена пуст: добавьте домен командой "
                                      "«velmora-db domains add ДОМЕН КОНТРОЛЛЕР[:ПОРТ]» или в программе "
                                      "(вкладка «Пользователи», кнопка «Настройка», «Контроллеры домена»)"));
    throw AppError(QStringLiteral("Домен «%1» не найден в списке контроллеров домена").arg(domain));
}

void printCells(const QStringList &cells) {
    print(cells.join(u'\t'));
}

// velmora-db domains [add DOMAIN CONTROLLER [BIND-ACCOUNT] | remove DOMAIN]
int domains(const QString &url, const QStringList &args) {
    const QString verb = args.value(0);
    if (!(args.isEmpty() || (verb == u"add" && (args.size() == 3 || args.size() == 4)) ||
          (verb == u"remove" && args.size() == 2)))
        throw AppError(QStringLiteral("команда domains: без значений — список доменов; «add ДОМЕН "
                                      "КОНТРОЛЛЕР[:ПОРТ] [УЧЁТНАЯ_ЗАПИСЬ]» — добавить; «remove ДОМЕН» — "
                                      "удалить"));
    Connection cn;
    openDatabase(cn, url);
    PrepareDatabase(cn);
    if (verb == u"add") {
        DataSet save(&cn);
        save.setCommand(QStringLiteral("DomainControllerSave;1"), CommandType::StoredProc);
        save.setParameterValue(QStringLiteral("@ID"), QVariant());
        save.setParameterValue(QStringLiteral("@DM"), args[1]);
        save.setParameterValue(QStringLiteral("@DC"), args[2]);
        save.setParameterValue(QStringLiteral("@BA"), args.value(3));
        save.execProc();
        return 0;
    }
    const ResultSet rs = cn.query(
        QStringLiteral("SELECT ID, Domain, Controller, BindAccount FROM DomainController ORDER BY ID"));
    if (verb == u"remove") {
        for (const auto &row : rs.rows)
            if (FoldText(row[1].toString().trimmed()) == FoldText(args[1].trimmed())) {
                cn.execute(QStringLiteral("DELETE FROM DomainController WHERE ID = :ID"),
                           {{QStringLiteral("ID"), row[0]}});
                return 0;
            }
        throw AppError(
            QStringLiteral("Домен %1 не найден в списке контроллеров домена").arg(quoteInput(args[1])));
    }
    printCells({QStringLiteral("ID"), QStringLiteral("Domain"), QStringLiteral("Controller"),
                QStringLiteral("BindAccount")});
    for (const auto &row : rs.rows)
        printCells({row[0].toString(), row[1].toString(), row[2].toString(), row[3].toString()});
    return 0;
}

// velmora-db checklist-defaults [add LINE heading|item TEXT | remove LINE]
int checklistDefaults(const QString &url, const QStringList &args) {
    const QString verb = args.value(0);
    const QString usage =
        QStringLiteral("команда checklist-defaults: без значений — строки бланка по умолчанию; «add НОМЕР "
                       "heading|item ТЕКСТ» — добавить заголовок или пункт; «remove НОМЕР» — удалить строки "
                       "с этим номером");
    if (!(args.isEmpty() || (verb == u"add" && args.size() == 4) || (verb == u"remove" && args.size() == 2)))
        throw AppError(usage);
    int line = 0;
    if (!args.isEmpty()) {
        bool ok = false;
        line = args[1].toInt(&ok);
        if (!ok || line < 1)
            throw AppError(QStringLiteral("Номер строки бланка %1: нужно целое число больше нуля")
                               .arg(quoteInput(args[1])));
    }
    if (verb == u"add" && args[2] != u"heading" && args[2] != u"item")
        throw AppError(usage);
    if (verb == u"add" && args[3].trimmed().isEmpty())
        throw AppError(QStringLiteral("Укажите текст строки бланка"));
    Connection cn;
    openDatabase(cn, url);
    PrepareDatabase(cn);
    if (verb == u"add") {
        cn.execute(QStringLiteral("INSERT INTO UserInstallDefault (Line, Title, Name) VALUES (:L, :T, :N)"),
                   {{QStringLiteral("L"), line},
                    {QStringLiteral("T"), args[2] == u"heading"},
                    {QStringLiteral("N"), args[3].trimmed()}});
        return 0;
    }
    if (verb == u"remove") {
        if (cn.execute(QStringLiteral("DELETE FROM UserInstallDefault WHERE Line = :L"),
                       {{QStringLiteral("L"), line}}) == 0)
            throw AppError(QStringLiteral("Строки бланка с номером %1 нет").arg(line));
        return 0;
    }
    const ResultSet rs =
        cn.query(QStringLiteral("SELECT Line, Title, Name FROM UserInstallDefault ORDER BY Line, ID"));
    printCells({QStringLiteral("Line"), QStringLiteral("Kind"), QStringLiteral("Name")});
    for (const auto &row : rs.rows)
        printCells({row[0].toString(), row[1].toBool() ? QStringLiteral("heading") : QStringLiteral("item"),
                    row[2].toString()});
    return 0;
}

} // namespace

// Called by velmora-db's command dispatch.
int NetworkCommand(const QString &command, const QString &url, const QStringList &args) {
    if (command == u"domains")
        return domains(url, args);
    if (command == u"checklist-defaults")
        return checklistDefaults(url, args);
    return command == u"ping" ? ping(url, args) : scanDomain(url, args);
}
