// velmora-db import and export: the inventory from and to a spreadsheet (CSV or .xlsx).

#include "ToolText.h"
#include "data/Connection.h"
#include "data/Errors.h"
#include "model/InventoryExport.h"
#include "model/InventoryImport.h"

#include <QFileInfo>
#include <cstdio>
#include <functional>

void OpenToolDatabase(Connection &cn, const QString &url); // velmora-db.cpp: schema check included

namespace {} // namespace

// Exit status 0 when the file was imported (or, with --dry-run, would be), 1 when its rows hold
// errors, which go to standard error.
int ImportCommand(const QString &url, const QStringList &args,
                  const std::function<void(const QString &)> &usage) {
    QString file;
    ImportOptions options;
    for (const QString &a : args) {
        if (a == u"--dry-run")
            options.dryRun = true;
        else if (a.startsWith(u"--"))
            usage(QStringLiteral("неизвестный параметр: %1").arg(quoteInput(a)));
        else if (file.isEmpty())
            file = a;
        else
            usage(QStringLiteral("лишний параметр: %1").arg(quoteInput(a)));
    }
    if (file.isEmpty())
        usage(QStringLiteral("не указан файл для загрузки"));
    Connection cn;
    OpenToolDatabase(cn, url);
    const ImportResult r = ImportInventory(cn, file, options);
    WriteText(stdout, QStringLiteral("%1: %2, строк с данными: %3\n")
                          .arg(QFileInfo(file).fileName(), r.format)
                          .arg(r.rows));
    if (r.errorCount > 0) {
        WriteText(stderr, r.errorText() + u'\n');
        WriteText(stderr, QStringLiteral("Ничего не записано.\n"));
        return 1;
    }
    WriteText(stdout, r.summary() + u'\n');
    WriteText(stdout,
              r.written ? QStringLiteral("Записано.\n") : QStringLiteral("Проверено; ничего не записано.\n"));
    return 0;
}

int ExportCommand(const QString &url, const QStringList &args,
                  const std::function<void(const QString &)> &usage) {
    if (args.size() != 1 || args.front().startsWith(u"--"))
        usage(QStringLiteral("нужен один параметр: файл .csv или .xlsx"));
    const QString file = args.front();
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix != u"csv" && suffix != u"xlsx")
        usage(QStringLiteral("файл должен называться .csv или .xlsx: %1").arg(quoteInput(file)));
    Connection cn;
    OpenToolDatabase(cn, url);
    const int rows = ExportInventory(cn, file);
    WriteText(stdout, QStringLiteral("%1: строк %2\n").arg(QFileInfo(file).fileName()).arg(rows));
    return 0;
}
