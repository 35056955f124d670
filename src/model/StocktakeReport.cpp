#include "model/StocktakeReport.h"

#include "data/Connection.h"
#include "data/Errors.h"
#include "data/Procedures.h"
#include "server/ProcText.h"

int StocktakeCount::count(const QString &result) const {
    return int(std::count_if(lines.begin(), lines.end(),
                             [&](const StocktakeLine &l) { return l.result == result; }));
}

namespace {

// The departments from the top down to `department`, and the workplace when given, joined by " / ".
QString placePath(Connection &cn, const QVariant &department, const QString &workplace) {
    QStringList parts = ProcText::departmentPath(cn, department);
    if (!workplace.isEmpty())
        parts << workplace;
    return parts.join(QStringLiteral(" / "));
}

QString when(const QDateTime &t) {
    return t.isValid() ? t.toString(QStringLiteral("dd.MM.yyyy HH:mm")) : QString();
}

} // namespace

StocktakeCount ReadStocktake(Connection &cn, qint64 id) {
    const ResultSet head = cn.query(
        QStringLiteral(
            "SELECT t.StckIdDepartment, t.StckIdWorkplace, t.StckPerson, t.StckStarted, t.StckFinished, "
            "t.StckElements, w.WrkpName, w.WrkpIdDepartment FROM Stocktake t LEFT JOIN Workplace w ON "
            "w.IdWorkplace = t.StckIdWorkplace WHERE t.IdStocktake = :ID"),
        {{QStringLiteral("ID"), id}});
    if (head.rows.empty())
        throw AppError(QStringLiteral("Инвентаризация не найдена: возможно, её удалили вместе с её местом"));
    const auto &h = head.rows.front();
    StocktakeCount c;
    c.id = id;
    const bool department = !h[0].isNull();
    c.placeKind = department ? QStringLiteral("D") : QStringLiteral("W");
    c.placeId = department ? h[0].toLongLong() : h[1].toLongLong();
    c.placeText = department ? placePath(cn, h[0], {}) : placePath(cn, h[7], h[6].toString().trimmed());
    c.person = h[2].toString();
    c.started = h[3].toDateTime();
    c.finished = h[4].toDateTime();
    c.elements = h[5].toBool();

    QVector<Parameter> params = procedureParameters(QStringLiteral("StocktakeList;1"));
    params[1].value = id;
    const ResultSet rs = callProcedure(cn, QStringLiteral("StocktakeList;1"), params);
    for (size_t i = 0; i < rs.rows.size(); ++i) {
        auto text = [&](const char *column) { return rs.value(i, QLatin1StringView(column)).toString(); };
        c.lines.append({text("Result"), text("State"), text("Kind"),
                        rs.value(i, QLatin1StringView("ObjectId")).toLongLong(), text("Code"), text("Name"),
                        text("KindName"), text("Place"),
                        rs.value(i, QLatin1StringView("Scanned")).toDateTime(),
                        rs.value(i, QLatin1StringView("Times")).toInt()});
    }
    return c;
}

QString StocktakeTotals(const StocktakeCount &count) {
    return QStringLiteral("Найдено: %1, не найдено: %2, не на своём месте: %3, нет в базе: %4")
        .arg(count.count(QStringLiteral("F")))
        .arg(count.count(QStringLiteral("N")))
        .arg(count.count(QStringLiteral("P")))
        .arg(count.count(QStringLiteral("U")));
}

ReportTable StocktakeReport(const StocktakeCount &count) {
    ReportTable r;
    r.name = QStringLiteral("stocktake");
    r.title = QStringLiteral("Инвентаризация: %1").arg(count.placeText);
    r.lines << (count.placeKind == u"D" ? QStringLiteral("Подразделение: %1")
                                        : QStringLiteral("Рабочее место: %1"))
                   .arg(count.placeText);
    r.lines << QStringLiteral("Начата: %1, %2").arg(when(count.started), count.person);
    r.lines << (count.finished.isValid() ? QStringLiteral("Завершена: %1").arg(when(count.finished))
                                         : QStringLiteral("Не завершена: список на время отчёта"));
    if (count.elements)
        r.lines << QStringLiteral("С комплектующими, у которых есть серийный номер");
    r.columns = {{QStringLiteral("№"), 0.3, Qt::AlignRight},
                 {QStringLiteral("Результат"), 1},
                 {QStringLiteral("Код"), 1},
                 {QStringLiteral("Наименование"), 2},
                 {QStringLiteral("Вид"), 1},
                 {QStringLiteral("Место по базе"), 2},
                 {QStringLiteral("Отсканировано"), 1}};
    int n = 0;
    for (const StocktakeLine &l : count.lines)
        r.rows.push_back(
            {QString::number(++n), l.state, l.code, l.name, l.kindName, l.place, when(l.scanned)});
    r.totals << StocktakeTotals(count);
    r.totals << QStringLiteral("Ожидалось по базе: %1")
                    .arg(count.count(QStringLiteral("F")) + count.count(QStringLiteral("N")));
    const QString line = QStringLiteral("________________________ / ________________________ /");
    r.totals << QString() << QStringLiteral("Инвентаризацию провёл: %1").arg(line)
             << QStringLiteral("Материально ответственное лицо: %1").arg(line)
             << QStringLiteral("Проверил: %1").arg(line);
    r.made = QDateTime::currentDateTime();
    r.landscape = true;
    return r;
}
