// velmora-db copy --to URL: the open database copied into an empty one (a SQLite file or a
// PostgreSQL database), with its progress on standard error and every table's row count on
// standard output, checked once more against the source after the copy has committed.

#include "ToolText.h"
#include "data/Connection.h"
#include "data/Errors.h"
#include "server/DatabaseCopy.h"

#include <cstdio>
#include <functional>

void OpenToolDatabase(Connection &cn, const QString &url); // velmora-db.cpp: schema check included

namespace {} // namespace

// Throws AppError when the copy is refused or fails; `usage` is called for a wrong command line.
int CopyCommand(const QString &url, const QStringList &args,
                const std::function<void(const QString &)> &usage) {
    QString to;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == u"--to" && i + 1 < args.size() && !args[i + 1].isEmpty())
            to = args[++i];
        else if (args[i].startsWith(QStringLiteral("--to=")) && args[i].size() > 5)
            to = args[i].mid(5);
        else
            usage(QStringLiteral("неизвестный параметр команды copy: %1").arg(quoteInput(args[i])));
    }
    if (to.isEmpty())
        usage(QStringLiteral("после --to нужен адрес базы данных, в которую копировать"));
    DatabaseUrl::parse(to); // a malformed address is refused before the source is opened

    Connection source;
    OpenToolDatabase(source, url);
    Connection target;
    target.open(to);
    const QString toText = redactedUrl(target.url().toString());
    WriteText(stderr,
              QStringLiteral("Копирование %1 в %2\n").arg(redactedUrl(source.url().toString()), toText));

    const auto counts = DatabaseCopy::copy(source, target, [](const DatabaseCopy::Progress &p) {
        if (p.rows == 0)
            WriteText(stderr, QStringLiteral("[%1/%2] %3: строк %4\n")
                                  .arg(p.tableNumber)
                                  .arg(p.tableCount)
                                  .arg(p.table)
                                  .arg(p.total));
        else if (p.rows % 100000 == 0 && p.rows < p.total)
            WriteText(stderr, QStringLiteral("[%1/%2] %3: %4 из %5\n")
                                  .arg(p.tableNumber)
                                  .arg(p.tableCount)
                                  .arg(p.table)
                                  .arg(p.rows)
                                  .arg(p.total));
    });
    target.close();

    // Counted again over a connection of its own: what another workstation now finds there.
    Connection check;
    check.open(to);
    const auto found = DatabaseCopy::countRows(check);
    WriteText(stdout, QStringLiteral("Table\tSource\tCopied\n"));
    QStringList differ;
    for (const DatabaseCopy::TableCount &c : counts) {
        qint64 copied = -1;
        for (const DatabaseCopy::TableCount &f : found)
            if (f.table.compare(c.table, Qt::CaseInsensitive) == 0)
                copied = f.target;
        WriteText(stdout, QStringLiteral("%1\t%2\t%3\n").arg(c.table).arg(c.source).arg(copied));
        if (copied != c.source)
            differ << c.table;
    }
    if (!differ.isEmpty())
        throw AppError(QStringLiteral("В базе данных %1 число строк не совпадает с источником в таблицах: %2")
                           .arg(toText, differ.join(QStringLiteral(", "))));
    WriteText(
        stderr,
        QStringLiteral("Готово: в %1 в каждой таблице столько же строк, сколько в источнике\n").arg(toText));
    return 0;
}
