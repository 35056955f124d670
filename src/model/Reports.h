#pragma once

// The reports Velmora renders itself when no report server is set: the same ten reports, with the
// same parameters, read from the database and laid out as a title, the date, a table and page
// numbers. No widgets: the program previews and prints them, the admin tool writes PDF files.

#include <QDateTime>
#include <QStringList>
#include <QVector>

#include <vector>

class Connection;
class QPagedPaintDevice;

struct ReportColumn {
    QString title;
    double width = 1; // weight in sharing the room the texts leave on the page
    Qt::Alignment alignment = Qt::AlignLeft;
};

struct ReportTable {
    QString name;      // the report's name, e.g. "device"
    QString title;     // "Устройство «ПК бухгалтера»"
    QStringList lines; // under the title: what the report is about
    QVector<ReportColumn> columns;
    std::vector<QStringList> rows;
    QStringList totals; // under the table
    QDateTime made;
    bool landscape = false; // a table too wide for a portrait page
};

// The ten report names, in the order of the report table; the key's parameter of each ("" for a
// report without one).
QStringList ReportNames();
QString ReportParameter(const QString &name);

// Splits a report text as the views pass it ("device&rs:Command=Render&DV=42") into the name and
// the key (-1 without one). False for a text of no known report.
bool ParseReportText(const QString &text, QString *name, int *key);

// Reads a report from the database. AppError for an unknown report, a missing key, and a record
// that is not there (for example deleted on another workstation meanwhile).
ReportTable BuildReport(Connection &cn, const QString &name, int key = -1);

// Lays the report out on the device's pages: the title, the date and the lines on the first page,
// the column titles on every page, columns as wide as their texts need within the page and a text
// still too wide wrapped onto further lines (never cut), "Страница N из M" at each page's foot.
void RenderReport(const ReportTable &report, QPagedPaintDevice &device);
// Renders to a PDF file; AppError when the file cannot be written.
void WriteReportPdf(const ReportTable &report, const QString &path);

// The name a report's PDF file is offered under: the whole title (a date's dots and all) without
// the characters a file system refuses, ending in ".pdf".
QString ReportFileName(const QString &title);

// An element's code: its key in upper-case hexadecimal, at least four digits, never cut.
QString ElementCodeText(qint64 id);
