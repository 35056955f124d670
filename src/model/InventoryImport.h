// The inventory brought in from a spreadsheet (CSV or .xlsx): departments, workplaces, devices and
// their elements, with the kinds, models, firms and documents they name. Every row is checked
// first; any error and nothing is written. What is already in the database is found, not made
// again, so a second import of the same file changes nothing.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

class Connection;

// The columns of an inventory spreadsheet, in the order the export writes them.
namespace InventoryColumn {
enum Id {
    Department,
    Workplace,
    Device,
    DeviceKind,
    InventoryNumber,
    NetworkName,
    Kind,
    Model,
    Producer,
    Serial,
    Document,
    DocumentDate,
    Supplier,
    Price,
    Warranty,
    KindType,
    Count
};
}
const QStringList &InventoryColumns(); // the headings, by InventoryColumn::Id

// The column a heading names (case and е/ё aside), -1 for none.
int InventoryColumnOf(const QString &heading);

// What an import makes, finds and changes of each sort of row.
enum class ImportItem { Department, Workplace, Device, Element, Kind, Model, Firm, Document, Count };

struct ImportCount {
    int made = 0, found = 0, changed = 0;
};

struct ImportOptions {
    bool dryRun = false; // check and count, write nothing
    // Headings of the file read as one of the known columns: folded heading -> column heading.
    QHash<QString, QString> headings;
    // Told how far the import has gone (thousandths of the work); false cancels it.
    std::function<bool(int permille)> progress;
};

struct ImportResult {
    static constexpr int ShownErrors = 200;
    QStringList errors; // the first ShownErrors
    int errorCount = 0;
    int rows = 0; // rows of data read
    std::array<ImportCount, size_t(ImportItem::Count)> counts{};
    bool written = false;
    bool cancelled = false;
    QString format; // what the file was read as

    const ImportCount &count(ImportItem i) const { return counts[size_t(i)]; }
    // The errors as the person reads them, the count of the rest after the first 200.
    QString errorText() const;
    // "Подразделения: создано 2, найдено 1, изменено 0" and so on, a line each.
    QString summary() const;
};

// Imports `path` into the database. A file that cannot be read throws AppError; errors in its rows
// come back in the result. Writes in one transaction on `cn`, nothing when any row is wrong, when
// dryRun is set, or when the progress call cancels.
ImportResult ImportInventory(Connection &cn, const QString &path, const ImportOptions &options = {});
