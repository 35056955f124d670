// Lookup lists: the short lists behind the selectors, and the display name of a model.
#include "server/ServerProcs.h"

#include "server/LookupCommon.h"

#include <QDateTime>
#include <QHash>
#include <algorithm>
#include <numeric>

using namespace lookup;
using namespace ProcText;

void registerLookupProcedures() {
    // Kinds of one type in their manual order (rows without an order last, then by key).
    Proc::add(QStringLiteral("LookKind"), {Proc::in("@TP", FT::String, 1)},
              {Proc::col("ID", FT::SmallInt), Proc::col("Name", FT::String, 52),
               Proc::col("KindType", FT::FixedChar, 1)},
              [](ProcedureCall &call) {
                  const ResultSet rs = call.cn.query(
                      QStringLiteral("SELECT IdKind, KindName, ShortName, KindType, KindOrder FROM Kind "
                                     "WHERE KindType = CAST(:T AS varchar(1))"),
                      {{QStringLiteral("T"), call.argText("@TP").toUpper()}});
                  std::vector<size_t> idx(rs.rows.size());
                  std::iota(idx.begin(), idx.end(), size_t(0));
                  std::sort(idx.begin(), idx.end(), [&](size_t a, size_t b) {
                      const QVariant oa = val(rs, a, "KindOrder"), ob = val(rs, b, "KindOrder");
                      if (orderBefore(oa, ob) || orderBefore(ob, oa))
                          return orderBefore(oa, ob);
                      return val(rs, a, "IdKind").toInt() < val(rs, b, "IdKind").toInt();
                  });
                  ResultSet out = declared(call);
                  for (size_t i : idx)
                      out.rows.push_back({val(rs, i, "IdKind").toInt(),
                                          kindLabel(text(rs, i, "KindName"), text(rs, i, "ShortName"), 52),
                                          text(rs, i, "KindType")});
                  return out;
              });

    // Models of one kind in their manual order (ModlWeight, rows without one last), then by name.
    Proc::add(QStringLiteral("LookUpModel"), {Proc::in("@KD", FT::Integer)},
              {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 60),
               Proc::col("Parameters", FT::String, 203)},
              [](ProcedureCall &call) {
                  const ResultSet rs = call.cn.query(
                      QStringLiteral(
                          "SELECT IdModel, ModlName, ModlNumber, DisplayParameters, ModlWeight FROM Model "
                          "WHERE ModlKind = CAST(:K AS integer)"),
                      {{QStringLiteral("K"), call.arg("@KD")}});
                  // Each row carries its weight as a fourth value while it is sorted.
                  ResultSet out = declared(call);
                  for (size_t i = 0; i < rs.rows.size(); ++i) {
                      QString name = text(rs, i, "ModlName");
                      if (name.isEmpty())
                          name = text(rs, i, "ModlNumber");
                      const QString params = text(rs, i, "DisplayParameters");
                      out.rows.push_back({val(rs, i, "IdModel").toInt(), cut(name, 60),
                                          params.isEmpty() ? QVariant() : QVariant(cut(params, 203)),
                                          val(rs, i, "ModlWeight")});
                  }
                  // By name first, then stably by weight: equal weights keep the name order.
                  sortByText(out, 1);
                  std::stable_sort(out.rows.begin(), out.rows.end(),
                                   [](const QVector<QVariant> &a, const QVector<QVariant> &b) {
                                       return orderBefore(a[3], b[3]);
                                   });
                  for (auto &r : out.rows)
                      r.resize(3);
                  return out;
              });

    // Every firm, by its display name (trademark and full name, kept by the database).
    Proc::add(QStringLiteral("LookUpClient"), {},
              {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 122)}, [](ProcedureCall &call) {
                  const ResultSet rs = call.cn.query(QStringLiteral(
                      "SELECT IdClient, DisplayName, ClntNameFull, ClntNameShort FROM Client"));
                  ResultSet out = declared(call);
                  for (size_t i = 0; i < rs.rows.size(); ++i) {
                      QString name = text(rs, i, "DisplayName");
                      if (name.isEmpty())
                          name = producerText({}, text(rs, i, "ClntNameShort"), text(rs, i, "ClntNameFull"));
                      out.rows.push_back({val(rs, i, "IdClient").toInt(), cut(name, 122)});
                  }
                  sortByText(out, 1);
                  return out;
              });

    // Every incoming document, newest first (by date, documents without one last; then the newest
    // key first), shown as "Накладная № 17 от 05.03.2014, Поставщик"; missing parts are left out.
    Proc::add(
        QStringLiteral("LookUpDocument"), {},
        {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 232), Proc::col("Date", FT::DateTime)},
        [](ProcedureCall &call) {
            const ResultSet rs =
                call.cn.query(QStringLiteral("SELECT d.IdDocument, d.DocNumber, d.DocDate, d.DocKind, k.Name "
                                             "AS KindName, c.DisplayName AS Supplier "
                                             "FROM Document d LEFT JOIN DocKind k ON k.ID = d.DocKind LEFT "
                                             "JOIN Client c ON c.IdClient = d.DocClient"));
            ResultSet out = declared(call);
            // The order's keys are worked out once per row: comparing the dates themselves would
            // convert them at every comparison, which for 25 000 documents cost more than reading them.
            // The columns are found once, and each row's date is taken apart once.
            struct Key {
                bool dated;
                qint64 day;
                int msecs, id;
            };
            std::vector<Key> keys;
            keys.reserve(rs.rows.size());
            out.rows.reserve(rs.rows.size());
            const int cId = rs.indexOf(QLatin1StringView("IdDocument")),
                      cNumber = rs.indexOf(QLatin1StringView("DocNumber")),
                      cDate = rs.indexOf(QLatin1StringView("DocDate")),
                      cKind = rs.indexOf(QLatin1StringView("DocKind")),
                      cKindName = rs.indexOf(QLatin1StringView("KindName")),
                      cSupplier = rs.indexOf(QLatin1StringView("Supplier"));
            // A value's text, trimmed, read in place; `other` keeps a value that is not text as text.
            const auto textAt = [](const QVector<QVariant> &row, int column, QString &other) -> QStringView {
                if (column < 0)
                    return {};
                const QVariant &v = row[column];
                if (v.typeId() == QMetaType::QString)
                    return QStringView(*static_cast<const QString *>(v.constData())).trimmed();
                other = v.toString();
                return QStringView(other).trimmed();
            };
            QString otherKind, otherNumber, otherSupplier;
            const QString documentWord = QStringLiteral("Документ"), numberWord = QStringLiteral(" № "),
                          fromWord = QStringLiteral(" от "), comma = QStringLiteral(", ");
            QHash<qint64, QString> days; // a few dates among many documents: each one's text once
            for (const QVector<QVariant> &row : rs.rows) {
                const QVariant date = cDate < 0 ? QVariant() : normalizeValue(FT::DateTime, row[cDate]);
                const bool dated = !date.isNull();
                QDate day;
                int msecs = 0;
                if (dated) {
                    const QDateTime when = date.toDateTime();
                    day = when.date();
                    msecs = when.time().msecsSinceStartOfDay();
                }
                QStringView kind = textAt(row, cKindName, otherKind);
                if (kind.isEmpty())
                    kind = textAt(row, cKind, otherKind);
                if (kind.isEmpty())
                    kind = documentWord;
                const QStringView number = textAt(row, cNumber, otherNumber);
                const QStringView supplier = textAt(row, cSupplier, otherSupplier);
                QString name;
                name.reserve(kind.size() + number.size() + supplier.size() + 20);
                name += kind;
                if (!number.isEmpty()) {
                    name += numberWord;
                    name += number;
                }
                const qint64 julian = dated ? day.toJulianDay() : 0;
                if (dated) {
                    auto it = days.constFind(julian);
                    if (it == days.constEnd())
                        it = days.insert(julian, day.toString(QStringLiteral("dd.MM.yyyy")));
                    name += fromWord;
                    name += *it;
                }
                if (!supplier.isEmpty()) {
                    name += comma;
                    name += supplier;
                }
                const int id = cId < 0 ? 0 : row[cId].toInt();
                keys.push_back({dated, julian, msecs, id});
                out.rows.push_back({id, cut(std::move(name), 232), date});
            }
            std::vector<size_t> order(out.rows.size());
            std::iota(order.begin(), order.end(), size_t(0));
            std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
                const Key &a = keys[x], &b = keys[y];
                if (a.dated != b.dated)
                    return a.dated;
                if (a.day != b.day)
                    return a.day > b.day;
                if (a.msecs != b.msecs)
                    return a.msecs > b.msecs;
                return a.id > b.id;
            });
            std::vector<QVector<QVariant>> sorted;
            sorted.reserve(order.size());
            for (size_t i : order)
                sorted.push_back(std::move(out.rows[i]));
            out.rows = std::move(sorted);
            return out;
        });

    // Every trademark, by name.
    Proc::add(QStringLiteral("LookUpTrademark"), {},
              {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 122)}, [](ProcedureCall &call) {
                  const ResultSet rs = call.cn.query(QStringLiteral("SELECT ID, Name FROM Trademark"));
                  ResultSet out = declared(call);
                  for (size_t i = 0; i < rs.rows.size(); ++i)
                      out.rows.push_back({val(rs, i, "ID").toInt(), cut(text(rs, i, "Name"), 122)});
                  sortByText(out, 1);
                  return out;
              });

    // The devices of the department where an element (@R = 0) or a device (@R = 1) stands, that
    // device included, as "Устройство — Рабочее место", in the order of the placement tree
    // (workplaces by their order, devices by name). Only the department's own workplaces count,
    // not those of departments below it. An unknown key gives no rows.
    Proc::add(
        QStringLiteral("LookupDeviceAtDepartment"),
        {Proc::in("@CS", FT::Integer), Proc::in("@R", FT::Integer)},
        {Proc::col("ID", FT::Integer), Proc::col("Name", FT::String, 103)}, [](ProcedureCall &call) {
            const bool device = call.argInt("@R", 0) == 1;
            const QString find =
                device
                    ? QStringLiteral(
                          "SELECT w.WrkpIdDepartment FROM DeviceUnit d "
                          "JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace WHERE d.IdDevice = :K")
                    : QStringLiteral(
                          "SELECT w.WrkpIdDepartment FROM CompleteSet c "
                          "JOIN DeviceUnit d ON d.IdDevice = c.CmplIdDevice "
                          "JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace WHERE c.IdComponent = :K");
            ResultSet out = declared(call);
            const ResultSet where = call.cn.query(find, {{QStringLiteral("K"), call.arg("@CS")}});
            if (where.rows.empty() || where.rows.front().front().isNull())
                return out;
            const ResultSet rs = call.cn.query(
                QStringLiteral(
                    "SELECT d.IdDevice, d.DevcName, w.WrkpName, w.WrkpOrder, w.IdWorkplace FROM DeviceUnit d "
                    "JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace WHERE w.WrkpIdDepartment = :D"),
                {{QStringLiteral("D"), where.rows.front().front()}});
            std::vector<size_t> idx(rs.rows.size());
            std::iota(idx.begin(), idx.end(), size_t(0));
            std::sort(idx.begin(), idx.end(), [&](size_t a, size_t b) {
                const QVariant oa = val(rs, a, "WrkpOrder"), ob = val(rs, b, "WrkpOrder");
                if (orderBefore(oa, ob) || orderBefore(ob, oa))
                    return orderBefore(oa, ob);
                const int wa = val(rs, a, "IdWorkplace").toInt(), wb = val(rs, b, "IdWorkplace").toInt();
                if (wa != wb)
                    return wa < wb;
                if (const int c = CompareText(text(rs, a, "DevcName"), text(rs, b, "DevcName")); c != 0)
                    return c < 0;
                return val(rs, a, "IdDevice").toInt() < val(rs, b, "IdDevice").toInt();
            });
            for (size_t i : idx)
                out.rows.push_back(
                    {val(rs, i, "IdDevice").toInt(),
                     cut(joined({text(rs, i, "DevcName"), text(rs, i, "WrkpName")}, QStringLiteral(" — ")),
                         103)});
            return out;
        });

    // The display name of a model: the number alone when @NO is set or there is no producer (@PR 0,
    // NULL or a firm that does not exist); otherwise the producer's text (see producerText) and the
    // number, separated by a blank. Trimmed and cut to the 60 characters of Model.ModlName.
    Proc::add(QStringLiteral("CalcModelName"),
              {Proc::in("@NB", FT::String, 30), Proc::in("@NO", FT::Boolean), Proc::in("@PR", FT::Integer),
               Proc::out("@Name", FT::String, 60)},
              {}, [](ProcedureCall &call) {
                  const QString number = call.argText("@NB");
                  QString producer;
                  const int pr = call.argInt("@PR", 0);
                  if (!call.arg("@NO").toBool() && pr != 0) {
                      const ResultSet rs = call.cn.query(
                          QStringLiteral(
                              "SELECT c.ClntNameFull, c.ClntNameShort, t.Name AS TradeName FROM Client c "
                              "LEFT JOIN Trademark t ON t.ID = c.Trademark WHERE c.IdClient = :P"),
                          {{QStringLiteral("P"), pr}});
                      if (!rs.rows.empty())
                          producer = producerText(text(rs, 0, "TradeName"), text(rs, 0, "ClntNameShort"),
                                                  text(rs, 0, "ClntNameFull"));
                  }
                  call.setOut("@Name", cut(joined({producer, number}, QStringLiteral(" ")), 60));
                  return Proc::none();
              });
}
