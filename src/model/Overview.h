#pragma once

// The overview page's data without widgets: the six charts as titles, categories and values,
// each bar or slice with the key that names the rows behind it (see OverviewRows;1). The tab,
// the saved page and velmora-db overview draw from this one description.

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <vector>

class Connection;

struct OverviewSeries {
    QString name;           // the legend's text; empty for a chart of one series
    QString rows;           // the @Chart of OverviewRows;1 behind its bars; "departments": tree nodes
    QVector<qint64> values; // one per category
    QVector<int> keys;      // one per category: the @Key of its rows (a department's key)
};

struct OverviewChart {
    enum class Shape { Bars, HorizontalBars, Ring };
    QString name;  // the chart's object name: kinds, age, warranty, forecast, network, departments
    QString title; // "Устройства по типам"
    QString note;  // shown beside the title: the median age, the count out of warranty, ...
    Shape shape = Shape::Bars;
    QStringList categories; // bar labels, or the slices of a ring
    std::vector<OverviewSeries> series;

    qint64 total() const; // the sum of every value
};

struct OverviewData {
    QVariant department;    // the chosen branch; Null for the whole organisation
    QString departmentName; // its name; "Все подразделения" without one
    QDate today;
    std::vector<OverviewChart> charts; // in the order of the page

    const OverviewChart *chart(const QString &name) const;
};

// Reads the overview through the server procedures. Throws AppError for a department that does
// not exist.
OverviewData LoadOverview(Connection &cn, const QVariant &department,
                          const QDate &today = QDate::currentDate());

// The median of ages given as counts per age in whole years (age -> count); -1 with no counts.
double MedianAge(const std::vector<std::pair<int, qint64>> &counts);

// "1 год", "3 года", "5 лет", "2,5 года": an age in years in Russian.
QString YearsText(double years);

// A count in the Russian way: "100 000".
QString CountText(qint64 n);

// A month as the charts label it: "янв 2027".
QString MonthText(const QDate &month);
