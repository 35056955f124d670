// Commands on the nodes of the placement tree: deleting, moving among siblings and cloning.
#include "server/ServerProcs.h"

#include "data/Errors.h"
#include "server/PlacementCommon.h"
#include "server/ProcText.h"

#include <vector>

using namespace placement;

namespace {

// ---- Deleting nodes ---------------------------------------------------------------------------

struct Deletion {
    const char *table, *key, *nameColumn;
    const char *empty;   // condition on :ID that holds when the row has nothing under it
    const char *refusal; // message with %1 for the name
    QChar bookmark;      // kind letter of the row's bookmarks, or null
};

// Deletes a row that holds nothing; a row that still holds something is refused with a message
// naming it; a key that is no longer there is not an error (there is nothing left to delete).
// The test and the delete are one statement, so a child added by another connection after the
// caller looked is still seen. On PostgreSQL the row is locked first: a child inserted meanwhile
// waits for this transaction and then fails on its reference, and one committed before is visible
// to the delete's own test.
void deleteNode(ProcedureCall &call, const char *param, const Deletion &d, const QString &before = {}) {
    if (call.isNull(QString::fromLatin1(param)))
        return;
    const int id = call.argInt(QString::fromLatin1(param));
    const QVariantMap p{{QStringLiteral("ID"), id}};
    const QString table = QString::fromLatin1(d.table), key = QString::fromLatin1(d.key);
    if (isPg(call.cn))
        call.cn.query(QStringLiteral("SELECT %2 FROM %1 WHERE %2 = :ID FOR UPDATE").arg(table, key), p);
    if (!before.isEmpty())
        call.cn.execute(before, p);
    const int gone = call.cn.execute(
        QStringLiteral("DELETE FROM %1 WHERE %2 = :ID AND %3").arg(table, key, QString::fromLatin1(d.empty)),
        p);
    if (gone == 0) {
        const ResultSet r = call.cn.query(QStringLiteral("SELECT %3 FROM %1 WHERE %2 = :ID")
                                              .arg(table, key, QString::fromLatin1(d.nameColumn)),
                                          p);
        if (r.rows.empty())
            return;
        QString name = r.rows.front().value(0).toString().trimmed();
        if (name.isEmpty())
            name = QString::number(id);
        throw AppError(str(d.refusal).arg(name));
    }
    // Bookmarks of a deleted node lead nowhere; they go with it, for every user.
    if (!d.bookmark.isNull())
        call.cn.execute(QStringLiteral("DELETE FROM Favorite WHERE KeyObject = :K"),
                        {{QStringLiteral("K"), QString(d.bookmark) + QString::number(id)}});
}

const Deletion DepartmentDeletion{
    "Department", "IdDepartment", "DprtName",
    // A department that names itself as its parent does not hold itself.
    "NOT EXISTS (SELECT 1 FROM Department c WHERE c.DprtIdHigher = :ID AND c.IdDepartment <> :ID) "
    "AND NOT EXISTS (SELECT 1 FROM Workplace w WHERE w.WrkpIdDepartment = :ID)",
    "Подразделение «%1» содержит подразделения или рабочие места, удаление невозможно", u'D'};
const Deletion WorkplaceDeletion{"Workplace",
                                 "IdWorkplace",
                                 "WrkpName",
                                 "NOT EXISTS (SELECT 1 FROM DeviceUnit v WHERE v.DevcIdWorkplace = :ID)",
                                 "Рабочее место «%1» содержит устройства, удаление невозможно",
                                 u'W'};
const Deletion DeviceDeletion{"DeviceUnit",
                              "IdDevice",
                              "DevcName",
                              "NOT EXISTS (SELECT 1 FROM CompleteSet s WHERE s.CmplIdDevice = :ID)",
                              "Устройство «%1» содержит комплектующие, удаление невозможно",
                              u'V'};

// ---- Moving a node among its siblings ---------------------------------------------------------

// Moves a department (@KD "D") or workplace ("W") one place up (@DR < 0) or down (@DR > 0) among
// the nodes of the same parent, in the order the tree shows them. The siblings are first numbered
// 1..n in that order, so rows without an order or with equal orders move predictably too; then
// the node swaps places with its neighbour. At the first or last place nothing changes.
ResultSet moveTree(ProcedureCall &call) {
    const QString kind = call.argText(QStringLiteral("@KD")).toUpper();
    const int dr = call.argInt(QStringLiteral("@DR"), 0);
    if (call.isNull(QStringLiteral("@ID")) || dr == 0)
        return Proc::none();
    const int id = call.argInt(QStringLiteral("@ID"));
    const QVariantMap p{{QStringLiteral("ID"), id}};
    // The siblings' order values change, never their keys: a lock that lets other rows keep
    // referencing them (a device added meanwhile) and waits only for other renumbering.
    const QString lock = isPg(call.cn) ? QStringLiteral(" FOR NO KEY UPDATE") : QString();

    QString table, key, order;
    std::vector<int> ids;       // siblings in the order shown
    std::vector<qint64> orders; // their present order values
    if (kind == u"D") {
        const ResultSet self =
            call.cn.query(QStringLiteral("SELECT DprtIdHigher FROM Department WHERE IdDepartment = :ID"), p);
        if (self.rows.empty())
            return Proc::none();
        const QVariant parentId = self.rows.front().value(0);
        const ResultSet rs =
            call.cn.query(QStringLiteral("SELECT IdDepartment, DprtName, DprtOrder FROM Department WHERE ") +
                              (parentId.isNull() ? QStringLiteral("DprtIdHigher IS NULL")
                                                 : QStringLiteral("DprtIdHigher = :P")) +
                              lock,
                          {{QStringLiteral("P"), parentId}});
        std::vector<DepartmentKey> sibs;
        for (const auto &r : rs.rows)
            sibs.push_back({orderOf(r.value(2)), r.value(1).toString(), r.value(0).toInt()});
        std::sort(sibs.begin(), sibs.end(), departmentBefore);
        for (const DepartmentKey &s : sibs) {
            ids.push_back(s.id);
            orders.push_back(s.order);
        }
        table = QStringLiteral("Department");
        key = QStringLiteral("IdDepartment");
        order = QStringLiteral("DprtOrder");
    } else if (kind == u"W") {
        const ResultSet self = call.cn.query(
            QStringLiteral("SELECT WrkpIdDepartment FROM Workplace WHERE IdWorkplace = :ID"), p);
        if (self.rows.empty())
            return Proc::none();
        const ResultSet rs = call.cn.query(
            QStringLiteral("SELECT IdWorkplace, WrkpOrder FROM Workplace WHERE WrkpIdDepartment = :P") + lock,
            {{QStringLiteral("P"), self.rows.front().value(0)}});
        std::vector<WorkplaceKey> sibs;
        for (const auto &r : rs.rows)
            sibs.push_back({orderOf(r.value(1)), r.value(0).toInt()});
        std::sort(sibs.begin(), sibs.end(), workplaceBefore);
        for (const WorkplaceKey &s : sibs) {
            ids.push_back(s.id);
            orders.push_back(s.order);
        }
        table = QStringLiteral("Workplace");
        key = QStringLiteral("IdWorkplace");
        order = QStringLiteral("WrkpOrder");
    } else {
        return Proc::none(); // devices keep no order of their own
    }

    const auto at = std::find(ids.begin(), ids.end(), id);
    if (at == ids.end())
        return Proc::none();
    const qsizetype pos = at - ids.begin(), to = pos + (dr < 0 ? -1 : 1);
    if (to < 0 || to >= qsizetype(ids.size()))
        return Proc::none();
    std::swap(ids[size_t(pos)], ids[size_t(to)]);
    std::swap(orders[size_t(pos)], orders[size_t(to)]);
    const QString update = QStringLiteral("UPDATE %1 SET %2 = :O WHERE %3 = :ID").arg(table, order, key);
    for (size_t i = 0; i < ids.size(); ++i)
        if (orders[i] != qint64(i) + 1)
            call.cn.execute(update, {{QStringLiteral("O"), int(i) + 1}, {QStringLiteral("ID"), ids[i]}});
    return Proc::none();
}

// ---- Cloning ----------------------------------------------------------------------------------

// What a copy of an element takes over: the model, the document and position, the price, the
// warranty and the dates. The numbers that identify the one item (the IT staff's number, the
// manufacturer's and the seller's) are not copied.
const char *ElementCopied = "CmplDateSet, CmplIdModel, DateManufact, DateSeller, Warranty, DocumentId, "
                            "DocumentPosition, Price, ModelKind";

// A new device at the same workplace with the source's kind, name and settings (report flag,
// description, state of use, maintenance), and a copy of its complete set by the rule above. What
// identifies the one device is not copied: the network name, the inventory number, the write-off
// reference, nor the last ping result. The copy gets a new key, the highest of the devices.
ResultSet cloneDevice(ProcedureCall &call) {
    const QVariant source =
        call.isNull(QStringLiteral("@ID")) ? QVariant() : QVariant(call.argInt(QStringLiteral("@ID")));
    const QVariant copy =
        source.isNull()
            ? QVariant()
            : call.cn.scalar(
                  QStringLiteral("INSERT INTO DeviceUnit (DevcIdWorkplace, DevcName, DevcPrinting, "
                                 "DevcDescription, Used, DevcIdKind, Prevention, PreventionExpress, "
                                 "PreventionNeed) "
                                 "SELECT DevcIdWorkplace, DevcName, DevcPrinting, DevcDescription, Used, "
                                 "DevcIdKind, Prevention, PreventionExpress, PreventionNeed "
                                 "FROM DeviceUnit WHERE IdDevice = :ID RETURNING IdDevice"),
                  {{QStringLiteral("ID"), source}});
    if (copy.isNull())
        throw AppError(
            str("Устройство для клонирования не найдено: возможно, его удалил другой пользователь"));
    const QString cols = QString::fromLatin1(ElementCopied);
    call.cn.execute(
        QStringLiteral("INSERT INTO CompleteSet (CmplIdDevice, %1) SELECT CAST(:NEW AS integer), %1 "
                       "FROM CompleteSet WHERE CmplIdDevice = :ID ORDER BY IdComponent")
            .arg(cols),
        {{QStringLiteral("NEW"), copy.toInt()}, {QStringLiteral("ID"), source}});
    return Proc::none();
}

// A copy of one element in the same device, by the rule of ElementCopied.
ResultSet cloneComponent(ProcedureCall &call) {
    const QString cols = QString::fromLatin1(ElementCopied);
    const QVariant copy =
        call.isNull(QStringLiteral("@ID"))
            ? QVariant()
            : call.cn.scalar(
                  QStringLiteral("INSERT INTO CompleteSet (CmplIdDevice, %1) SELECT CmplIdDevice, %1 "
                                 "FROM CompleteSet WHERE IdComponent = :ID RETURNING IdComponent")
                      .arg(cols),
                  {{QStringLiteral("ID"), call.argInt(QStringLiteral("@ID"))}});
    if (copy.isNull())
        throw AppError(
            str("Комплектующее для клонирования не найдено: возможно, его удалил другой пользователь"));
    return Proc::none();
}

} // namespace

void registerNodeProcedures() {
    using Proc::req;
    constexpr FieldType I = FieldType::Integer, S = FieldType::String;

    Proc::add(QStringLiteral("DeleteDepartment"), {req("@Departm", I)}, {}, [](ProcedureCall &call) {
        deleteNode(call, "@Departm", DepartmentDeletion);
        return Proc::none();
    });
    Proc::add(QStringLiteral("DeleteWorkPlace"), {req("@WorkPlac", I)}, {}, [](ProcedureCall &call) {
        deleteNode(call, "@WorkPlac", WorkplaceDeletion);
        return Proc::none();
    });
    // The device's links to its users go with it (a refused delete keeps them: the call is undone).
    Proc::add(QStringLiteral("DeleteDeviceUnit"), {req("@Device", I)}, {}, [](ProcedureCall &call) {
        deleteNode(call, "@Device", DeviceDeletion,
                   QStringLiteral("DELETE FROM UseComputer WHERE Computer = :ID"));
        return Proc::none();
    });
    // The element's move history goes with it (by its reference).
    Proc::add(QStringLiteral("DeleteCompleteSet"), {req("@CompSet", I)}, {}, [](ProcedureCall &call) {
        if (!call.isNull(QStringLiteral("@CompSet")))
            call.cn.execute(QStringLiteral("DELETE FROM CompleteSet WHERE IdComponent = :ID"),
                            {{QStringLiteral("ID"), call.argInt(QStringLiteral("@CompSet"))}});
        return Proc::none();
    });
    Proc::add(QStringLiteral("MoveTree"), {req("@KD", S, 1), req("@ID", I), req("@DR", I)}, {}, moveTree);
    Proc::add(QStringLiteral("CloneDevice"), {req("@ID", I)}, {}, cloneDevice);
    Proc::add(QStringLiteral("CloneComponents"), {req("@ID", I)}, {}, cloneComponent);
}
