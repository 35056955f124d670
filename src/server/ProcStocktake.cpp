// Stocktaking: a count of what stands at a department or workplace, driven by scanned label codes.
// The count and every scan are kept in the database as they happen, so a second workstation can
// scan into the same count and a count left midway is resumed where it stopped.
#include "server/ServerProcs.h"

#include "server/ElementMoves.h"
#include "server/Journal.h"
#include "server/LookupCommon.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSet>

using namespace lookup;

namespace {

QString str(const char *utf8) {
    return QString::fromUtf8(utf8);
}

bool isPg(const Connection &cn) {
    return cn.engine() == Engine::PostgreSQL;
}

QDateTime nowToSecond() {
    const QDateTime now = QDateTime::currentDateTime();
    return QDateTime(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second()));
}

constexpr int CodeWidth = 50;

// The codes labels carry (the rule of model/LabelCode.h, which the server does not include): a
// device's inventory number as printed, or "V<key>" for a device without one; a "V<key>" names
// the device only when it has no number (no "V" followed by a leading zero is ever printed).
QString deviceCode(const QString &number, qint64 key) {
    const QString t = number.trimmed();
    return t.isEmpty() ? QStringLiteral("V%1").arg(key) : t;
}

qint64 deviceKeyOfCode(const QString &code) {
    static const QRegularExpression re(QStringLiteral(R"(^[Vv]([1-9][0-9]{0,9})$)"));
    const auto m = re.match(code.trimmed());
    const qint64 key = m.hasMatch() ? m.captured(1).toLongLong() : 0;
    return key <= 2147483647 ? key : 0;
}

// ---- The count and its place ----------------------------------------------------------------------

struct Count {
    qint64 id = 0;
    QVariant department, workplace;
    bool elements = false;
    bool finished = false;
};

// Reads the count; on PostgreSQL `lock` holds its row for the rest of the transaction ("SHARE" for
// a scan, so scans go on side by side while a finish waits for them; "UPDATE" for a finish).
Count readCount(ProcedureCall &call, const char *lock) {
    if (call.isNull(QStringLiteral("@ID")))
        throw AppError(str("Не указана инвентаризация"));
    const qint64 id = call.arg(QStringLiteral("@ID")).toLongLong();
    const ResultSet rs = call.cn.query(
        QStringLiteral("SELECT StckIdDepartment, StckIdWorkplace, StckElements, StckFinished FROM Stocktake "
                       "WHERE IdStocktake = :ID") +
            (isPg(call.cn) ? QStringLiteral(" FOR ") + QString::fromLatin1(lock) : QString()),
        {{QStringLiteral("ID"), id}});
    if (rs.rows.empty())
        throw AppError(str("Инвентаризация не найдена: возможно, её удалили вместе с её местом"));
    const auto &r = rs.rows.front();
    return {id, r[0], r[1], r[2].toBool(), !r[3].isNull()};
}

// The workplaces a count covers: the workplace, or every workplace of the department and of the
// departments under it (a department placed under its own descendant is visited once).
QSet<qint64> countWorkplaces(Connection &cn, const Count &c) {
    QSet<qint64> out;
    if (!c.workplace.isNull()) {
        out.insert(c.workplace.toLongLong());
        return out;
    }
    for (const auto &r :
         cn.query(QStringLiteral("WITH RECURSIVE deps(id) AS (SELECT CAST(:D AS integer) UNION "
                                 "SELECT d.IdDepartment FROM Department d JOIN deps ON "
                                 "d.DprtIdHigher = deps.id) SELECT w.IdWorkplace FROM Workplace w "
                                 "WHERE w.WrkpIdDepartment IN (SELECT id FROM deps)"),
                  {{QStringLiteral("D"), c.department.toLongLong()}})
             .rows)
        out.insert(r[0].toLongLong());
    return out;
}

// The keys as an SQL list of numbers ("1, 5, 7"); "NULL" for none, which matches nothing.
QString keyList(const QSet<qint64> &keys) {
    QStringList parts;
    for (const qint64 k : keys)
        parts << QString::number(k);
    return parts.isEmpty() ? QStringLiteral("NULL") : parts.join(QStringLiteral(", "));
}

// The places of many workplaces in words, the departments read once.
class PlaceTexts {
public:
    explicit PlaceTexts(Connection &cn) : m_cn(cn) {}

    QString of(qint64 workplace) {
        if (const auto it = m_workplaces.constFind(workplace); it != m_workplaces.constEnd())
            return *it;
        if (!m_loaded) {
            for (const auto &r :
                 m_cn.query(QStringLiteral("SELECT IdDepartment, DprtName, DprtIdHigher FROM Department"))
                     .rows)
                m_departments.insert(r[0].toLongLong(), {r[1].toString().trimmed(), r[2]});
            m_loaded = true;
        }
        const ResultSet w = m_cn.query(
            QStringLiteral("SELECT WrkpName, WrkpIdDepartment FROM Workplace WHERE IdWorkplace = :W"),
            {{QStringLiteral("W"), workplace}});
        QString text;
        if (!w.rows.empty()) {
            QStringList parts{w.rows.front()[0].toString().trimmed()};
            QVariant dep = w.rows.front()[1];
            QSet<qint64> seen; // a department placed under its own descendant is named once
            while (!dep.isNull() && !seen.contains(dep.toLongLong()) &&
                   m_departments.contains(dep.toLongLong())) {
                seen.insert(dep.toLongLong());
                const auto &d = m_departments[dep.toLongLong()];
                parts.prepend(d.first);
                dep = d.second;
            }
            text = cut(joined(parts, QStringLiteral(" / ")), 500);
        }
        m_workplaces.insert(workplace, text);
        return text;
    }

private:
    Connection &m_cn;
    bool m_loaded = false;
    QHash<qint64, std::pair<QString, QVariant>> m_departments; // name, department above
    QHash<qint64, QString> m_workplaces;
};

// Where a workplace is, in words: the departments from the top and the workplace, joined by " / ".
QString workplacePlace(Connection &cn, const QVariant &workplace) {
    const ResultSet w =
        cn.query(QStringLiteral("SELECT WrkpName, WrkpIdDepartment FROM Workplace WHERE IdWorkplace = :W"),
                 {{QStringLiteral("W"), workplace}});
    if (w.rows.empty())
        return {};
    QStringList parts = departmentPath(cn, w.rows.front()[1]);
    parts << w.rows.front()[0].toString();
    return cut(joined(parts, QStringLiteral(" / ")), 500);
}

// ---- What a code stands for -------------------------------------------------------------------------

// A thing a code names: a device ("V") or an element ("E"), with the workplace it stands at.
struct Thing {
    QString kind; // empty: nothing in the database
    qint64 id = 0;
    qint64 workplace = 0;
    qint64 device = 0; // an element's device
    QString code;      // the code as it matched
};

// The keys of the Russian keyboard typed with the English layout and back: a USB scanner types
// key by key, so a code scanned while the other layout is on arrives in the other alphabet.
const char16_t *const RussianKeys = u"йцукенгшщзхъфывапролджэячсмитьбюёЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮЁ";
const char16_t *const LatinKeys = u"qwertyuiop[]asdfghjkl;'zxcvbnm,.`QWERTYUIOP{}ASDFGHJKL:\"ZXCVBNM<>~";

QString otherLayout(const QString &code) {
    static const QString ru = QString::fromUtf16(RussianKeys), en = QString::fromUtf16(LatinKeys);
    const bool russian = std::any_of(code.begin(), code.end(), [](QChar c) { return ru.contains(c); });
    QString out = code;
    for (QChar &c : out) {
        const qsizetype at = russian ? ru.indexOf(c) : en.indexOf(c);
        if (at >= 0)
            c = russian ? en[at] : ru[at];
    }
    return out;
}

// The devices and elements a code names: an inventory number, "V<key>" for a device without one,
// an element's serial number; of several, the one standing in the count's place first.
Thing lookUp(Connection &cn, const QString &code, const QSet<qint64> &here) {
    auto pick = [&](const ResultSet &rs, const char *kind) -> Thing {
        Thing best;
        for (const auto &r : rs.rows) {
            Thing t{QString::fromLatin1(kind), r[0].toLongLong(), r[1].toLongLong(), r[2].toLongLong(), code};
            if (best.kind.isEmpty() || (here.contains(t.workplace) && !here.contains(best.workplace)))
                best = t;
        }
        return best;
    };
    const QVariantMap p{{QStringLiteral("C"), code}};
    const QString devices = QStringLiteral(
        "SELECT IdDevice, DevcIdWorkplace, IdDevice FROM DeviceUnit WHERE %1 ORDER BY IdDevice");
    // A number kept with blanks around it is printed without them (the index holds the trimmed text).
    Thing t = pick(cn.query(devices.arg(QStringLiteral("trim(DevcNumber) = :C")), p), "V");
    if (t.kind.isEmpty())
        if (const qint64 key = deviceKeyOfCode(code))
            t = pick(
                cn.query(devices.arg(QStringLiteral("IdDevice = :K AND coalesce(trim(DevcNumber), '') = ''")),
                         {{QStringLiteral("K"), key}}),
                "V");
    if (t.kind.isEmpty())
        t = pick(
            cn.query(QStringLiteral(
                         "SELECT c.IdComponent, d.DevcIdWorkplace, d.IdDevice FROM CompleteSet c "
                         "JOIN DeviceUnit d ON d.IdDevice = c.CmplIdDevice WHERE trim(c.NumberManufact) = "
                         ":C ORDER BY c.IdComponent"),
                     p),
            "E");
    return t;
}

Thing resolve(Connection &cn, const QString &code, const QSet<qint64> &here) {
    Thing t = lookUp(cn, code, here);
    if (t.kind.isEmpty()) {
        const QString other = otherLayout(code);
        if (other != code) {
            Thing o = lookUp(cn, other, here);
            if (!o.kind.isEmpty())
                return o;
        }
    }
    t.code = code;
    return t;
}

// Where the database has a thing, in words: the workplace's place, and an element's device.
QString thingPlace(Connection &cn, const Thing &t) {
    QString place = workplacePlace(cn, t.workplace);
    if (t.kind == u"E") {
        const QString device =
            cn.scalar(QStringLiteral("SELECT DevcName FROM DeviceUnit WHERE IdDevice = :V"),
                      {{QStringLiteral("V"), t.device}})
                .toString()
                .trimmed();
        place = cut(joined({place, device}, QStringLiteral(" / ")), 500);
    }
    return place;
}

// ---- The comparison ------------------------------------------------------------------------------

QString stateText(QChar result) {
    switch (result.unicode()) {
    case u'F':
        return str("найдено");
    case u'N':
        return str("не найдено");
    case u'P':
        return str("не на своём месте");
    default:
        return str("нет в базе");
    }
}

int rank(QChar result) {
    return QStringLiteral("FNPU").indexOf(result);
}

QVector<ColumnInfo> listColumns() {
    using Proc::col;
    return {col("Result", FT::FixedChar, 1), col("State", FT::String, 20),  col("Kind", FT::FixedChar, 1),
            col("ObjectId", FT::Integer),    col("Code", FT::String, 50),   col("Name", FT::String, 100),
            col("KindName", FT::String, 30), col("Place", FT::String, 500), col("Scanned", FT::DateTime),
            col("Times", FT::Integer)};
}

// One row of the list, by the columns above.
struct Row {
    QChar result;
    QString kind;
    qint64 id = 0;
    QString code, name, kindName, place;
    QVariant scanned;
    int times = 0;
    QString sortPlace;
};

// The devices (and, when the count takes them, the elements with a serial number) standing in
// the count's place, with their codes and names.
struct Expected {
    QString kind;
    qint64 id;
    QString code, name, kindName, place;
};

QList<Expected> expected(Connection &cn, const Count &c, const QSet<qint64> &here) {
    QList<Expected> out;
    PlaceTexts places(cn);
    const QString keys = keyList(here);
    for (const auto &r :
         cn.query(QStringLiteral("SELECT d.IdDevice, d.DevcNumber, d.DevcName, k.KindName, "
                                 "d.DevcIdWorkplace FROM DeviceUnit d LEFT JOIN Kind k ON k.IdKind = "
                                 "d.DevcIdKind WHERE d.DevcIdWorkplace IN (%1)")
                      .arg(keys))
             .rows)
        out.append({QStringLiteral("V"), r[0].toLongLong(), deviceCode(r[1].toString(), r[0].toLongLong()),
                    r[2].toString().trimmed(), r[3].toString().trimmed(), places.of(r[4].toLongLong())});
    if (!c.elements)
        return out;
    for (const auto &r :
         cn.query(
               QStringLiteral("SELECT s.IdComponent, s.NumberManufact, m.ModlName, k.KindName, d.DevcName, "
                              "d.DevcIdWorkplace FROM CompleteSet s JOIN DeviceUnit d ON d.IdDevice = "
                              "s.CmplIdDevice LEFT JOIN Model m ON m.IdModel = s.CmplIdModel "
                              "LEFT JOIN Kind k ON k.IdKind = coalesce(m.ModlKind, s.ModelKind) "
                              "WHERE d.DevcIdWorkplace IN (%1) AND trim(s.NumberManufact) <> ''")
                   .arg(keys))
             .rows)
        out.append(
            {QStringLiteral("E"), r[0].toLongLong(), r[1].toString().trimmed(), r[2].toString().trimmed(),
             r[3].toString().trimmed(),
             cut(joined({places.of(r[5].toLongLong()), r[4].toString()}, QStringLiteral(" / ")), 500)});
    return out;
}

// The name and kind of a thing found elsewhere.
void describeThing(Connection &cn, Row &row) {
    const QVariantMap p{{QStringLiteral("K"), row.id}};
    const ResultSet rs =
        row.kind == u"V"
            ? cn.query(QStringLiteral(
                           "SELECT d.DevcName, k.KindName FROM DeviceUnit d LEFT JOIN Kind k ON k.IdKind "
                           "= d.DevcIdKind WHERE d.IdDevice = :K"),
                       p)
            : cn.query(QStringLiteral("SELECT m.ModlName, k.KindName FROM CompleteSet s LEFT JOIN Model m ON "
                                      "m.IdModel = s.CmplIdModel LEFT JOIN Kind k ON k.IdKind = "
                                      "coalesce(m.ModlKind, s.ModelKind) WHERE s.IdComponent = :K"),
                       p);
    if (!rs.rows.empty()) {
        row.name = rs.rows.front()[0].toString().trimmed();
        row.kindName = rs.rows.front()[1].toString().trimmed();
    }
}

// The workplace a device or element stands at now; 0 when it is gone.
qint64 standsAt(Connection &cn, const QString &kind, qint64 id) {
    return (kind == u"V"
                ? cn.scalar(QStringLiteral("SELECT DevcIdWorkplace FROM DeviceUnit WHERE IdDevice = :K"),
                            {{QStringLiteral("K"), id}})
                : cn.scalar(QStringLiteral("SELECT d.DevcIdWorkplace FROM CompleteSet s JOIN DeviceUnit d ON "
                                           "d.IdDevice = s.CmplIdDevice WHERE s.IdComponent = :K"),
                            {{QStringLiteral("K"), id}}))
        .toLongLong();
}

// The comparison of an open count as it stands now: what is expected, found or not; what was
// scanned and belongs elsewhere; codes the database does not know. A thing scanned under two
// codes (its number and its key) is one row.
QList<Row> compare(Connection &cn, const Count &c) {
    const QSet<qint64> here = countWorkplaces(cn, c);
    const ResultSet scans = cn.query(
        QStringLiteral(
            "SELECT Code, Scanned, IdDevice, IdComponent, Times FROM StocktakeScan WHERE IdStocktake = "
            ":ID AND Result <> 'N' ORDER BY Scanned, ID"),
        {{QStringLiteral("ID"), c.id}});
    QHash<QString, qsizetype> byThing; // "V12" -> index in rows
    QList<Row> rows;
    for (const Expected &e : expected(cn, c, here)) {
        byThing.insert(e.kind + QString::number(e.id), rows.size());
        rows.append({u'N', e.kind, e.id, e.code, e.name, e.kindName, e.place, {}, 0, e.place});
    }
    for (const auto &s : scans.rows) {
        const QString kind = !s[2].isNull()   ? QStringLiteral("V")
                             : !s[3].isNull() ? QStringLiteral("E")
                                              : QString();
        const qint64 id = kind == u"V" ? s[2].toLongLong() : s[3].toLongLong();
        const QString key = kind + QString::number(id);
        if (!kind.isEmpty() && byThing.contains(key)) {
            Row &r = rows[byThing.value(key)];
            if (r.result == u'N') {
                r.result = u'F';
                r.scanned = s[1];
            }
            r.times += s[4].toInt();
            continue;
        }
        Row r{kind.isEmpty() ? u'U' : u'P', kind, id, s[0].toString(), {}, {}, {}, s[1], s[4].toInt(), {}};
        if (!kind.isEmpty()) {
            const qint64 w = standsAt(cn, kind, id);
            if (w == 0) { // deleted since it was scanned
                r.result = u'U';
                r.kind.clear();
                r.id = 0;
            } else {
                describeThing(cn, r);
                Thing t{kind,
                        id,
                        w,
                        kind == u"E" ? cn.scalar(QStringLiteral("SELECT CmplIdDevice FROM CompleteSet "
                                                                "WHERE IdComponent = :K"),
                                                 {{QStringLiteral("K"), id}})
                                           .toLongLong()
                                     : id,
                        {}};
                r.place = thingPlace(cn, t);
            }
        }
        r.sortPlace = r.place;
        if (!kind.isEmpty())
            byThing.insert(key, rows.size());
        rows.append(r);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) {
        if (rank(a.result) != rank(b.result))
            return rank(a.result) < rank(b.result);
        if (a.result == u'U' || a.result == u'P')
            return false; // in the order scanned
        if (const int cp = CompareText(a.sortPlace, b.sortPlace))
            return cp < 0;
        if (const int cn = CompareText(a.name, b.name))
            return cn < 0;
        return a.id < b.id;
    });
    return rows;
}

// The list of a finished count, as it was frozen when it was finished.
QList<Row> frozen(Connection &cn, const Count &c) {
    QList<Row> rows;
    for (const auto &s :
         cn.query(QStringLiteral(
                      "SELECT Result, Code, Scanned, IdDevice, IdComponent, Place, Times FROM StocktakeScan "
                      "WHERE IdStocktake = :ID ORDER BY ID"),
                  {{QStringLiteral("ID"), c.id}})
             .rows) {
        const QString kind = !s[3].isNull()   ? QStringLiteral("V")
                             : !s[4].isNull() ? QStringLiteral("E")
                                              : QString();
        Row r{s[0].toString().at(0), kind, kind == u"V" ? s[3].toLongLong() : s[4].toLongLong(),
              s[1].toString(),       {},   {},
              s[5].toString(),       s[2], s[6].toInt(),
              s[5].toString()};
        if (r.result == u'N')
            r.scanned = QVariant();
        if (!kind.isEmpty())
            describeThing(cn, r);
        rows.append(r);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) {
        if (rank(a.result) != rank(b.result))
            return rank(a.result) < rank(b.result);
        if (a.result == u'U' || a.result == u'P')
            return false;
        if (const int cp = CompareText(a.sortPlace, b.sortPlace))
            return cp < 0;
        return CompareText(a.name, b.name) < 0;
    });
    return rows;
}

ResultSet toResult(const QList<Row> &rows) {
    ResultSet rs{listColumns(), {}};
    for (const Row &r : rows)
        rs.rows.push_back({QString(r.result), stateText(r.result),
                           r.kind.isEmpty() ? QVariant() : QVariant(r.kind),
                           r.id ? QVariant(r.id) : QVariant(), r.code, r.name, r.kindName, r.place, r.scanned,
                           r.times > 0 ? QVariant(r.times) : QVariant()});
    return rs;
}

// ---- The procedures ------------------------------------------------------------------------------

// Starts a count of a department (@Department) or a workplace (@Workplace), or resumes the one
// open there: of two workstations starting at once, both get the same count.
ResultSet start(ProcedureCall &call) {
    const bool byDepartment = !call.isNull(QStringLiteral("@Department")),
               byWorkplace = !call.isNull(QStringLiteral("@Workplace"));
    if (byDepartment == byWorkplace)
        throw AppError(str("Выберите подразделение или рабочее место для инвентаризации"));
    const QString column =
        byDepartment ? QStringLiteral("StckIdDepartment") : QStringLiteral("StckIdWorkplace");
    const QVariant place =
        call.arg(byDepartment ? QStringLiteral("@Department") : QStringLiteral("@Workplace"));
    const QVariantMap p{{QStringLiteral("P"), place.toLongLong()}};
    const bool exists =
        byDepartment
            ? call.cn.query(QStringLiteral("SELECT 1 FROM Department WHERE IdDepartment = :P"), p).rows.size()
            : call.cn.query(QStringLiteral("SELECT 1 FROM Workplace WHERE IdWorkplace = :P"), p).rows.size();
    if (!exists)
        throw AppError(byDepartment
                           ? str("Подразделение не найдено: возможно, его удалил другой пользователь")
                           : str("Рабочее место не найдено: возможно, его удалил другой пользователь"));
    QString person = call.argText(QStringLiteral("@Person"));
    if (person.isEmpty())
        person = call.cn.person().isEmpty() ? Journal::WorkstationPerson() : call.cn.person();
    const int added = call.cn.execute(
        QStringLiteral(
            "INSERT INTO Stocktake (%1, StckElements, StckPerson, StckStarted) VALUES (:P, %2, :U, :S) "
            "ON CONFLICT DO NOTHING")
            .arg(column, Proc::sqlBool(call.cn, call.argInt(QStringLiteral("@Elements")) != 0)),
        {{QStringLiteral("P"), place.toLongLong()},
         {QStringLiteral("U"), cut(person, 100)},
         {QStringLiteral("S"), nowToSecond()}});
    ResultSet rs = call.cn.query(
        QStringLiteral(
            "SELECT IdStocktake, StckElements, StckPerson, StckStarted FROM Stocktake WHERE %1 = :P AND "
            "StckFinished IS NULL")
            .arg(column),
        p);
    if (rs.rows.empty()) // finished by another workstation between the two statements
        throw AppError(
            str("Инвентаризацию этого места только что завершил другой пользователь; начните её снова"));
    call.setOut(QStringLiteral("@IdStocktake"), rs.rows.front()[0]);
    call.setOut(QStringLiteral("@Resumed"), added == 0 ? 1 : 0);
    return Proc::none();
}

// Records one scanned code and tells what it is: found on its place, here though kept elsewhere,
// or unknown; a code scanned before is counted once (Times grows).
ResultSet scan(ProcedureCall &call) {
    const Count c = readCount(call, "SHARE");
    if (c.finished)
        throw AppError(str("Инвентаризация уже завершена: отсканированное в неё не добавляется"));
    const QString code = call.arg(QStringLiteral("@Code")).toString().trimmed();
    if (code.isEmpty())
        throw AppError(str("Пустой код: отсканируйте этикетку ещё раз"));
    if (code.size() > CodeWidth)
        throw AppError(
            str("Код длиннее %1 символов, такого на этикетках нет: %2").arg(CodeWidth).arg(quoteInput(code)));
    const QSet<qint64> here = countWorkplaces(call.cn, c);
    const Thing t = resolve(call.cn, code, here);
    const QChar result = t.kind.isEmpty() ? u'U' : here.contains(t.workplace) ? u'F' : u'P';
    const QString place = result == u'P' ? thingPlace(call.cn, t) : QString();
    const QVariantMap key{{QStringLiteral("ID"), c.id}, {QStringLiteral("K"), t.id}};
    QVariant times;
    // The same thing scanned under another code (its number changed between two scans) counts on its
    // first row.
    if (!t.kind.isEmpty())
        times = call.cn.scalar(
            QStringLiteral("UPDATE StocktakeScan SET Times = Times + 1 WHERE ID = (SELECT min(ID) "
                           "FROM StocktakeScan WHERE IdStocktake = :ID AND %1 = :K AND Code <> :C) "
                           "RETURNING Times")
                .arg(t.kind == u"V" ? QStringLiteral("IdDevice") : QStringLiteral("IdComponent")),
            {{QStringLiteral("ID"), c.id}, {QStringLiteral("K"), t.id}, {QStringLiteral("C"), t.code}});
    if (times.isNull())
        times = call.cn.scalar(
            QStringLiteral(
                "INSERT INTO StocktakeScan (IdStocktake, Code, Scanned, Result, IdDevice, IdComponent, "
                "Place, Person) VALUES (:ID, :C, :S, :R, :V, :E, :PL, :U) ON CONFLICT (IdStocktake, Code) "
                "DO UPDATE SET Times = StocktakeScan.Times + 1 RETURNING Times"),
            {{QStringLiteral("ID"), c.id},
             {QStringLiteral("C"), t.code},
             {QStringLiteral("S"), nowToSecond()},
             {QStringLiteral("R"), QString(result)},
             {QStringLiteral("V"), t.kind == u"V" ? QVariant(t.id) : QVariant(QMetaType::fromType<qint64>())},
             {QStringLiteral("E"), t.kind == u"E" ? QVariant(t.id) : QVariant(QMetaType::fromType<qint64>())},
             {QStringLiteral("PL"),
              place.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(place)},
             {QStringLiteral("U"),
              cut(call.cn.person().isEmpty() ? Journal::WorkstationPerson() : call.cn.person(), 100)}});
    Row r{result, t.kind, t.id, t.code, {}, {}, place, nowToSecond(), times.toInt(), {}};
    if (!t.kind.isEmpty())
        describeThing(call.cn, r);
    call.setOut(QStringLiteral("@Result"), QString(result));
    call.setOut(QStringLiteral("@State"), stateText(result));
    call.setOut(QStringLiteral("@Kind"), t.kind);
    call.setOut(QStringLiteral("@ObjectId"), t.kind.isEmpty() ? QVariant() : QVariant(t.id));
    call.setOut(QStringLiteral("@Matched"), t.code);
    call.setOut(QStringLiteral("@Name"), cut(r.name, 100));
    call.setOut(QStringLiteral("@Place"), place);
    call.setOut(QStringLiteral("@Times"), times.toInt());
    return Proc::none();
}

ResultSet list(ProcedureCall &call) {
    const Count c = readCount(call, "SHARE");
    return toResult(c.finished ? frozen(call.cn, c) : compare(call.cn, c));
}

// Finishes a count: its list is frozen as it stands (what was not found is written down), and
// later moves no longer change it. Finishing a finished count does nothing.
ResultSet finish(ProcedureCall &call) {
    const Count c = readCount(call, "UPDATE");
    if (c.finished)
        return Proc::none();
    const QDateTime now = nowToSecond();
    for (const Row &r : compare(call.cn, c)) {
        if (r.result == u'N') {
            QVariantMap p{{QStringLiteral("ID"), c.id},
                          {QStringLiteral("C"), r.code},
                          {QStringLiteral("S"), now},
                          {QStringLiteral("V"),
                           r.kind == u"V" ? QVariant(r.id) : QVariant(QMetaType::fromType<qint64>())},
                          {QStringLiteral("E"),
                           r.kind == u"E" ? QVariant(r.id) : QVariant(QMetaType::fromType<qint64>())},
                          {QStringLiteral("PL"), r.place}};
            const QString insert =
                QStringLiteral("INSERT INTO StocktakeScan (IdStocktake, Code, Scanned, Result, IdDevice, "
                               "IdComponent, Place) VALUES "
                               "(:ID, :C, :S, 'N', :V, :E, :PL) ON CONFLICT (IdStocktake, Code) DO NOTHING");
            // A code another thing was scanned under (a number two devices share) names it by its key.
            if (call.cn.execute(insert, p) == 0) {
                p[QStringLiteral("C")] =
                    (r.kind == u"V" ? QStringLiteral("V") : QStringLiteral("E")) + QString::number(r.id);
                call.cn.execute(insert, p);
            }
            continue;
        }
        if (r.kind.isEmpty())
            call.cn.execute(
                QStringLiteral("UPDATE StocktakeScan SET Result = 'U', Place = NULL WHERE IdStocktake = :ID "
                               "AND Code = :C"),
                {{QStringLiteral("ID"), c.id}, {QStringLiteral("C"), r.code}});
        else
            call.cn.execute(
                QStringLiteral("UPDATE StocktakeScan SET Result = :R, Place = :PL WHERE IdStocktake = :ID "
                               "AND %1 = :K")
                    .arg(r.kind == u"V" ? QStringLiteral("IdDevice") : QStringLiteral("IdComponent")),
                {{QStringLiteral("ID"), c.id},
                 {QStringLiteral("K"), r.id},
                 {QStringLiteral("R"), QString(r.result)},
                 {QStringLiteral("PL"), r.place}});
    }
    call.cn.execute(QStringLiteral("UPDATE Stocktake SET StckFinished = :S WHERE IdStocktake = :ID"),
                    {{QStringLiteral("S"), now}, {QStringLiteral("ID"), c.id}});
    return Proc::none();
}

// Moves a device found here but kept elsewhere to the count's workplace (@Workplace: which
// workplace of a counted department), as a device's move is recorded everywhere: the device's row
// (and so its journal), and one move entry for each of its elements.
ResultSet moveHere(ProcedureCall &call) {
    const Count c = readCount(call, "SHARE");
    if (c.finished)
        throw AppError(str("Инвентаризация уже завершена: перемещение из неё недоступно"));
    if (call.isNull(QStringLiteral("@Device")))
        throw AppError(str("Не указано устройство для перемещения"));
    const qint64 device = call.arg(QStringLiteral("@Device")).toLongLong();
    const QSet<qint64> here = countWorkplaces(call.cn, c);
    qint64 target =
        c.workplace.isNull() ? call.arg(QStringLiteral("@Workplace")).toLongLong() : c.workplace.toLongLong();
    if (target == 0 || !here.contains(target))
        throw AppError(str("Выберите рабочее место этого подразделения, на которое переместить устройство"));
    const QVariant from =
        call.cn.scalar(QStringLiteral("SELECT DevcIdWorkplace FROM DeviceUnit WHERE IdDevice = :V") +
                           (isPg(call.cn) ? QStringLiteral(" FOR UPDATE") : QString()),
                       {{QStringLiteral("V"), device}});
    if (from.isNull())
        throw AppError(str("Устройство не найдено: возможно, его удалил другой пользователь"));
    if (!here.contains(from.toLongLong())) {
        call.cn.execute(
            QStringLiteral("UPDATE DeviceUnit SET DevcIdWorkplace = :W, RowVersion = RowVersion + 1 WHERE "
                           "IdDevice = :V"),
            {{QStringLiteral("W"), target}, {QStringLiteral("V"), device}});
        const ResultSet elements = call.cn.query(
            QStringLiteral(
                "SELECT IdComponent FROM CompleteSet WHERE CmplIdDevice = :V ORDER BY IdComponent"),
            {{QStringLiteral("V"), device}});
        for (const auto &e : elements.rows)
            RecordElementPlace(call.cn, e[0]);
    }
    call.cn.execute(
        QStringLiteral("UPDATE StocktakeScan SET Result = 'F', Place = NULL WHERE IdStocktake = :ID AND "
                       "IdDevice = :V"),
        {{QStringLiteral("ID"), c.id}, {QStringLiteral("V"), device}});
    return Proc::none();
}

// The counts of a place, newest first (the window offers to resume the open one).
ResultSet counts(ProcedureCall &call) {
    const bool byDepartment = !call.isNull(QStringLiteral("@Department"));
    ResultSet rs = call.cn.query(
        QStringLiteral(
            "SELECT IdStocktake, StckPerson, StckStarted, StckFinished, (SELECT count(*) FROM StocktakeScan "
            "s "
            "WHERE s.IdStocktake = t.IdStocktake AND s.Result <> 'N') FROM Stocktake t WHERE %1 = :P "
            "ORDER BY StckStarted DESC, IdStocktake DESC")
            .arg(byDepartment ? QStringLiteral("StckIdDepartment") : QStringLiteral("StckIdWorkplace")),
        {{QStringLiteral("P"),
          call.arg(byDepartment ? QStringLiteral("@Department") : QStringLiteral("@Workplace"))
              .toLongLong()}});
    rs.columns = call.def.columns;
    return rs;
}

} // namespace

void registerStocktakeProcedures() {
    using Proc::col;
    using Proc::in;
    using Proc::out;
    using Proc::req;
    // Both write, and tell what they did in output parameters (a procedure returning rows only reads).
    Proc::add(QStringLiteral("StocktakeStart"),
              {in("@Department", FT::Integer), in("@Workplace", FT::Integer), in("@Elements", FT::Integer),
               in("@Person", FT::String, 100), out("@IdStocktake", FT::Integer),
               out("@Resumed", FT::Integer)},
              {}, start);
    Proc::add(QStringLiteral("StocktakeScan"),
              {req("@ID", FT::Integer), in("@Code", FT::String, 200), out("@Result", FT::FixedChar, 1),
               out("@State", FT::String, 20), out("@Kind", FT::FixedChar, 1), out("@ObjectId", FT::Integer),
               out("@Matched", FT::String, 50), out("@Name", FT::String, 100), out("@Place", FT::String, 500),
               out("@Times", FT::Integer)},
              {}, scan);
    Proc::add(QStringLiteral("StocktakeList"), {req("@ID", FT::Integer)}, listColumns(), list);
    Proc::add(QStringLiteral("StocktakeFinish"), {req("@ID", FT::Integer)}, {}, finish);
    Proc::add(QStringLiteral("StocktakeMoveHere"),
              {req("@ID", FT::Integer), req("@Device", FT::Integer), in("@Workplace", FT::Integer)}, {},
              moveHere);
    Proc::add(
        QStringLiteral("StocktakeCounts"), {in("@Department", FT::Integer), in("@Workplace", FT::Integer)},
        {col("IdStocktake", FT::Integer), col("StckPerson", FT::String, 100),
         col("StckStarted", FT::DateTime), col("StckFinished", FT::DateTime), col("Scanned", FT::Integer)},
        counts);
}
