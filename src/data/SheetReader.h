// Rows of a spreadsheet file read one at a time, never the whole file at once: a CSV text (UTF-8
// with or without a byte-order mark, or Windows-1251; separator ";", "," or tab; quoting with
// separators and line breaks inside quotes) or the first sheet of an .xlsx workbook.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class SheetReader {
public:
    virtual ~SheetReader();
    SheetReader(const SheetReader &) = delete;
    SheetReader &operator=(const SheetReader &) = delete;

    // Opens `path`, telling a workbook from a text by its contents; throws AppError (in Russian)
    // when the file cannot be read.
    static std::unique_ptr<SheetReader> open(const QString &path);

    // The next row's cells as texts; numbers as plain decimals with a point, date cells of a
    // workbook as dd.MM.yyyy. False at the end of the file; throws AppError on a broken file.
    virtual bool next(QStringList &cells) = 0;
    // The spreadsheet's number of the row `next` gave last (the first row is 1). A quoted line
    // break does not start a new row.
    int row() const { return m_row; }
    // How much of the file has been read, in thousandths.
    virtual int permille() const = 0;
    // What the file was read as, for the person: "CSV, Windows-1251, разделитель «;»".
    virtual QString format() const = 0;

protected:
    SheetReader() = default;
    int m_row = 0;
};

// The texts of a CSV row written with `separator`: quoted where a value needs it.
QString CsvRow(const QStringList &cells, QChar separator = u';');
