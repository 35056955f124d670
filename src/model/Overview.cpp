#include "model/Overview.h"

#include "data/Connection.h"
#include "data/Errors.h"
#include "data/Procedures.h"

#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace {

QLocale russian() {
    return QLocale(QLocale::Russian, QLocale::Russia);
}

ResultSet call(Connection &cn, const char *name, const QVariant &department, const QDate &today = {}) {
    const QString proc = QString::fromLatin1(name) + QStringLiteral(";1");
    QVector<Parameter> params = procedureParameters(proc);
    for (Parameter &p : params) {
        if (p.name == u"@Department")
            p.value = department;
        else if (p.name == u"@Today" && today.isValid())
            p.value = QDateTime(today, QTime(0, 0));
    }
    return callProcedure(cn, proc, params);
}

OverviewChart kinds(Connection &cn, const QVariant &department) {
    OverviewChart c;
    c.name = QStringLiteral("kinds");
    c.title = QStringLiteral("Устройства по типам");
    OverviewSeries s{QString(), QStringLiteral("kinds"), {}, {}};
    const ResultSet rs = call(cn, "OverviewKinds", department);
    for (const auto &r : rs.rows) {
        c.categories << r[1].toString();
        s.keys << r[0].toInt();
        s.values << r[2].toLongLong();
    }
    c.series.push_back(std::move(s));
    c.note = QStringLiteral("всего %1").arg(CountText(c.total()));
    return c;
}

OverviewChart age(Connection &cn, const QVariant &department, const QDate &today) {
    OverviewChart c;
    c.name = QStringLiteral("age");
    c.title = QStringLiteral("Возраст техники");
    OverviewSeries devices{QStringLiteral("Устройства"), QStringLiteral("ageDevices"), {}, {}};
    OverviewSeries elements{QStringLiteral("Элементы"), QStringLiteral("ageElements"), {}, {}};
    std::vector<std::pair<int, qint64>> deviceAges, elementAges;
    const ResultSet rs = call(cn, "OverviewAge", department);
    for (const auto &r : rs.rows) {
        const bool dated = !r[0].isNull();
        const int year = dated ? r[0].toInt() : 0;
        c.categories << (dated ? QString::number(year) : QStringLiteral("без документа"));
        for (OverviewSeries *s : {&devices, &elements})
            s->keys << year;
        devices.values << r[1].toLongLong();
        elements.values << r[2].toLongLong();
        if (dated) {
            deviceAges.push_back({today.year() - year, r[1].toLongLong()});
            elementAges.push_back({today.year() - year, r[2].toLongLong()});
        }
    }
    c.series.push_back(std::move(devices));
    c.series.push_back(std::move(elements));
    QStringList medians;
    if (const double m = MedianAge(deviceAges); m >= 0)
        medians << QStringLiteral("устройства %1").arg(YearsText(m));
    if (const double m = MedianAge(elementAges); m >= 0)
        medians << QStringLiteral("элементы %1").arg(YearsText(m));
    if (!medians.isEmpty())
        c.note = QStringLiteral("медиана: ") + medians.join(QStringLiteral(", "));
    return c;
}

// A chart of the next twelve months; the first row of the result is the count before today.
OverviewChart months(Connection &cn, const char *proc, const QVariant &department, const QDate &today,
                     const char *name, const QString &title, const QString &pastNote) {
    OverviewChart c;
    c.name = QString::fromLatin1(name);
    c.title = title;
    OverviewSeries s{QString(), c.name, {}, {}};
    const ResultSet rs = call(cn, proc, department, today);
    for (const auto &r : rs.rows) {
        const int offset = r[0].toInt();
        if (offset < 0) {
            c.note = pastNote.arg(CountText(r[2].toLongLong()));
            continue;
        }
        c.categories << MonthText(r[1].toDateTime().date());
        s.keys << offset;
        s.values << r[2].toLongLong();
    }
    c.series.push_back(std::move(s));
    if (!c.categories.isEmpty())
        c.note = QStringLiteral("%1 — %2; %3").arg(c.categories.front(), c.categories.back(), c.note);
    return c;
}

OverviewChart network(Connection &cn, const QVariant &department) {
    OverviewChart c;
    c.name = QStringLiteral("network");
    c.title = QStringLiteral("Последняя проверка сети");
    c.shape = OverviewChart::Shape::Ring;
    c.categories = {QStringLiteral("В сети"), QStringLiteral("Не в сети"), QStringLiteral("Не проверялись")};
    const ResultSet rs = call(cn, "OverviewNetwork", department);
    OverviewSeries s{QString(), QStringLiteral("network"), {0, 0, 0}, {1, 0, -1}};
    if (!rs.rows.empty())
        s.values = {rs.rows[0][0].toLongLong(), rs.rows[0][1].toLongLong(), rs.rows[0][2].toLongLong()};
    c.series.push_back(std::move(s));
    c.note = QStringLiteral("компьютеров: %1").arg(CountText(c.total()));
    return c;
}

OverviewChart departments(Connection &cn, const QVariant &department) {
    OverviewChart c;
    c.name = QStringLiteral("departments");
    c.title = QStringLiteral("Подразделения");
    c.shape = OverviewChart::Shape::HorizontalBars;
    OverviewSeries s{QString(), QStringLiteral("departments"), {}, {}};
    const ResultSet rs = call(cn, "OverviewDepartments", department);
    for (const auto &r : rs.rows) {
        c.categories << r[1].toString();
        s.keys << r[0].toInt();
        s.values << r[2].toLongLong();
    }
    c.series.push_back(std::move(s));
    c.note = QStringLiteral("устройств в подразделении и ниже");
    return c;
}

} // namespace

qint64 OverviewChart::total() const {
    qint64 n = 0;
    for (const OverviewSeries &s : series)
        for (qint64 v : s.values)
            n += v;
    return n;
}

const OverviewChart *OverviewData::chart(const QString &name) const {
    for (const OverviewChart &c : charts)
        if (c.name == name)
            return &c;
    return nullptr;
}

OverviewData LoadOverview(Connection &cn, const QVariant &department, const QDate &today) {
    OverviewData d;
    d.today = today.isValid() ? today : QDate::currentDate();
    d.department = department.isNull() ? QVariant() : QVariant(department.toInt());
    d.departmentName = QStringLiteral("Все подразделения");
    if (!d.department.isNull()) {
        const ResultSet rs =
            cn.query(QStringLiteral("SELECT DprtName FROM Department WHERE IdDepartment = :D"),
                     {{QStringLiteral("D"), d.department}});
        if (rs.rows.empty())
            throw AppError(QStringLiteral("Подразделение %1 не найдено").arg(d.department.toInt()));
        d.departmentName = rs.rows[0][0].toString().trimmed();
    }
    d.charts.push_back(kinds(cn, d.department));
    d.charts.push_back(age(cn, d.department, d.today));
    d.charts.push_back(months(cn, "OverviewWarranty", d.department, d.today, "warranty",
                              QStringLiteral("Окончание гарантии"), QStringLiteral("уже без гарантии: %1")));
    d.charts.push_back(months(cn, "OverviewForecast", d.department, d.today, "forecast",
                              QStringLiteral("Замена расходных материалов"),
                              QStringLiteral("просрочено: %1")));
    d.charts.push_back(network(cn, d.department));
    d.charts.push_back(departments(cn, d.department));
    return d;
}

double MedianAge(const std::vector<std::pair<int, qint64>> &counts) {
    std::vector<std::pair<int, qint64>> sorted;
    qint64 n = 0;
    for (const auto &c : counts)
        if (c.second > 0) {
            sorted.push_back(c);
            n += c.second;
        }
    if (n == 0)
        return -1;
    std::sort(sorted.begin(), sorted.end());
    // The ages at the positions (n - 1) / 2 and n / 2 of the ordered list, 0-based.
    const auto at = [&](qint64 pos) {
        for (const auto &[years, count] : sorted) {
            if (pos < count)
                return years;
            pos -= count;
        }
        return sorted.back().first;
    };
    return (at((n - 1) / 2) + at(n / 2)) / 2.0;
}

QString YearsText(double years) {
    if (years != std::floor(years))
        return russian().toString(years, 'f', 1) + QStringLiteral(" года");
    const qint64 n = qint64(years);
    const qint64 last2 = std::llabs(n) % 100, last = std::llabs(n) % 10;
    QString word = QStringLiteral("лет");
    if (last2 < 11 || last2 > 14) {
        if (last == 1)
            word = QStringLiteral("год");
        else if (last >= 2 && last <= 4)
            word = QStringLiteral("года");
    }
    return QStringLiteral("%1 %2").arg(n).arg(word);
}

QString CountText(qint64 n) {
    return russian().toString(n);
}

QString MonthText(const QDate &month) {
    static const char *names[] = {"янв", "фев", "мар", "апр", "май", "июн",
                                  "июл", "авг", "сен", "окт", "ноя", "дек"};
    if (!month.isValid())
        return {};
    return QStringLiteral("%1 %2").arg(QString::fromUtf8(names[month.month() - 1])).arg(month.year());
}
