// velmora-db journal: the database's change journal as tab-separated rows, newest first, in the
// program's words; --purge removes the entries older than the kept months, --keep sets them.

#include "server/Journal.h"
#include "ToolText.h"
#include "data/Connection.h"
#include "data/Errors.h"

#include <QDateTime>
#include <cstdio>
#include <functional>
#include <limits>

void OpenToolDatabase(Connection &cn, const QString &url); // velmora-db.cpp: schema check included

namespace {

QString cellText(QString s) {
    return s.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'\t', QStringLiteral("\\t"))
        .replace(u'\n', QStringLiteral("\\n"))
        .replace(u'\r', QStringLiteral("\\r"));
}

QDateTime parseDate(const QString &text) {
    for (const char *format : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd", "dd.MM.yyyy"}) {
        const QDateTime dt = QDateTime::fromString(text.trimmed(), QString::fromLatin1(format));
        if (dt.isValid())
            return dt;
        const QDate d = QDate::fromString(text.trimmed(), QString::fromLatin1(format));
        if (d.isValid())
            return d.startOfDay();
    }
    return {};
}

} // namespace

// Throws AppError for a bad value; `usage` is called for a wrong command line.
int JournalCommand(const QString &url, const QStringList &args,
                   const std::function<void(const QString &)> &usage) {
    Journal::Filter f;
    bool purge = false;
    int keep = 0;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                usage(QStringLiteral("после %1 нужно значение").arg(a));
            return args[++i];
        };
        if (a == u"--since") {
            const QString v = value();
            f.since = parseDate(v);
            if (!f.since.isValid())
                throw AppError(QStringLiteral("Дата %1 не распознана; пишите ГГГГ-ММ-ДД").arg(quoteInput(v)));
        } else if (a == u"--user") {
            f.person = value();
        } else if (a == u"--table") {
            f.table = value();
            bool known = false;
            for (const auto &[table, caption] : Journal::Tables())
                if (table.compare(f.table, Qt::CaseInsensitive) == 0) {
                    f.table = table;
                    known = true;
                }
            if (!known) {
                QStringList names;
                for (const auto &t : Journal::Tables())
                    names << t.first;
                throw AppError(QStringLiteral("Таблица %1 не ведётся в журнале; ведутся: %2")
                                   .arg(quoteInput(f.table), names.join(QStringLiteral(", "))));
            }
        } else if (a == u"--key") {
            const QString v = value();
            bool ok = false;
            const qint64 key = v.toLongLong(&ok);
            if (!ok)
                throw AppError(QStringLiteral("Ключ %1 — не целое число").arg(quoteInput(v)));
            f.key = key;
        } else if (a == u"--purge") {
            purge = true;
        } else if (a == u"--keep") {
            const QString v = value();
            bool ok = false;
            keep = v.toInt(&ok);
            if (!ok || keep < 1)
                throw AppError(
                    QStringLiteral("После --keep нужно целое число месяцев не меньше одного, а не %1")
                        .arg(quoteInput(v)));
        } else {
            usage(QStringLiteral("неизвестный параметр команды journal: %1").arg(quoteInput(a)));
        }
    }
    Connection cn;
    OpenToolDatabase(cn, url);
    if (keep > 0) {
        Journal::SetKeepMonths(cn, keep);
        WriteText(stderr, QStringLiteral("Журнал хранится месяцев: %1\n").arg(keep));
    }
    if (purge) {
        const int removed = Journal::Purge(cn);
        WriteText(stderr, QStringLiteral("Удалено записей журнала старше %1 мес.: %2\n")
                              .arg(Journal::KeepMonths(cn))
                              .arg(removed));
        return 0;
    }
    if (keep > 0)
        return 0;
    f.limit = std::numeric_limits<int>::max();
    const ResultSet rs = Journal::Read(cn, f);
    WriteText(stdout, QStringLiteral("Stamp\tPerson\tTableName\tRowKey\tWhat\tAct\tChange\n"));
    for (const auto &r : rs.rows)
        WriteText(stdout, QStringList{r[1].toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                      cellText(r[2].toString()), r[3].toString(), r[4].toString(),
                                      cellText(r[5].toString()), r[6].toString(), cellText(r[7].toString())}
                                  .join(u'\t') +
                              u'\n');
    return 0;
}
