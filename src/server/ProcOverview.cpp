// The overview's numbers: a few aggregate statements per chart, shaped here, and the rows behind
// one bar or slice when the user clicks it.
//
// Every procedure takes @Department: with a key, only what stands under that department and the
// departments below it counts; Null counts everything. The warranty and forecast procedures take
// @Today (Null: the current date), so that the months they count are fixed for a test.
#include "server/ServerProcs.h"

#include "data/Errors.h"
#include "server/ProcText.h"

#include <QDateTime>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <map>

namespace {

using FT = FieldType;
using ProcText::joined;
using ProcText::text;

// ---- SQL pieces per engine ------------------------------------------------------------------

bool isPg(const Connection &cn) {
    return cn.engine() == Engine::PostgreSQL;
}

// The year, month and day of a date column as integers (SQLite keeps "yyyy-MM-dd hh:mm:ss").
QString yearOf(const Connection &cn, const QString &e) {
    return (isPg(cn) ? QStringLiteral("CAST(EXTRACT(YEAR FROM %1) AS integer)")
                     : QStringLiteral("CAST(substr(%1, 1, 4) AS INTEGER)"))
        .arg(e);
}
QString monthOf(const Connection &cn, const QString &e) {
    return (isPg(cn) ? QStringLiteral("CAST(EXTRACT(MONTH FROM %1) AS integer)")
                     : QStringLiteral("CAST(substr(%1, 6, 2) AS INTEGER)"))
        .arg(e);
}
QString dayOf(const Connection &cn, const QString &e) {
    return (isPg(cn) ? QStringLiteral("CAST(EXTRACT(DAY FROM %1) AS integer)")
                     : QStringLiteral("CAST(substr(%1, 9, 2) AS INTEGER)"))
        .arg(e);
}
// A day as a whole number: days since a fixed day, the same distance between two days on both
// engines.
QString dayNumber(const Connection &cn, const QString &e) {
    return (isPg(cn) ? QStringLiteral("(CAST(%1 AS date) - DATE '2000-01-01')")
                     : QStringLiteral("CAST(julianday(substr(%1, 1, 10)) AS INTEGER)"))
        .arg(e);
}
// The calendar day of a date column, for counting distinct days.
QString dayText(const Connection &cn, const QString &e) {
    return (isPg(cn) ? QStringLiteral("CAST(%1 AS date)") : QStringLiteral("substr(%1, 1, 10)")).arg(e);
}

// The month an element's warranty ends in, as year * 12 + month - 1, and the day of the month it
// ends on before a short month clips it. The warranty runs from the seller's date, else the date
// of the incoming document, else the installation (the same rule as the model view's warranty);
// the statement joins Document as doc.
const char *WarrantyBase = "coalesce(c.DateSeller, doc.DocDate, c.CmplDateSet)";
QString warrantyMonth(const Connection &cn) {
    const QString b = QString::fromLatin1(WarrantyBase);
    return QStringLiteral("(%1 * 12 + %2 - 1 + c.Warranty)").arg(yearOf(cn, b), monthOf(cn, b));
}
QString warrantyDay(const Connection &cn) {
    return dayOf(cn, QString::fromLatin1(WarrantyBase));
}
const char *HasWarranty = "c.Warranty > 0 AND coalesce(c.DateSeller, doc.DocDate, c.CmplDateSet) IS NOT NULL";

// The department filter: a condition on a workplace key or a device key, true under the chosen
// department and the departments below it (a loop in the parents ends the walk). Empty without a
// department; the key is bound as :Branch.
class Branch {
public:
    explicit Branch(const ProcedureCall &call) : m_department(call.arg(QStringLiteral("@Department"))) {
        if (!m_department.isNull())
            m_params.insert(QStringLiteral("Branch"), m_department.toInt());
    }
    bool all() const { return m_department.isNull(); }
    const QVariantMap &params() const { return m_params; }

    QString workplaces(const QString &column) const {
        if (all())
            return {};
        return QStringLiteral(
                   " AND %1 IN (SELECT bw.IdWorkplace FROM Workplace bw WHERE bw.WrkpIdDepartment IN "
                   "(WITH RECURSIVE Branch(Id) AS (SELECT IdDepartment FROM Department WHERE IdDepartment = "
                   ":Branch UNION SELECT bd.IdDepartment FROM Department bd JOIN Branch ON bd.DprtIdHigher = "
                   "Branch.Id) SELECT Id FROM Branch))")
            .arg(column);
    }
    QString devices(const QString &column) const {
        if (all())
            return {};
        return QStringLiteral(" AND %1 IN (SELECT bv.IdDevice FROM DeviceUnit bv WHERE 1 = 1%2)")
            .arg(column, workplaces(QStringLiteral("bv.DevcIdWorkplace")));
    }

private:
    QVariant m_department;
    QVariantMap m_params;
};

QDate today(const ProcedureCall &call) {
    const QVariant v = normalizeValue(FT::DateTime, call.arg(QStringLiteral("@Today")));
    return v.typeId() == QMetaType::QDateTime ? v.toDateTime().date() : QDate::currentDate();
}

int monthIndex(const QDate &d) {
    return d.year() * 12 + d.month() - 1;
}

QDate monthStart(int index) {
    return QDate(index / 12, index % 12 + 1, 1);
}

QDateTime dateTime(const QVariant &v) {
    const QVariant n = normalizeValue(FT::DateTime, v);
    return n.typeId() == QMetaType::QDateTime ? n.toDateTime() : QDateTime();
}

qint64 count(const QVariant &v) {
    return v.toLongLong();
}

// The months the warranty and forecast charts count: this month and the eleven after it.
constexpr int MonthsAhead = 12;

// A month chart's result: the out-of-date count (Offset -1, no month), then one row per month.
const QVector<ColumnInfo> MonthColumns = {Proc::col("Offset", FT::SmallInt), Proc::col("Month", FT::DateTime),
                                          Proc::col("Count", FT::Integer)};

ResultSet monthResult(const QDate &day, qint64 past, const std::vector<qint64> &months) {
    std::vector<QVector<QVariant>> rows;
    rows.push_back({-1, QVariant(), past});
    for (int i = 0; i < MonthsAhead; ++i)
        rows.push_back({i, QDateTime(monthStart(monthIndex(day) + i), QTime(0, 0)), months[size_t(i)]});
    return Proc::shaped(MonthColumns, std::move(rows));
}

// ---- devices by kind --------------------------------------------------------------------------

// So many kinds get a bar of their own; the rest are one bar "Прочее" (unless only one is left).
constexpr int KindBars = 8;
constexpr int OtherKinds = -1; // the key of "Прочее"
constexpr int NoKind = 0;      // the key of the devices without a kind

struct KindCount {
    int kind;
    QString name;
    qint64 devices;
};

// Every kind with devices under the branch, most devices first, then by name.
std::vector<KindCount> kindCounts(ProcedureCall &call) {
    const Branch branch(call);
    const ResultSet rs = call.cn.query(
        QStringLiteral(
            "SELECT d.DevcIdKind, COUNT(*) AS N FROM DeviceUnit d WHERE 1 = 1%1 GROUP BY d.DevcIdKind")
            .arg(branch.workplaces(QStringLiteral("d.DevcIdWorkplace"))),
        branch.params());
    QHash<int, QString> names;
    const ResultSet kinds = call.cn.query(QStringLiteral("SELECT IdKind, KindName FROM Kind"));
    for (size_t i = 0; i < kinds.rows.size(); ++i)
        names.insert(kinds.value(i, QStringLiteral("IdKind")).toInt(), text(kinds, i, "KindName"));
    std::vector<KindCount> out;
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        const QVariant k = rs.value(i, QStringLiteral("DevcIdKind"));
        const int key = k.isNull() ? NoKind : k.toInt();
        QString name = k.isNull() ? QStringLiteral("Без вида") : names.value(key);
        if (name.isEmpty())
            name = QStringLiteral("Вид %1").arg(key);
        out.push_back({key, name, count(rs.value(i, QStringLiteral("N")))});
    }
    std::sort(out.begin(), out.end(), [](const KindCount &a, const KindCount &b) {
        if (a.devices != b.devices)
            return a.devices > b.devices;
        const int c = CompareText(a.name, b.name);
        return c != 0 ? c < 0 : a.kind < b.kind;
    });
    return out;
}

// The kinds that make up "Прочее".
QSet<int> otherKinds(const std::vector<KindCount> &counts) {
    QSet<int> out;
    if (counts.size() > size_t(KindBars) + 1)
        for (size_t i = KindBars; i < counts.size(); ++i)
            out.insert(counts[i].kind);
    return out;
}

const QVector<ColumnInfo> KindColumns = {Proc::col("Kind", FT::Integer), Proc::col("Name", FT::String, 30),
                                         Proc::col("Devices", FT::Integer)};

// Devices by kind, most first; past the first KindBars kinds the rest as one row "Прочее" (Kind -1);
// devices without a kind as "Без вида" (Kind 0).
ResultSet overviewKinds(ProcedureCall &call) {
    const std::vector<KindCount> counts = kindCounts(call);
    const QSet<int> others = otherKinds(counts);
    std::vector<QVector<QVariant>> rows;
    qint64 rest = 0;
    for (const KindCount &k : counts) {
        if (others.contains(k.kind))
            rest += k.devices;
        else
            rows.push_back({k.kind, k.name, k.devices});
    }
    if (!others.isEmpty())
        rows.push_back({OtherKinds, QStringLiteral("Прочее"), rest});
    return Proc::shaped(KindColumns, std::move(rows));
}

// ---- age -------------------------------------------------------------------------------------

const QVector<ColumnInfo> AgeColumns = {Proc::col("Year", FT::Integer), Proc::col("Devices", FT::Integer),
                                        Proc::col("Elements", FT::Integer)};

// Devices and elements by the year of their incoming document, earliest year first, then a row
// with Year Null for those without a dated document. An element counts by its own document; a
// device by the earliest document of its elements.
ResultSet overviewAge(ProcedureCall &call) {
    const Branch branch(call);
    const QString year = yearOf(call.cn, QStringLiteral("doc.DocDate"));
    // Elements counted per document first (the index of documents answers that), each document
    // then read once; a device's documents once each, whatever number of its elements came on them.
    const ResultSet elements = call.cn.query(
        QStringLiteral(
            "SELECT Y, CAST(SUM(N) AS bigint) AS N FROM (SELECT %1 AS Y, e.N FROM (SELECT c.DocumentId, "
            "COUNT(*) AS N FROM CompleteSet c WHERE 1 = 1%2 GROUP BY c.DocumentId) e LEFT JOIN Document doc "
            "ON doc.IdDocument = e.DocumentId) t GROUP BY Y")
            .arg(year, branch.devices(QStringLiteral("c.CmplIdDevice"))),
        branch.params());
    const ResultSet devices = call.cn.query(
        QStringLiteral("SELECT Y, COUNT(*) AS N FROM (SELECT d.IdDevice, MIN(%1) AS Y FROM DeviceUnit d "
                       "LEFT JOIN (SELECT DISTINCT c.CmplIdDevice, c.DocumentId FROM CompleteSet c) c ON "
                       "c.CmplIdDevice = d.IdDevice LEFT JOIN Document doc ON doc.IdDocument = c.DocumentId "
                       "WHERE 1 = 1%2 GROUP BY d.IdDevice) t GROUP BY Y")
            .arg(year, branch.workplaces(QStringLiteral("d.DevcIdWorkplace"))),
        branch.params());
    // year (-1 for none) -> devices, elements
    std::map<int, std::pair<qint64, qint64>> years;
    for (size_t i = 0; i < devices.rows.size(); ++i) {
        const QVariant y = devices.value(i, QStringLiteral("Y"));
        years[y.isNull() ? -1 : y.toInt()].first += count(devices.value(i, QStringLiteral("N")));
    }
    for (size_t i = 0; i < elements.rows.size(); ++i) {
        const QVariant y = elements.value(i, QStringLiteral("Y"));
        years[y.isNull() ? -1 : y.toInt()].second += count(elements.value(i, QStringLiteral("N")));
    }
    std::vector<QVector<QVariant>> rows;
    for (const auto &[y, n] : years)
        if (y >= 0)
            rows.push_back({y, n.first, n.second});
    if (auto it = years.find(-1); it != years.end())
        rows.push_back({QVariant(), it->second.first, it->second.second});
    return Proc::shaped(AgeColumns, std::move(rows));
}

// ---- warranty --------------------------------------------------------------------------------

// Elements whose warranty has ended (before today) and those ending in each of the next twelve
// months, this one first (from today on).
ResultSet overviewWarranty(ProcedureCall &call) {
    const Branch branch(call);
    const QDate day = today(call);
    QVariantMap params = branch.params();
    params.insert(QStringLiteral("Cur"), monthIndex(day));
    params.insert(QStringLiteral("Day"), day.day());
    const ResultSet rs = call.cn.query(
        QStringLiteral(
            "SELECT Mi, Past, COUNT(*) AS N FROM (SELECT %1 AS Mi, CASE WHEN %1 = :Cur AND %2 < :Day "
            "THEN 1 ELSE 0 END AS Past FROM CompleteSet c LEFT JOIN Document doc ON doc.IdDocument = "
            "c.DocumentId WHERE %3%4) t GROUP BY Mi, Past")
            .arg(warrantyMonth(call.cn), warrantyDay(call.cn), QString::fromLatin1(HasWarranty),
                 branch.devices(QStringLiteral("c.CmplIdDevice"))),
        params);
    const int cur = monthIndex(day);
    qint64 past = 0;
    std::vector<qint64> months(MonthsAhead, 0);
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        const int m = rs.value(i, QStringLiteral("Mi")).toInt();
        const qint64 n = count(rs.value(i, QStringLiteral("N")));
        if (m < cur || rs.value(i, QStringLiteral("Past")).toInt() == 1)
            past += n;
        else if (m - cur < MonthsAhead)
            months[size_t(m - cur)] += n;
    }
    return monthResult(day, past, months);
}

// ---- consumables forecast --------------------------------------------------------------------

// One device's history of one consumable model, as the consumables view forecasts it.
struct Use {
    int model = 0, device = 0;
    qint64 firstDay = 0, lastDay = 0, days = 0; // day numbers and the number of distinct days
    QDateTime last;                             // the last installation; invalid without dates
    bool inside = true;                         // the device stands under the chosen department
};

// Every device's use of every consumable model in use (kinds of type M). The forecast of a device
// learns from the whole database, so every use is read; `inside` tells those under the branch.
std::vector<Use> consumableUses(ProcedureCall &call) {
    const Branch branch(call);
    const QString set = QStringLiteral("c.CmplDateSet");
    const QString inside = branch.all() ? QStringLiteral("1")
                                        : QStringLiteral("MAX(CASE WHEN 1 = 1%1 THEN 1 ELSE 0 END)")
                                              .arg(branch.devices(QStringLiteral("c.CmplIdDevice")));
    const ResultSet rs = call.cn.query(
        QStringLiteral(
            "SELECT c.CmplIdModel AS M, c.CmplIdDevice AS D, MIN(%1) AS F, MAX(%1) AS L, "
            "COUNT(DISTINCT %2) AS N, MAX(%3) AS S, %4 AS I FROM CompleteSet c JOIN Model m ON "
            "m.IdModel = c.CmplIdModel JOIN Kind k ON k.IdKind = m.ModlKind WHERE k.KindType = 'M' "
            "GROUP BY c.CmplIdModel, c.CmplIdDevice")
            .arg(dayNumber(call.cn, set), dayText(call.cn, set), set, inside),
        branch.params());
    std::vector<Use> out;
    out.reserve(rs.rows.size());
    for (const auto &r : rs.rows)
        out.push_back({r[0].toInt(), r[1].toInt(), r[2].toLongLong(), r[3].toLongLong(), r[4].toLongLong(),
                       dateTime(r[5]), r[6].toInt() == 1});
    return out;
}

// The forecast next installation of each use: the last one plus the mean interval between the
// distinct days of installation in this device when it has at least two, else the mean over every
// device's history of the model; invalid when neither exists or the use carries no date.
std::vector<QDateTime> forecasts(const std::vector<Use> &uses) {
    QHash<int, std::pair<qint64, qint64>> models; // model -> span in days, intervals
    for (const Use &u : uses)
        if (u.days >= 2) {
            auto &m = models[u.model];
            m.first += u.lastDay - u.firstDay;
            m.second += u.days - 1;
        }
    std::vector<QDateTime> out;
    out.reserve(uses.size());
    for (const Use &u : uses) {
        double mean = -1;
        if (u.days >= 2)
            mean = double(u.lastDay - u.firstDay) / double(u.days - 1);
        else if (const auto m = models.value(u.model); m.second > 0)
            mean = double(m.first) / double(m.second);
        QDateTime next;
        if (u.last.isValid() && mean >= 0) {
            const QDateTime naive(u.last.date(), u.last.time(), Qt::UTC);
            const QDateTime later = naive.addSecs(qRound64(mean * 86400.0));
            next = QDateTime(later.date(), later.time());
        }
        out.push_back(next);
    }
    return out;
}

// The month offset of a date from today's month: -1 for a date before today, MonthsAhead or more
// past the counted months.
int monthOffset(const QDateTime &at, const QDate &day) {
    if (at < QDateTime(day, QTime(0, 0)))
        return -1;
    return monthIndex(at.date()) - monthIndex(day);
}

// Forecast replacements of consumables: those already due (before today) and those due in each
// of the next twelve months, one per device and model, as the consumables view forecasts them.
ResultSet overviewForecast(ProcedureCall &call) {
    const QDate day = today(call);
    const std::vector<Use> uses = consumableUses(call);
    const std::vector<QDateTime> next = forecasts(uses);
    qint64 past = 0;
    std::vector<qint64> months(MonthsAhead, 0);
    for (size_t i = 0; i < uses.size(); ++i) {
        if (!uses[i].inside || !next[i].isValid())
            continue;
        const int offset = monthOffset(next[i], day);
        if (offset < 0)
            ++past;
        else if (offset < MonthsAhead)
            ++months[size_t(offset)];
    }
    return monthResult(day, past, months);
}

// ---- network ---------------------------------------------------------------------------------

const QVector<ColumnInfo> NetworkColumns = {
    Proc::col("OnLine", FT::Integer), Proc::col("OffLine", FT::Integer), Proc::col("Never", FT::Integer)};

// The network computers (devices with a network name) by the last ping sweep: answered, did not
// answer, never swept.
ResultSet overviewNetwork(ProcedureCall &call) {
    const Branch branch(call);
    const ResultSet rs = call.cn.query(
        QStringLiteral(
            "SELECT d.OnLine, COUNT(*) AS N FROM DeviceUnit d WHERE d.Domain IS NOT NULL%1 GROUP BY "
            "d.OnLine")
            .arg(branch.workplaces(QStringLiteral("d.DevcIdWorkplace"))),
        branch.params());
    qint64 on = 0, off = 0, never = 0;
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        const QVariant v = normalizeValue(FT::Boolean, rs.value(i, QStringLiteral("OnLine")));
        const qint64 n = count(rs.value(i, QStringLiteral("N")));
        (v.isNull() ? never : v.toBool() ? on : off) += n;
    }
    return Proc::shaped(NetworkColumns, {{on, off, never}});
}

// ---- departments -----------------------------------------------------------------------------

constexpr int DepartmentBars = 10;

const QVector<ColumnInfo> DepartmentColumns = {
    Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 100), Proc::col("Devices", FT::Integer)};

// The departments one level below the chosen one (the top departments without a choice), each
// with the devices under it and under its own departments, the ten with most devices, most first.
// A level of one department that has departments of its own is passed through to the next, so
// an organisation kept under one top department still shows its parts.
ResultSet overviewDepartments(ProcedureCall &call) {
    const QVariant chosen = call.arg(QStringLiteral("@Department"));
    const ResultSet deps =
        call.cn.query(QStringLiteral("SELECT IdDepartment, DprtIdHigher, DprtName FROM Department"));
    QHash<int, QVariant> parent;
    QHash<int, QString> names;
    for (size_t i = 0; i < deps.rows.size(); ++i) {
        const int id = deps.value(i, QStringLiteral("IdDepartment")).toInt();
        parent.insert(id, deps.value(i, QStringLiteral("DprtIdHigher")));
        names.insert(id, text(deps, i, "DprtName"));
    }
    QHash<int, QList<int>> children;
    QList<int> top;
    for (auto it = parent.cbegin(); it != parent.cend(); ++it) {
        if (!it.value().isNull() && parent.contains(it.value().toInt()) && it.value().toInt() != it.key())
            children[it.value().toInt()] << it.key();
        else
            top << it.key();
    }
    const ResultSet direct = call.cn.query(QStringLiteral(
        "SELECT w.WrkpIdDepartment AS Dep, COUNT(*) AS N FROM DeviceUnit d JOIN Workplace w ON "
        "w.IdWorkplace = d.DevcIdWorkplace GROUP BY w.WrkpIdDepartment"));
    QHash<int, qint64> own;
    for (size_t i = 0; i < direct.rows.size(); ++i)
        own.insert(direct.value(i, QStringLiteral("Dep")).toInt(),
                   count(direct.value(i, QStringLiteral("N"))));

    // Devices under a department: its own and its departments', each department once.
    const auto under = [&](int root) {
        qint64 n = 0;
        QSet<int> seen;
        QList<int> todo{root};
        while (!todo.isEmpty()) {
            const int d = todo.takeLast();
            if (seen.contains(d))
                continue;
            seen.insert(d);
            n += own.value(d);
            todo += children.value(d);
        }
        return n;
    };

    QList<int> level = chosen.isNull() ? top : children.value(chosen.toInt());
    QSet<int> passed;
    while (level.size() == 1 && !children.value(level.front()).isEmpty() && !passed.contains(level.front())) {
        passed.insert(level.front());
        level = children.value(level.front());
    }
    struct Bar {
        int id;
        QString name;
        qint64 devices;
    };
    std::vector<Bar> bars;
    for (int d : level)
        if (const qint64 n = under(d); n > 0)
            bars.push_back({d, names.value(d), n});
    std::sort(bars.begin(), bars.end(), [](const Bar &a, const Bar &b) {
        if (a.devices != b.devices)
            return a.devices > b.devices;
        const int c = CompareText(a.name, b.name);
        return c != 0 ? c < 0 : a.id < b.id;
    });
    if (bars.size() > size_t(DepartmentBars))
        bars.resize(DepartmentBars);
    std::vector<QVector<QVariant>> rows;
    for (const Bar &b : bars)
        rows.push_back({b.id, b.name, b.devices});
    return Proc::shaped(DepartmentColumns, std::move(rows));
}

// ---- the rows behind a bar -------------------------------------------------------------------

const QVector<ColumnInfo> RowColumns = {
    Proc::col("ID", FT::Integer),        Proc::col("Type", FT::FixedChar, 1),
    Proc::col("Code", FT::String, 10),   Proc::col("Name", FT::String, 200),
    Proc::col("Place", FT::String, 300), Proc::col("Date", FT::DateTime),
    Proc::col("Model", FT::Integer),     Proc::col("Device", FT::Integer)};

QString kindText(const ResultSet &rs, size_t i, const char *shortName, const char *name) {
    const QString s = text(rs, i, shortName);
    return s.isEmpty() ? text(rs, i, name) : s;
}

QString hexCode(int key) {
    return QStringLiteral("%1").arg(key, 4, 16, QLatin1Char('0')).toUpper();
}

// Devices: the kind and name, where they stand.
const char *DeviceSelect = "SELECT d.IdDevice, d.DevcName, k.KindName, k.ShortName, w.WrkpName, p.DprtName%1 "
                           "FROM DeviceUnit d LEFT JOIN Kind k ON k.IdKind = d.DevcIdKind "
                           "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
                           "LEFT JOIN Department p ON p.IdDepartment = w.WrkpIdDepartment WHERE 1 = 1";

QVector<QVariant> deviceRow(const ResultSet &rs, size_t i, const QVariant &date = {}) {
    const int id = rs.value(i, QStringLiteral("IdDevice")).toInt();
    return {id,
            QStringLiteral("V"),
            QVariant(),
            joined({kindText(rs, i, "ShortName", "KindName"), text(rs, i, "DevcName")}, QStringLiteral(": ")),
            joined({text(rs, i, "DprtName"), text(rs, i, "WrkpName")}, QStringLiteral(" / ")),
            date,
            QVariant(),
            id};
}

// Elements: code, kind and model, where they stand.
const char *ElementSelect =
    "SELECT c.IdComponent, c.CmplIdDevice, c.CmplIdModel, c.Warranty, c.DateSeller, c.CmplDateSet, "
    "doc.DocDate, "
    "m.ModlName, km.KindName, km.ShortName, km.KindType, d.DevcName, w.WrkpName, p.DprtName "
    "FROM CompleteSet c LEFT JOIN Document doc ON doc.IdDocument = c.DocumentId "
    "LEFT JOIN Model m ON m.IdModel = c.CmplIdModel LEFT JOIN Kind km ON km.IdKind = m.ModlKind "
    "JOIN DeviceUnit d ON d.IdDevice = c.CmplIdDevice "
    "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
    "LEFT JOIN Department p ON p.IdDepartment = w.WrkpIdDepartment WHERE 1 = 1";

QVector<QVariant> elementRow(const ResultSet &rs, size_t i, const QVariant &date) {
    const int id = rs.value(i, QStringLiteral("IdComponent")).toInt();
    QString type = text(rs, i, "KindType");
    if (type != u"M" && type != u"S")
        type = QStringLiteral("H");
    return {id,
            type,
            hexCode(id),
            joined({kindText(rs, i, "ShortName", "KindName"), text(rs, i, "ModlName")}, QStringLiteral(": ")),
            joined({text(rs, i, "DprtName"), text(rs, i, "WrkpName"), text(rs, i, "DevcName")},
                   QStringLiteral(" / ")),
            date,
            rs.value(i, QStringLiteral("CmplIdModel")),
            rs.value(i, QStringLiteral("CmplIdDevice"))};
}

QVariant warrantyEnd(const ResultSet &rs, size_t i) {
    QDateTime from = dateTime(rs.value(i, QStringLiteral("DateSeller")));
    if (!from.isValid())
        from = dateTime(rs.value(i, QStringLiteral("DocDate")));
    if (!from.isValid())
        from = dateTime(rs.value(i, QStringLiteral("CmplDateSet")));
    const int months = rs.value(i, QStringLiteral("Warranty")).toInt();
    if (!from.isValid() || months <= 0)
        return {};
    return QDateTime(from.date().addMonths(months), QTime(0, 0));
}

// The rows behind one bar or slice of a chart, by place:
// - "kinds": devices of kind @Key (0: without a kind, -1: the kinds of "Прочее");
// - "ageDevices", "ageElements": devices and elements of the year @Key (0: without a dated
//   document); Date is the document's date (a device's earliest);
// - "warranty": elements whose warranty ends in month @Key from this one (-1: ended); Date is the end;
// - "forecast": the devices with a consumable due in month @Key (-1: overdue), one row per
//   device and model (ID the device); Date is the forecast;
// - "network": network computers on line (@Key 1), off line (0), never swept (-1).
ResultSet overviewRows(ProcedureCall &call) {
    const QString chart = call.argText(QStringLiteral("@Chart"));
    const int key = call.argInt(QStringLiteral("@Key"));
    const Branch branch(call);
    QVariantMap params = branch.params();
    std::vector<QVector<QVariant>> rows;
    const QString deviceSelect = QString::fromLatin1(DeviceSelect);
    const QString elementSelect =
        QString::fromLatin1(ElementSelect) + branch.devices(QStringLiteral("c.CmplIdDevice"));
    const QString inBranch = branch.workplaces(QStringLiteral("d.DevcIdWorkplace"));
    const QString year = yearOf(call.cn, QStringLiteral("doc.DocDate"));

    if (chart == u"kinds") {
        QString where;
        if (key == OtherKinds) {
            const QSet<int> others = otherKinds(kindCounts(call));
            if (others.isEmpty())
                return Proc::shaped(RowColumns, {});
            QStringList keys{QStringLiteral("-1")};
            for (int k : others)
                keys << QString::number(k);
            where =
                QStringLiteral(" AND (d.DevcIdKind IN (%1)%2)")
                    .arg(keys.join(u','),
                         others.contains(NoKind) ? QStringLiteral(" OR d.DevcIdKind IS NULL") : QString());
        } else if (key == NoKind) {
            where = QStringLiteral(" AND d.DevcIdKind IS NULL");
        } else {
            where = QStringLiteral(" AND d.DevcIdKind = :K");
            params.insert(QStringLiteral("K"), key);
        }
        const ResultSet rs = call.cn.query(deviceSelect.arg(QString()) + inBranch + where, params);
        for (size_t i = 0; i < rs.rows.size(); ++i)
            rows.push_back(deviceRow(rs, i));
    } else if (chart == u"ageDevices") {
        const ResultSet rs =
            call.cn.query(deviceSelect.arg(QStringLiteral(
                              ", (SELECT MIN(doc.DocDate) FROM CompleteSet c JOIN Document doc ON "
                              "doc.IdDocument = c.DocumentId WHERE c.CmplIdDevice = d.IdDevice) AS "
                              "FirstDoc")) +
                              inBranch,
                          params);
        for (size_t i = 0; i < rs.rows.size(); ++i) {
            const QDateTime first = dateTime(rs.value(i, QStringLiteral("FirstDoc")));
            if (first.isValid() ? first.date().year() == key : key == 0)
                rows.push_back(deviceRow(rs, i, first.isValid() ? QVariant(first) : QVariant()));
        }
    } else if (chart == u"ageElements") {
        QString where = QStringLiteral(" AND doc.DocDate IS NULL");
        if (key != 0) {
            where = QStringLiteral(" AND %1 = :Y").arg(year);
            params.insert(QStringLiteral("Y"), key);
        }
        const ResultSet rs = call.cn.query(elementSelect + where, params);
        for (size_t i = 0; i < rs.rows.size(); ++i)
            rows.push_back(elementRow(rs, i, rs.value(i, QStringLiteral("DocDate"))));
    } else if (chart == u"warranty") {
        const QDate day = today(call);
        params.insert(QStringLiteral("M"), monthIndex(day) + std::max(key, 0));
        const QString where = QStringLiteral(" AND %1 AND %2 %3 :M")
                                  .arg(QString::fromLatin1(HasWarranty), warrantyMonth(call.cn),
                                       key < 0 ? QStringLiteral("<=") : QStringLiteral("="));
        const ResultSet rs = call.cn.query(elementSelect + where, params);
        for (size_t i = 0; i < rs.rows.size(); ++i) {
            const QVariant end = warrantyEnd(rs, i);
            if (monthOffset(end.toDateTime(), day) == key)
                rows.push_back(elementRow(rs, i, end));
        }
    } else if (chart == u"forecast") {
        const QDate day = today(call);
        const std::vector<Use> uses = consumableUses(call);
        const std::vector<QDateTime> next = forecasts(uses);
        std::map<std::pair<int, int>, QDateTime> due; // (device, model) -> forecast
        QSet<int> devices, models;
        for (size_t i = 0; i < uses.size(); ++i)
            if (uses[i].inside && next[i].isValid() && monthOffset(next[i], day) == key) {
                due[{uses[i].device, uses[i].model}] = next[i];
                devices.insert(uses[i].device);
                models.insert(uses[i].model);
            }
        if (due.empty())
            return Proc::shaped(RowColumns, {});
        const auto list = [](const QSet<int> &keys) {
            QStringList s;
            for (int k : keys)
                s << QString::number(k);
            return s.join(u',');
        };
        const ResultSet ds = call.cn.query(deviceSelect.arg(QString()) +
                                           QStringLiteral(" AND d.IdDevice IN (%1)").arg(list(devices)));
        QHash<int, size_t> deviceRows;
        for (size_t i = 0; i < ds.rows.size(); ++i)
            deviceRows.insert(ds.value(i, QStringLiteral("IdDevice")).toInt(), i);
        const ResultSet ms = call.cn.query(
            QStringLiteral(
                "SELECT m.IdModel, m.ModlName, k.KindName, k.ShortName FROM Model m LEFT JOIN Kind k ON "
                "k.IdKind = m.ModlKind WHERE m.IdModel IN (%1)")
                .arg(list(models)));
        QHash<int, QString> modelNames;
        for (size_t i = 0; i < ms.rows.size(); ++i)
            modelNames.insert(ms.value(i, QStringLiteral("IdModel")).toInt(),
                              joined({kindText(ms, i, "ShortName", "KindName"), text(ms, i, "ModlName")},
                                     QStringLiteral(": ")));
        for (const auto &[k, at] : due) {
            const size_t r = deviceRows.value(k.first);
            rows.push_back(
                {k.first, QStringLiteral("M"), QVariant(), modelNames.value(k.second),
                 joined({text(ds, r, "DprtName"), text(ds, r, "WrkpName"), text(ds, r, "DevcName")},
                        QStringLiteral(" / ")),
                 at, k.second, k.first});
        }
    } else if (chart == u"network") {
        const QString state = key < 0 ? QStringLiteral(" AND d.OnLine IS NULL")
                              : key > 0
                                  ? QStringLiteral(" AND d.OnLine = %1").arg(Proc::sqlBool(call.cn, true))
                                  : QStringLiteral(" AND d.OnLine = %1").arg(Proc::sqlBool(call.cn, false));
        const ResultSet rs = call.cn.query(deviceSelect.arg(QString()) +
                                               QStringLiteral(" AND d.Domain IS NOT NULL") + inBranch + state,
                                           params);
        for (size_t i = 0; i < rs.rows.size(); ++i)
            rows.push_back(deviceRow(rs, i));
    } else {
        throw AppError(QStringLiteral("Неизвестная диаграмма сводки: «%1»").arg(chart));
    }
    std::stable_sort(rows.begin(), rows.end(), [](const QVector<QVariant> &a, const QVector<QVariant> &b) {
        const int c = CompareText(a[4].toString(), b[4].toString());
        if (c != 0)
            return c < 0;
        const int n = CompareText(a[3].toString(), b[3].toString());
        return n != 0 ? n < 0 : a[0].toInt() < b[0].toInt();
    });
    return Proc::shaped(RowColumns, std::move(rows));
}

} // namespace

void registerOverviewProcedures() {
    using Proc::in;
    Proc::add(QStringLiteral("OverviewKinds"), {in("@Department", FT::Integer)}, KindColumns, overviewKinds);
    Proc::add(QStringLiteral("OverviewAge"), {in("@Department", FT::Integer)}, AgeColumns, overviewAge);
    Proc::add(QStringLiteral("OverviewWarranty"),
              {in("@Department", FT::Integer), in("@Today", FT::DateTime)}, MonthColumns, overviewWarranty);
    Proc::add(QStringLiteral("OverviewForecast"),
              {in("@Department", FT::Integer), in("@Today", FT::DateTime)}, MonthColumns, overviewForecast);
    Proc::add(QStringLiteral("OverviewNetwork"), {in("@Department", FT::Integer)}, NetworkColumns,
              overviewNetwork);
    Proc::add(QStringLiteral("OverviewDepartments"), {in("@Department", FT::Integer)}, DepartmentColumns,
              overviewDepartments);
    Proc::add(QStringLiteral("OverviewRows"),
              {Proc::req("@Chart", FT::String, 20), Proc::req("@Key", FT::Integer),
               in("@Department", FT::Integer), in("@Today", FT::DateTime)},
              RowColumns, overviewRows);
}
