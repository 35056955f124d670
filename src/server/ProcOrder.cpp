// The manual order of kinds and models: moving one a place up or down among its siblings.
#include "server/ServerProcs.h"

#include "server/LookupCommon.h"

#include <algorithm>

using namespace lookup;
using namespace ProcText;

namespace {

// ---- Manual order -------------------------------------------------------------------------------

// Moves a row one place up (dr < 0) or down (dr > 0) in the manual order of its siblings (the rows
// with the same parent value). The siblings are first numbered 1..n in the order the lists show
// them (rows without an order value last; equal values by `tieName` when given, as the model list
// and lookup show models of equal weight by name, then by key), so that missing or repeated values still move
// predictably; then the row swaps places with its neighbour. At the first or last place, for an
// unknown key or a direction of 0 nothing is written. Only order values that change are written;
// the row version stays, since no edit dialog writes the order.
void moveAmongSiblings(Connection &cn, const QString &table, const QString &key, const QString &parent,
                       const QString &order, const QString &tieName, const QVariant &id, int dr) {
    if (id.isNull() || dr == 0)
        return;
    const ResultSet self = cn.query(
        QStringLiteral("SELECT %1 AS Parent FROM %2 WHERE %3 = CAST(:K AS integer)").arg(parent, table, key),
        {{QStringLiteral("K"), id}});
    if (self.rows.empty())
        return;
    const QVariant parentValue = self.rows.front().front();
    // On the shared server two workstations may move siblings at the same time: the rows are
    // locked until the end of the call, so that one numbering follows the other. Only their order
    // changes, never their keys, so the lock leaves rows that reference them free to be added (a
    // device of the kind being cloned meanwhile would otherwise deadlock against this move).
    const QString lock = cn.engine() == Engine::PostgreSQL ? QStringLiteral(" FOR NO KEY UPDATE") : QString();
    const QString where = parentValue.isNull() ? QStringLiteral("%1 IS NULL").arg(parent)
                                               : QStringLiteral("%1 = :P").arg(parent);
    const ResultSet sib = cn.query(
        QStringLiteral("SELECT %1 AS K, %2 AS O, %3 AS N FROM %4 WHERE %5%6")
            .arg(key, order, tieName.isEmpty() ? QStringLiteral("NULL") : tieName, table, where, lock),
        {{QStringLiteral("P"), parentValue}});

    struct Sibling {
        qint64 key;
        QVariant order;
        QString name;
    };
    std::vector<Sibling> rows;
    for (const auto &r : sib.rows)
        rows.push_back({r[0].toLongLong(), r[1], r[2].toString()});
    std::sort(rows.begin(), rows.end(), [](const Sibling &a, const Sibling &b) {
        if (orderBefore(a.order, b.order))
            return true;
        if (orderBefore(b.order, a.order))
            return false;
        if (const int c = CompareText(a.name, b.name); c != 0)
            return c < 0;
        return a.key < b.key;
    });
    const auto at =
        std::find_if(rows.begin(), rows.end(), [&](const Sibling &s) { return s.key == id.toLongLong(); });
    if (at == rows.end())
        return;
    const qsizetype i = at - rows.begin();
    const qsizetype j = i + (dr < 0 ? -1 : 1);
    if (j < 0 || j >= qsizetype(rows.size()))
        return;
    std::swap(rows[size_t(i)], rows[size_t(j)]);
    const QString update = QStringLiteral("UPDATE %1 SET %2 = :O WHERE %3 = :K").arg(table, order, key);
    for (size_t n = 0; n < rows.size(); ++n) {
        const qint64 wanted = qint64(n) + 1;
        if (rows[n].order.isNull() || rows[n].order.toLongLong() != wanted)
            cn.execute(update, {{QStringLiteral("O"), wanted}, {QStringLiteral("K"), rows[n].key}});
    }
}

} // namespace

void registerOrderProcedures() {
    // A kind moves among the kinds of its type.
    Proc::add(QStringLiteral("MoveKind"), {Proc::req("@KD", FT::Integer), Proc::req("@DR", FT::Integer)}, {},
              [](ProcedureCall &call) {
                  moveAmongSiblings(call.cn, QStringLiteral("Kind"), QStringLiteral("IdKind"),
                                    QStringLiteral("KindType"), QStringLiteral("KindOrder"), QString(),
                                    call.arg("@KD"), call.argInt("@DR", 0));
                  return Proc::none();
              });

    // A model moves among the models of its kind.
    Proc::add(QStringLiteral("MoveModel"), {Proc::req("@MD", FT::Integer), Proc::req("@DR", FT::Integer)}, {},
              [](ProcedureCall &call) {
                  moveAmongSiblings(call.cn, QStringLiteral("Model"), QStringLiteral("IdModel"),
                                    QStringLiteral("ModlKind"), QStringLiteral("ModlWeight"),
                                    QStringLiteral("ModlName"), call.arg("@MD"), call.argInt("@DR", 0));
                  return Proc::none();
              });
}
