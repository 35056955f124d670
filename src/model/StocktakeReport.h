#pragma once

// A stocktaking count as the window, the report and the admin tool show it: its place, who and
// when, and the comparison list with its totals. No widgets.

#include "model/Reports.h"

#include <QDateTime>
#include <QList>
#include <QString>

class Connection;

struct StocktakeLine {
    QString result; // F found, N not found, P kept elsewhere, U unknown
    QString state;  // the result in words
    QString kind;   // V device, E element, empty for an unknown code
    qint64 id = 0;
    QString code, name, kindName, place;
    QDateTime scanned;
    int times = 0;
};

struct StocktakeCount {
    qint64 id = 0;
    QString placeKind; // "D" or "W"
    qint64 placeId = 0;
    QString placeText; // departments from the top / workplace
    QString person;
    QDateTime started, finished;
    bool elements = false;
    QList<StocktakeLine> lines;

    int count(const QString &result) const;
};

// Reads a count with its list (StocktakeList). AppError when it is not there.
StocktakeCount ReadStocktake(Connection &cn, qint64 id);

// The count as a report of the program's own: the place, who and when, the list and its totals,
// the signature lines.
ReportTable StocktakeReport(const StocktakeCount &count);

// The totals in one line: "Найдено: 3, не найдено: 1, не на своём месте: 1, нет в базе: 0".
QString StocktakeTotals(const StocktakeCount &count);
