// The move history of an element: where it stood, one row per recorded move.
#include "server/ServerProcs.h"

#include "server/ElementMoves.h"
#include "server/LookupCommon.h"

#include <QDateTime>
#include <QSet>

using namespace lookup;
using namespace ProcText;

namespace {

// ---- Element moves ------------------------------------------------------------------------------

// Where an element stands, as the move history shows it: the department path from the top, the
// workplace and the device, joined by " / " ("Управление / Бухгалтерия / Стол 3 / ПК-12").
QString elementPlace(Connection &cn, const ResultSet &element) {
    QStringList parts = departmentPath(cn, val(element, 0, "WrkpIdDepartment"));
    parts << text(element, 0, "WrkpName") << text(element, 0, "DevcName");
    QString place = joined(parts, QStringLiteral(" / "));
    // Too deep a path for the column keeps its end: the device and workplace say the most.
    constexpr int Width = 500;
    if (place.size() > Width)
        place = QStringLiteral("…") + place.right(Width - 1);
    return place;
}

QString elementCode(const QVariant &key) {
    return QStringLiteral("%1").arg(key.toLongLong(), 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace

void RecordElementPlace(Connection &cn, const QVariant &element) {
    QVector<Parameter> params = procedureParameters(QStringLiteral("ExeElementMoveDocument;1"));
    for (Parameter &p : params)
        if (p.name.compare(u"@EL", Qt::CaseInsensitive) == 0)
            p.value = element;
    callProcedure(cn, QStringLiteral("ExeElementMoveDocument;1"), params);
}

void registerElementMoveProcedures() {
    // Records where an element stands now as one row of its move history, at the current time.
    // Every call adds a row, even when the place is the same as the last one: the move list tells
    // a move by its number of rows changing.
    Proc::add(
        QStringLiteral("ExeElementMoveDocument"), {Proc::in("@EL", FT::Integer)}, {},
        [](ProcedureCall &call) {
            const QVariant key = call.arg("@EL");
            if (key.isNull())
                throw AppError(QStringLiteral("Не указан элемент, перемещение которого нужно записать"));
            const ResultSet element = call.cn.query(
                QStringLiteral(
                    "SELECT c.IdComponent, d.DevcName, w.WrkpName, w.WrkpIdDepartment FROM CompleteSet c "
                    "LEFT JOIN DeviceUnit d ON d.IdDevice = c.CmplIdDevice "
                    "LEFT JOIN Workplace w ON w.IdWorkplace = d.DevcIdWorkplace WHERE c.IdComponent = :K"),
                {{QStringLiteral("K"), key}});
            if (element.rows.empty())
                throw AppError(
                    QStringLiteral("Элемент %1 не найден: возможно, его удалил другой пользователь")
                        .arg(elementCode(key)));
            const QDateTime now = QDateTime::currentDateTime();
            const QDateTime moving(now.date(),
                                   QTime(now.time().hour(), now.time().minute(), now.time().second()));
            call.cn.execute(
                QStringLiteral("INSERT INTO ElementMove (IdComponent, Moving, Place) VALUES (:C, :M, :P)"),
                {{QStringLiteral("C"), key},
                 {QStringLiteral("M"), moving},
                 {QStringLiteral("P"), elementPlace(call.cn, element)}});
            return Proc::none();
        });

    // The move history of an element, newest first (equal times: the later row first).
    Proc::add(QStringLiteral("GridDisplacement"), {Proc::in("@CS", FT::Integer)},
              {Proc::col("ID", FT::Integer), Proc::col("Moving", FT::DateTime),
               Proc::col("Place", FT::String, 500)},
              [](ProcedureCall &call) {
                  return call.cn.query(
                      QStringLiteral("SELECT ID, Moving, Place FROM ElementMove WHERE IdComponent = :K "
                                     "ORDER BY Moving DESC, ID DESC"),
                      {{QStringLiteral("K"), call.arg("@CS")}});
              });
}
