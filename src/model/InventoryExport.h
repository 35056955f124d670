// The inventory written out as a spreadsheet in the columns the import reads (InventoryColumns):
// a CSV file (UTF-8 with a byte-order mark, ";" between values, so that a Russian spreadsheet
// program opens it as it is) or an .xlsx workbook with real dates and numbers. One row per element;
// a device without elements, a workplace without devices and a department without either get a
// row of their own, so that importing the file into an empty database and exporting it again
// gives the same file.
#pragma once

#include <QString>
#include <functional>

class Connection;

struct ExportOptions {
    // What to write: empty for the whole inventory, else the branch of the placement tree under a
    // department ("D15"), a workplace ("W3") or a device ("V7").
    QString branch;
    // Told how far the export has gone (thousandths); false cancels it, leaving no file.
    std::function<bool(int permille)> progress;
};

// Writes the file (.xlsx by its name, CSV otherwise) and returns the number of rows below the
// headings; throws AppError when it cannot be written, and when cancelled.
int ExportInventory(Connection &cn, const QString &path, const ExportOptions &options = {});
