#pragma once

// The reports Velmora renders itself when no report server is set: the same ten reports, with the
// same parameters, read from the database and laid out as a title, the date, a table and page
// numbers. No widgets: the program previews and prints them, the admin tool writes PDF files.

#include <QDateTime>
#include <QStringList>
#include <QVector>

#include <vector>

class Connection;

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

// An element's code: its key in upper-case hexadecimal, at least four digits, never cut.
QString ElementCodeText(qint64 id);
