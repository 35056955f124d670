// The grids of the model, document, consumable and search views.
//
// Every procedure here reads plain rows with one statement (the same text on both engines where
// it can be) and shapes the result in C++: display texts, money sums, warranty ends and forecasts
// are computed here, so that both engines give the same answer to the digit and the day.
#include "server/ServerProcs.h"

#include "data/Errors.h"
#include "server/ProcText.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QtNumeric>

#include <algorithm>
#include <map>

ResultSet Proc::shaped(const QVector<ColumnInfo> &columns, std::vector<QVector<QVariant>> rows) {
    for (auto &row : rows)
        for (int i = 0; i < columns.size(); ++i) {
            QVariant v = normalizeValue(columns[i].type, row[i]);
            if ((columns[i].type == FieldType::String || columns[i].type == FieldType::FixedChar) &&
                columns[i].size > 0 && !v.isNull()) {
                v = ProcText::cut(v.toString(), columns[i].size);
            }
            row[i] = v;
        }
    ResultSet rs;
    rs.columns = columns;
    rs.rows = std::move(rows);
    return rs;
}

namespace {

using FT = FieldType;
using Proc::shaped;
using ProcText::joined;
using ProcText::text;

// ---- small helpers --------------------------------------------------------------------------

QVariant intOrNull(const QVariant &v) {
    return v.isNull() ? QVariant() : QVariant(v.toInt());
}

QVariant textOrNull(const QString &s) {
    return s.isEmpty() ? QVariant() : QVariant(s);
}

QDateTime dateTime(const QVariant &v) {
    const QVariant n = normalizeValue(FT::DateTime, v);
    return n.typeId() == QMetaType::QDateTime ? n.toDateTime() : QDateTime();
}

// The same for rows read by a statement: the declared columns are taken from it by name.
ResultSet shaped(const QVector<ColumnInfo> &columns, const ResultSet &src) {
    std::vector<QVector<QVariant>> rows;
    rows.reserve(src.rows.size());
    QVector<int> from;
    for (const ColumnInfo &c : columns)
        from << src.indexOf(c.name);
    for (const auto &r : src.rows) {
        QVector<QVariant> row(columns.size());
        for (int i = 0; i < columns.size(); ++i)
            row[i] = from[i] < 0 ? QVariant() : r[from[i]];
        rows.push_back(std::move(row));
    }
    return shaped(columns, std::move(rows));
}

// Date arithmetic on the wall-clock values the database keeps, free of daylight-saving jumps.
QDateTime naive(const QDateTime &local) {
    return QDateTime(local.date(), local.time(), Qt::UTC);
}
QDateTime wallClock(const QDateTime &naiveUtc) {
    return QDateTime(naiveUtc.date(), naiveUtc.time());
}

// The numbers of an element as one text: the manufacturer's serial number, the number added by
// the IT staff and the seller's number, the ones present, in that order.
QString elementNumbers(const ResultSet &rs, size_t row) {
    return joined(
        {text(rs, row, "NumberManufact"), text(rs, row, "CmplNumber"), text(rs, row, "NumberSeller")},
        QStringLiteral(" / "));
}

// The end of an element's warranty: the warranty months counted from the day the element was
// bought, which is the seller's date when the element carries one, else the date of the incoming
// document it came with, else its installation date (an element moved to another device keeps
// its warranty; installing it does not start a new one). Null without a warranty in months or
// without any of those dates. A month end stays a month end (31 January + 1 month = 28/29 February).
QVariant warrantyEnd(const ResultSet &rs, size_t row) {
    const int months = rs.value(row, QStringLiteral("Warranty")).toInt();
    if (months <= 0)
        return {};
    QDateTime from = dateTime(rs.value(row, QStringLiteral("DateSeller")));
    if (!from.isValid())
        from = dateTime(rs.value(row, QStringLiteral("DocDate")));
    if (!from.isValid())
        from = dateTime(rs.value(row, QStringLiteral("CmplDateSet")));
    if (!from.isValid())
        return {};
    return QDateTime(from.date().addMonths(months), QTime(0, 0));
}

// "№ 17 от 05.03.2014"; "б/н" stands for a missing number. Null without a document.
QVariant documentText(const ResultSet &rs, size_t row) {
    if (rs.value(row, QStringLiteral("DocumentId")).isNull())
        return {};
    const QString number = text(rs, row, "DocNumber");
    QString s = number.isEmpty() ? QStringLiteral("б/н") : QStringLiteral("№ ") + number;
    const QDateTime date = dateTime(rs.value(row, QStringLiteral("DocDate")));
    if (date.isValid())
        s += QStringLiteral(" от ") + date.toString(QStringLiteral("dd.MM.yyyy"));
    return s;
}

// Full department names: the path from the top department down, joined by " / ". A loop in the
// parents (the program does not refuse one when it is longer than one step) ends the path.
class DepartmentPaths {
public:
    explicit DepartmentPaths(const Connection &cn) {
        const ResultSet rs =
            cn.query(QStringLiteral("SELECT IdDepartment, DprtIdHigher, DprtName FROM Department"));
        for (size_t i = 0; i < rs.rows.size(); ++i)
            m_rows.insert(rs.value(i, QStringLiteral("IdDepartment")).toInt(),
                          {rs.value(i, QStringLiteral("DprtIdHigher")), text(rs, i, "DprtName")});
    }

    QString path(const QVariant &department) const {
        QStringList names;
        QSet<int> seen;
        QVariant id = department;
        while (!id.isNull() && !seen.contains(id.toInt())) {
            seen.insert(id.toInt());
            auto it = m_rows.constFind(id.toInt());
            if (it == m_rows.constEnd())
                break;
            if (!it->name.isEmpty())
                names.prepend(it->name);
            id = it->parent;
        }
        return names.join(QStringLiteral(" / "));
    }

private:
    struct Row {
        QVariant parent;
        QString name;
    };
    QHash<int, Row> m_rows;
};

// ---- GridModelKind, GridModelList ----------------------------------------------------------

const QVector<ColumnInfo> ModelKindColumns = {Proc::col("ID", FT::SmallInt),
                                              Proc::col("Name", FT::String, 30),
                                              Proc::col("KindType", FT::FixedChar, 1)};

// The kinds of one type letter, in their manual order.
ResultSet gridModelKind(ProcedureCall &call) {
    const ResultSet rs = call.cn.query(
        QStringLiteral("SELECT IdKind AS ID, KindName AS Name, KindType FROM Kind WHERE KindType = :KD "
                       "ORDER BY KindOrder, IdKind"),
        {{QStringLiteral("KD"), call.argText(QStringLiteral("@KD"))}});
    return shaped(ModelKindColumns, rs);
}

const QVector<ColumnInfo> ModelListColumns = {
    Proc::col("IdModel", FT::Integer),     Proc::col("ModlWeight", FT::Integer),
    Proc::col("ModlName", FT::String, 60), Proc::col("ModlParametersValue", FT::String, 40),
    Proc::col("ModlNote", FT::String, 50), Proc::col("ModlKind", FT::SmallInt)};

// The models of a kind in their manual order; characteristics and note are cut to the widths of
// the grid's columns (the model dialog shows them whole).
ResultSet gridModelList(ProcedureCall &call) {
    const ResultSet rs = call.cn.query(
        QStringLiteral(
            "SELECT IdModel, ModlWeight, ModlName, ModlParametersValue, ModlNote, ModlKind FROM Model "
            "WHERE ModlKind = :K ORDER BY ModlWeight, IdModel"),
        {{QStringLiteral("K"), call.arg(QStringLiteral("@ID"))}});
    return shaped(ModelListColumns, rs);
}

// ---- GridModelSet ---------------------------------------------------------------------------

const QVector<ColumnInfo> ModelSetColumns = {
    Proc::col("Numb", FT::String, 103),      Proc::col("DevName", FT::String, 73),
    Proc::col("WrkpName", FT::String, 50),   Proc::col("DprtName", FT::String, 50),
    Proc::col("Warranty", FT::DateTime),     Proc::col("Doc", FT::String, 54),
    Proc::col("ClientName", FT::String, 50), Proc::col("IdComponent", FT::Integer),
    Proc::col("Device", FT::Integer),        Proc::col("IdDocument", FT::Integer)};

// The columns of an element that the warranty and the texts above are made of.
const char *ElementColumns = "c.IdComponent, c.CmplIdDevice, c.CmplDateSet, c.CmplNumber, c.NumberManufact, "
                             "c.NumberSeller, c.DateSeller, "
                             "c.Warranty, c.DocumentId, c.DocumentPosition, c.Price, c.DateManufact";

// Every element of the model, by element code, with its place (device shown as "kind: name", the
// kind's short name or else its name), its supplier and the end of its warranty.
ResultSet gridModelSet(ProcedureCall &call) {
    const ResultSet rs = call.cn.query(
        QStringLiteral(
            "SELECT %1, d.DevcName, k.ShortName, k.KindName, w.WrkpName, p.DprtName, doc.DocNumber, "
            "doc.DocDate, cl.DisplayName "
            "FROM CompleteSet c "
            "LEFT JOIN DeviceUnit d ON d.IdDevice = c.CmplIdDevice "
            "LEFT JOIN Kind k ON k.IdKind = d.DevcIdKind "
            "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
            "LEFT JOIN Department p ON p.IdDepartment = w.WrkpIdDepartment "
            "LEFT JOIN Document doc ON doc.IdDocument = c.DocumentId "
            "LEFT JOIN Client cl ON cl.IdClient = doc.DocClient "
            "WHERE c.CmplIdModel = :M ORDER BY c.IdComponent")
            .arg(QString::fromLatin1(ElementColumns)),
        {{QStringLiteral("M"), call.arg(QStringLiteral("@IdModel"))}});
    std::vector<QVector<QVariant>> rows;
    rows.reserve(rs.rows.size());
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        QString kind = text(rs, i, "ShortName");
        if (kind.isEmpty())
            kind = text(rs, i, "KindName").left(20);
        rows.push_back({textOrNull(elementNumbers(rs, i)),
                        textOrNull(joined({kind, text(rs, i, "DevcName")}, QStringLiteral(": "))),
                        textOrNull(text(rs, i, "WrkpName")), textOrNull(text(rs, i, "DprtName")),
                        warrantyEnd(rs, i), documentText(rs, i), textOrNull(text(rs, i, "DisplayName")),
                        rs.value(i, QStringLiteral("IdComponent")),
                        rs.value(i, QStringLiteral("CmplIdDevice")),
                        rs.value(i, QStringLiteral("DocumentId"))});
    }
    return shaped(ModelSetColumns, std::move(rows));
}

// ---- GridDocumentList, GridDocumentPosition -------------------------------------------------

const QVector<ColumnInfo> DocumentListColumns = {
    Proc::col("ID", FT::Integer), Proc::col("DocDate", FT::DateTime), Proc::col("DocName", FT::String, 42),
    Proc::col("ClientName", FT::String, 50), Proc::col("Sum", FT::Money)};

// Every document, newest first (a document without a date last, the later key first within a
// day), named "<kind> № <number>" ("б/н" without a number), with its supplier and the exact sum of
// its positions' prices (0.0000 for a document without priced positions). With @DT only the
// documents from that day on are listed (and those without a date, which no day excludes).
ResultSet gridDocumentList(ProcedureCall &call) {
    const QVariant from = call.arg(QStringLiteral("@DT"));
    QVariantMap params;
    QString since;
    if (!from.isNull()) {
        const QDateTime day = dateTime(from);
        if (!day.isValid())
            throw AppError(QStringLiteral("Неверная дата: «%1»").arg(from.toString()));
        params.insert(QStringLiteral("DT"), QDateTime(day.date(), QTime(0, 0)));
        since = QStringLiteral(" AND (doc.DocDate >= :DT OR doc.DocDate IS NULL)");
    }
    QHash<int, qint64> sums;
    const ResultSet prices = call.cn.query(
        since.isEmpty()
            ? QStringLiteral("SELECT DocumentId, Price FROM CompleteSet WHERE DocumentId IS NOT NULL "
                             "AND Price IS NOT NULL")
            : QStringLiteral("SELECT c.DocumentId, c.Price FROM CompleteSet c JOIN Document doc ON "
                             "doc.IdDocument = c.DocumentId WHERE c.Price IS NOT NULL") +
                  since,
        params);
    for (const auto &r : prices.rows) {
        bool ok = false;
        const qint64 units = Money::toUnits(r[1], &ok);
        qint64 &sum = sums[r[0].toInt()];
        if (!ok || qAddOverflow(sum, units, &sum))
            throw AppError(QStringLiteral("Сумма документа %1 не может быть подсчитана: цена «%2»")
                               .arg(r[0].toInt())
                               .arg(r[1].toString()));
    }

    const ResultSet rs = call.cn.query(
        QStringLiteral(
            "SELECT doc.IdDocument, doc.DocDate, doc.DocNumber, dk.Name AS KindName, cl.DisplayName "
            "FROM Document doc LEFT JOIN DocKind dk ON dk.ID = doc.DocKind LEFT JOIN Client cl ON "
            "cl.IdClient = doc.DocClient WHERE 1 = 1") +
            since +
            QStringLiteral(" ORDER BY CASE WHEN doc.DocDate IS NULL THEN 1 ELSE 0 END, doc.DocDate DESC, "
                           "doc.IdDocument DESC"),
        params);
    std::vector<QVector<QVariant>> rows;
    rows.reserve(rs.rows.size());
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        const int id = rs.value(i, QStringLiteral("IdDocument")).toInt();
        const QString number = text(rs, i, "DocNumber");
        const QString name =
            joined({text(rs, i, "KindName"),
                    number.isEmpty() ? QStringLiteral("б/н") : QStringLiteral("№ ") + number},
                   QStringLiteral(" "));
        rows.push_back({id, rs.value(i, QStringLiteral("DocDate")), name,
                        textOrNull(text(rs, i, "DisplayName")), Money::fromUnits(sums.value(id))});
    }
    return shaped(DocumentListColumns, std::move(rows));
}

const QVector<ColumnInfo> DocumentPositionColumns = {Proc::col("ID", FT::Integer),
                                                     Proc::col("Position", FT::SmallInt),
                                                     Proc::col("Kind", FT::String, 20),
                                                     Proc::col("Model", FT::String, 102),
                                                     Proc::col("Number", FT::String, 103),
                                                     Proc::col("Price", FT::Money),
                                                     Proc::col("Department", FT::String, 100),
                                                     Proc::col("Place", FT::String, 50),
                                                     Proc::col("Device", FT::String, 50),
                                                     Proc::col("Last", FT::DateTime),
                                                     Proc::col("Warranty", FT::DateTime),
                                                     Proc::col("Manufact", FT::DateTime),
                                                     Proc::col("IDDevice", FT::Integer)};

// The elements that came with a document, by position number (elements without one last), each
// with its kind (short name, else name), model ("name, characteristics"), numbers, price and where
// it is now: the department's full path, the workplace and the device.
ResultSet gridDocumentPosition(ProcedureCall &call) {
    const ResultSet rs =
        call.cn.query(QStringLiteral("SELECT %1, doc.DocDate, m.ModlName, m.ModlParametersValue, "
                                     "coalesce(km.ShortName, kc.ShortName) AS ShortName, "
                                     "coalesce(km.KindName, kc.KindName) AS KindName, "
                                     "w.WrkpIdDepartment, w.WrkpName, d.DevcName "
                                     "FROM CompleteSet c "
                                     "LEFT JOIN Document doc ON doc.IdDocument = c.DocumentId "
                                     "LEFT JOIN Model m ON m.IdModel = c.CmplIdModel "
                                     "LEFT JOIN Kind km ON km.IdKind = m.ModlKind "
                                     "LEFT JOIN Kind kc ON kc.IdKind = c.ModelKind "
                                     "LEFT JOIN DeviceUnit d ON d.IdDevice = c.CmplIdDevice "
                                     "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
                                     "WHERE c.DocumentId = :D "
                                     "ORDER BY CASE WHEN c.DocumentPosition IS NULL THEN 1 ELSE 0 END, "
                                     "c.DocumentPosition, c.IdComponent")
                          .arg(QString::fromLatin1(ElementColumns)),
                      {{QStringLiteral("D"), call.arg(QStringLiteral("@ID"))}});
    if (rs.rows.empty())
        return shaped(DocumentPositionColumns, std::vector<QVector<QVariant>>{});
    const DepartmentPaths departments(call.cn);
    std::vector<QVector<QVariant>> rows;
    rows.reserve(rs.rows.size());
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        QString kind = text(rs, i, "ShortName");
        if (kind.isEmpty())
            kind = text(rs, i, "KindName");
        rows.push_back({rs.value(i, QStringLiteral("IdComponent")),
                        rs.value(i, QStringLiteral("DocumentPosition")), textOrNull(kind),
                        textOrNull(joined({text(rs, i, "ModlName"), text(rs, i, "ModlParametersValue")},
                                          QStringLiteral(", "))),
                        textOrNull(elementNumbers(rs, i)), rs.value(i, QStringLiteral("Price")),
                        textOrNull(departments.path(rs.value(i, QStringLiteral("WrkpIdDepartment")))),
                        textOrNull(text(rs, i, "WrkpName")), textOrNull(text(rs, i, "DevcName")),
                        rs.value(i, QStringLiteral("CmplDateSet")), warrantyEnd(rs, i),
                        rs.value(i, QStringLiteral("DateManufact")),
                        rs.value(i, QStringLiteral("CmplIdDevice"))});
    }
    return shaped(DocumentPositionColumns, std::move(rows));
}

// ---- GridChangeModel, GridChangeDevice ------------------------------------------------------

const QVector<ColumnInfo> ChangeModelColumns = {Proc::col("ID", FT::Integer),
                                                Proc::col("Name", FT::String, 162)};

// The consumables in use: models of material kinds (type M) with at least one element, named
// "<kind>: <model>", in the manual order of kinds and of models within a kind.
ResultSet gridChangeModel(ProcedureCall &call) {
    const ResultSet rs = call.cn.query(QStringLiteral(
        "SELECT m.IdModel, k.KindName, m.ModlName FROM Model m JOIN Kind k ON k.IdKind = m.ModlKind "
        "WHERE k.KindType = 'M' AND EXISTS (SELECT 1 FROM CompleteSet c WHERE c.CmplIdModel = m.IdModel) "
        "ORDER BY k.KindOrder, k.IdKind, m.ModlWeight, m.IdModel"));
    std::vector<QVector<QVariant>> rows;
    rows.reserve(rs.rows.size());
    for (size_t i = 0; i < rs.rows.size(); ++i)
        rows.push_back({rs.value(i, QStringLiteral("IdModel")),
                        joined({text(rs, i, "KindName"), text(rs, i, "ModlName")}, QStringLiteral(": "))});
    return shaped(ChangeModelColumns, std::move(rows));
}

const QVector<ColumnInfo> ChangeDeviceColumns = {
    Proc::col("ID", FT::Integer),        Proc::col("Place", FT::String, 204),
    Proc::col("Number", FT::String, 50), Proc::col("DateLast", FT::DateTime),
    Proc::col("DateNext", FT::DateTime), Proc::col("Element", FT::Integer)};

// One device's installations of a model.
struct Uses {
    size_t lastRow = 0; // the row of the last installed element
    QDateTime last;     // its installation (invalid when no element carries a date)
    int lastKey = -1;
    QSet<qint64> days; // the distinct days with an installation (Julian day numbers)
    qint64 firstDay = 0, lastDay = 0;
};

// Where a consumable model is used, one row per device holding elements of it (ID = the device's
// key, so the view can go to the device), ordered by place:
// - Place "department / workplace / device", Number the numbers of the last installed element;
// - DateLast the last installation, Element the key of that element (the higher key when two
//   share the moment; the highest key when no element carries a date);
// - DateNext the forecast of the next installation: DateLast plus the mean interval between the
//   successive installations of the model in this device when it has at least two, else plus the
//   mean interval over every device's history of the model, else Null. Installations on the same
//   day count once (several cartridges put in at once are one change, not an interval of zero).
ResultSet gridChangeDevice(ProcedureCall &call) {
    const ResultSet rs = call.cn.query(
        QStringLiteral("SELECT c.IdComponent, c.CmplIdDevice, c.CmplDateSet, c.CmplNumber, c.NumberManufact, "
                       "c.NumberSeller, d.DevcName, w.WrkpName, p.DprtName "
                       "FROM CompleteSet c "
                       "JOIN DeviceUnit d ON d.IdDevice = c.CmplIdDevice "
                       "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace "
                       "LEFT JOIN Department p ON p.IdDepartment = w.WrkpIdDepartment "
                       "WHERE c.CmplIdModel = :M"),
        {{QStringLiteral("M"), call.arg(QStringLiteral("@ID"))}});

    std::map<int, Uses> devices;
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        Uses &u = devices[rs.value(i, QStringLiteral("CmplIdDevice")).toInt()];
        const QDateTime set = dateTime(rs.value(i, QStringLiteral("CmplDateSet")));
        const int key = rs.value(i, QStringLiteral("IdComponent")).toInt();
        const bool later = set.isValid()
                               ? (!u.last.isValid() || set > u.last || (set == u.last && key > u.lastKey))
                               : (!u.last.isValid() && key > u.lastKey);
        if (later) {
            u.lastRow = i;
            u.last = set;
            u.lastKey = key;
        }
        if (set.isValid()) {
            const qint64 day = set.date().toJulianDay();
            if (u.days.isEmpty() || day < u.firstDay)
                u.firstDay = day;
            if (u.days.isEmpty() || day > u.lastDay)
                u.lastDay = day;
            u.days.insert(day);
        }
    }

    // The mean over all histories: every interval of every device weighs the same.
    qint64 allSpan = 0, allIntervals = 0;
    for (const auto &[device, u] : devices)
        if (u.days.size() >= 2) {
            allSpan += u.lastDay - u.firstDay;
            allIntervals += u.days.size() - 1;
        }

    struct Row {
        QString place;
        int device;
        QVector<QVariant> values;
    };
    std::vector<Row> out;
    out.reserve(devices.size());
    for (const auto &[device, u] : devices) {
        QVariant next;
        if (u.last.isValid()) {
            double meanDays = -1;
            if (u.days.size() >= 2)
                meanDays = double(u.lastDay - u.firstDay) / double(u.days.size() - 1);
            else if (allIntervals > 0)
                meanDays = double(allSpan) / double(allIntervals);
            if (meanDays >= 0)
                next = wallClock(naive(u.last).addSecs(qRound64(meanDays * 86400.0)));
        }
        const size_t r = u.lastRow;
        const QString place =
            joined({text(rs, r, "DprtName"), text(rs, r, "WrkpName"), text(rs, r, "DevcName")},
                   QStringLiteral(" / "));
        out.push_back({place,
                       device,
                       {device, textOrNull(place), textOrNull(elementNumbers(rs, r)),
                        u.last.isValid() ? QVariant(u.last) : QVariant(), next, u.lastKey}});
    }
    std::sort(out.begin(), out.end(), [](const Row &a, const Row &b) {
        const int c = CompareText(a.place, b.place);
        return c != 0 ? c < 0 : a.device < b.device;
    });
    std::vector<QVector<QVariant>> rows;
    rows.reserve(out.size());
    for (Row &r : out)
        rows.push_back(std::move(r.values));
    return shaped(ChangeDeviceColumns, std::move(rows));
}

// ---- GridSearch -----------------------------------------------------------------------------

const QVector<ColumnInfo> SearchColumns = {
    Proc::col("Kind", FT::String, 1), Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 500),
    Proc::col("Model", FT::Integer), Proc::col("Document", FT::Integer)};

// At most this many hits come back: a text found in more places than a person reads says too
// little, and the user narrows it. The nodes come before the elements, so a node is never lost
// to a flood of elements.
constexpr int SearchLimit = 1000;

// Departments, workplaces and devices first, then the elements: the order of the hits.
const char *SearchRank = "CASE s.Kind WHEN 'D' THEN 0 WHEN 'W' THEN 1 WHEN 'V' THEN 2 ELSE 3 END";

// The parts of a folded text (three characters or more) that SQLite's trigram index is asked
// for. A trigram that most texts hold (the "sn0" and "000" of every serial number) costs the
// index a read of nearly every row and rules out nearly nothing, so each trigram's share of the
// texts is estimated on a few slices of the index spread over its keys, and only the rare ones
// are asked for: each run of adjacent rare trigrams as one phrase. The caller checks the whole
// text on the rows they leave. Empty when no trigram is rare: the whole text is then the phrase.
QStringList rareTextParts(const Connection &cn, const QString &folded) {
    const QList<uint> chars = folded.toUcs4();
    const qsizetype count = chars.size() - 2;
    QStringList trigrams;
    for (qsizetype i = 0; i < count; ++i)
        trigrams << QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData() + i), 3);
    QStringList distinct = trigrams;
    distinct.removeDuplicates();
    if (distinct.size() < 2)
        return {};
    // Each bound alone, read from an end of the key; the two in one select would scan the table.
    const ResultSet bounds = cn.query(
        QStringLiteral("SELECT (SELECT min(rowid) FROM SearchText), (SELECT max(rowid) FROM SearchText)"));
    if (bounds.rows.empty() || bounds.rows[0][0].isNull())
        return {};
    const qint64 low = bounds.rows[0][0].toLongLong(), high = bounds.rows[0][1].toLongLong();
    constexpr int Slices = 4, SliceRows = 256;
    constexpr double RareShare = 0.25; // a trigram in at most this share of the texts is rare
    if (high - low < Slices * SliceRows * 4)
        return {}; // a small index reads fast as it is
    QStringList counts;
    QVariantMap params;
    for (int t = 0; t < distinct.size(); ++t) {
        QStringList slices;
        for (int k = 0; k < Slices; ++k) {
            const qint64 from = low + (high - low) * (2 * k + 1) / (2 * Slices) - SliceRows / 2;
            slices << QStringLiteral("(SELECT count(*) FROM SearchIndex WHERE SearchIndex MATCH :T%1 AND "
                                     "rowid BETWEEN %2 AND %3)")
                          .arg(t)
                          .arg(from)
                          .arg(from + SliceRows - 1);
        }
        counts << slices.join(QStringLiteral(" + "));
        QString phrase = distinct[t];
        phrase.replace(u'"', QStringLiteral("\"\""));
        params.insert(QStringLiteral("T%1").arg(t), u'"' + phrase + u'"');
    }
    const ResultSet sample = cn.query(QStringLiteral("SELECT ") + counts.join(QStringLiteral(", ")), params);
    if (sample.rows.empty())
        return {};
    QSet<QString> rare;
    for (int t = 0; t < distinct.size(); ++t)
        if (sample.rows[0][t].toDouble() <= RareShare * Slices * SliceRows)
            rare.insert(distinct[t]);
    if (rare.isEmpty())
        return {};
    // Runs of adjacent rare trigrams, each as the text it spans.
    QStringList parts;
    for (qsizetype i = 0; i < count;) {
        if (!rare.contains(trigrams[i])) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end + 1 < count && rare.contains(trigrams[end + 1]))
            ++end;
        parts << QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData() + i), end - i + 3);
        i = end + 1;
    }
    parts.removeDuplicates();
    return parts;
}

// The texts that contain the search text, as rows of SearchText (Kind, ID, Name, rank), nodes
// first, at most SearchLimit of them. The folded texts are compared with the folded search text
// (case and "ё" do not count), through an index where the engine has one:
// - SQLite: the trigram index SearchIndex over the folds, asked for the text's rare parts (see
//   rareTextParts) or the whole text; it needs three characters, so a text of two is looked for
//   by a scan of the folds;
// - PostgreSQL: LIKE over the trigram index on the folds, with the backslash, % and _ of the
//   text escaped so that they stand for themselves.
QString searchMatches(const Connection &cn, const QString &what, QVariantMap &params) {
    const QString folded = FoldText(what);
    const QString select = QStringLiteral("SELECT s.Kind, s.ID, s.Name, %1 AS SearchRank FROM ")
                               .arg(QString::fromLatin1(SearchRank));
    const QString order = QStringLiteral(" ORDER BY SearchRank, s.Name, s.ID LIMIT %1").arg(SearchLimit);
    if (cn.engine() == Engine::PostgreSQL) {
        params.insert(QStringLiteral("P"), ProcText::likeContains(folded));
        return select + QStringLiteral("SearchText s WHERE s.Folded LIKE CAST(:P AS text) ESCAPE '\\'") +
               order;
    }
    if (folded.toUcs4().size() >= 3) {
        QStringList parts = rareTextParts(cn, folded);
        const bool whole = parts.isEmpty();
        if (whole)
            parts << folded;
        QStringList phrases;
        for (QString part : parts) {
            part.replace(u'"', QStringLiteral("\"\""));
            phrases << u'"' + part + u'"';
        }
        params.insert(QStringLiteral("P"), phrases.join(u' '));
        QString sql = select + QStringLiteral("SearchIndex JOIN SearchText s ON s.rowid = SearchIndex.rowid "
                                              "WHERE SearchIndex MATCH :P");
        if (!whole) {
            params.insert(QStringLiteral("F"), folded);
            sql += QStringLiteral(" AND instr(s.Folded, :F) > 0");
        }
        return sql + order;
    }
    params.insert(QStringLiteral("P"), folded);
    return select + QStringLiteral("SearchText s WHERE instr(s.Folded, :P) > 0") + order;
}

// The type letter of an element hit: the type of its model's kind, else of the kind recorded on
// the element itself, else H (an element that lost both still shows as equipment).
QString elementType(const QVariant &modelType, const QVariant &ownType) {
    for (const QVariant &t : {modelType, ownType}) {
        const QString s = t.toString().trimmed();
        if (s == u"H" || s == u"M" || s == u"S")
            return s;
    }
    return QStringLiteral("H");
}

// The departments, workplaces, devices and elements whose searchable text contains the search
// text, without regard to case. A text shorter than two characters finds nothing. Every hit is
// checked here once more, so that the view can rely on its name containing the text whatever
// the engine's notion of case.
ResultSet gridSearch(ProcedureCall &call) {
    const QString what = call.argText(QStringLiteral("@P"));
    if (what.toUcs4().size() < 2)
        return shaped(SearchColumns, std::vector<QVector<QVariant>>{});
    QVariantMap params;
    const QString matches = searchMatches(call.cn, what, params);
    const ResultSet rs =
        call.cn.query(QStringLiteral("SELECT t.Kind, t.ID, t.Name, t.SearchRank, c.CmplIdModel, "
                                     "c.DocumentId, km.KindType AS ModelType, "
                                     "kc.KindType AS OwnType "
                                     "FROM (%1) t "
                                     "LEFT JOIN CompleteSet c ON t.Kind = 'E' AND c.IdComponent = t.ID "
                                     "LEFT JOIN Model m ON m.IdModel = c.CmplIdModel "
                                     "LEFT JOIN Kind km ON km.IdKind = m.ModlKind "
                                     "LEFT JOIN Kind kc ON kc.IdKind = c.ModelKind")
                          .arg(matches),
                      params);

    struct Hit {
        int rank;
        QString name;
        int id;
        QVector<QVariant> values;
    };
    std::vector<Hit> hits;
    hits.reserve(rs.rows.size());
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        const QString name = rs.value(i, QStringLiteral("Name")).toString();
        if (!ContainsText(name, what))
            continue;
        const QString kind = rs.value(i, QStringLiteral("Kind")).toString().trimmed();
        const bool element = kind == u"E";
        const int id = rs.value(i, QStringLiteral("ID")).toInt();
        hits.push_back(
            {rs.value(i, QStringLiteral("SearchRank")).toInt(),
             name,
             id,
             {element ? elementType(rs.value(i, QStringLiteral("ModelType")),
                                    rs.value(i, QStringLiteral("OwnType")))
                      : kind,
              id, name, element ? intOrNull(rs.value(i, QStringLiteral("CmplIdModel"))) : QVariant(),
              element ? intOrNull(rs.value(i, QStringLiteral("DocumentId"))) : QVariant()}});
    }
    std::sort(hits.begin(), hits.end(), [](const Hit &a, const Hit &b) {
        if (a.rank != b.rank)
            return a.rank < b.rank;
        const int c = CompareText(a.name, b.name);
        return c != 0 ? c < 0 : a.id < b.id;
    });
    std::vector<QVector<QVariant>> rows;
    rows.reserve(hits.size());
    for (Hit &h : hits)
        rows.push_back(std::move(h.values));
    return shaped(SearchColumns, std::move(rows));
}

} // namespace

void registerViewProcedures() {
    using Proc::in;
    Proc::add(QStringLiteral("GridModelKind"), {in("@KD", FT::String, 1)}, ModelKindColumns, gridModelKind);
    Proc::add(QStringLiteral("GridModelList"), {in("@ID", FT::Integer)}, ModelListColumns, gridModelList);
    Proc::add(QStringLiteral("GridModelSet"), {in("@IdModel", FT::Integer)}, ModelSetColumns, gridModelSet);
    Proc::add(QStringLiteral("GridDocumentList"), {in("@DT", FT::DateTime)}, DocumentListColumns,
              gridDocumentList);
    Proc::add(QStringLiteral("GridDocumentPosition"), {in("@ID", FT::Integer)}, DocumentPositionColumns,
              gridDocumentPosition);
    Proc::add(QStringLiteral("GridChangeModel"), {}, ChangeModelColumns, gridChangeModel);
    Proc::add(QStringLiteral("GridChangeDevice"), {in("@ID", FT::Integer)}, ChangeDeviceColumns,
              gridChangeDevice);
    Proc::add(QStringLiteral("GridSearch"), {in("@P", FT::String, 250)}, SearchColumns, gridSearch);
}
