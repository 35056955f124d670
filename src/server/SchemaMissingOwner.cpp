#include "server/SchemaMissingOwner.h"

#include "data/Connection.h"

namespace Schema {

namespace {

// A reference whose owner may be missing: the rows of `child` point at `owner` through `ref`.
struct Reference {
    const char *kind, *child, *ref, *owner, *key;
};
constexpr Reference References[] = {
    {"D", "Workplace", "WrkpIdDepartment", "Department", "IdDepartment"},
    {"W", "DeviceUnit", "DevcIdWorkplace", "Workplace", "IdWorkplace"},
};

// The statements of the triggers, each ending in ";", for a key given as an expression (NEW.x, OLD.x).
// The key listed, when `when` holds; a row is added only when it is not there, so that no
// conflict can arise whatever conflict rule the statement that fired the trigger names.
QString listKey(const Reference &r, const QString &key, const QString &when = QString()) {
    return QStringLiteral("INSERT INTO MissingOwner (Kind, OwnerKey) SELECT '%1', %2 WHERE %3NOT EXISTS "
                          "(SELECT 1 FROM MissingOwner WHERE Kind = '%1' AND OwnerKey = %2);")
        .arg(QLatin1String(r.kind), key, when.isEmpty() ? QString() : when + QStringLiteral(" AND "));
}
// The key listed when rows still point at it (their owner has just gone).
QString listKeyIfUsed(const Reference &r, const QString &key) {
    return listKey(r, key,
                   QStringLiteral("EXISTS (SELECT 1 FROM [%1] WHERE %2 = %3)")
                       .arg(QLatin1String(r.child), QLatin1String(r.ref), key));
}
// The key no longer listed: its owner is there.
QString unlistKey(const Reference &r, const QString &key) {
    return QStringLiteral("DELETE FROM MissingOwner WHERE Kind = '%1' AND OwnerKey = %2;")
        .arg(QLatin1String(r.kind), key);
}
// The key no longer listed once no row points at it.
QString unlistKeyIfUnused(const Reference &r, const QString &key) {
    return QStringLiteral("DELETE FROM MissingOwner WHERE Kind = '%1' AND OwnerKey = %2 AND NOT EXISTS "
                          "(SELECT 1 FROM [%3] WHERE %4 = %2);")
        .arg(QLatin1String(r.kind), key, QLatin1String(r.child), QLatin1String(r.ref));
}

QStringList sqliteTriggers(const Reference &r) {
    const QString kind = QLatin1String(r.kind), child = QLatin1String(r.child), ref = QLatin1String(r.ref),
                  owner = QLatin1String(r.owner), key = QLatin1String(r.key);
    const QString newRef = QStringLiteral("NEW.") + ref, oldRef = QStringLiteral("OLD.") + ref;
    const QString newKey = QStringLiteral("NEW.") + key, oldKey = QStringLiteral("OLD.") + key;
    const QString missing =
        QStringLiteral("NOT EXISTS (SELECT 1 FROM [%1] WHERE %2 = %3)").arg(owner, key, newRef);
    const QString name = QStringLiteral("trMissingOwner") + kind;
    return {
        // A row written with an owner that is not there.
        QStringLiteral("CREATE TRIGGER %1ChildIns AFTER INSERT ON [%2] WHEN %3 BEGIN %4 END")
            .arg(name, child, missing, listKey(r, newRef)),
        QStringLiteral("CREATE TRIGGER %1ChildUpd AFTER UPDATE OF %2 ON [%3] WHEN %4 IS NOT %5 BEGIN "
                       "%6 %7 END")
            .arg(name, ref, child, oldRef, newRef, listKey(r, newRef, missing), unlistKeyIfUnused(r, oldRef)),
        QStringLiteral("CREATE TRIGGER %1ChildDel AFTER DELETE ON [%2] BEGIN %3 END")
            .arg(name, child, unlistKeyIfUnused(r, oldRef)),
        // An owner that comes (again) under a key, goes while rows point at it, or changes its key.
        QStringLiteral("CREATE TRIGGER %1OwnerIns AFTER INSERT ON [%2] BEGIN %3 END")
            .arg(name, owner, unlistKey(r, newKey)),
        QStringLiteral(
            "CREATE TRIGGER %1OwnerUpd AFTER UPDATE OF %2 ON [%3] WHEN %4 IS NOT %5 BEGIN %6 %7 END")
            .arg(name, key, owner, oldKey, newKey, listKeyIfUsed(r, oldKey), unlistKey(r, newKey)),
        QStringLiteral("CREATE TRIGGER %1OwnerDel AFTER DELETE ON [%2] BEGIN %3 END")
            .arg(name, owner, listKeyIfUsed(r, oldKey)),
    };
}

} // namespace

void keepMissingOwners(Connection &cn) {
    cn.execute(QStringLiteral("CREATE TABLE MissingOwner (Kind CHAR(1) NOT NULL CHECK (Kind IN ('D', 'W')), "
                              "OwnerKey INTEGER NOT NULL, PRIMARY KEY (Kind, OwnerKey))"));
    if (cn.engine() != Engine::SQLite)
        return;
    for (const Reference &r : References) {
        // The rows that have lost their owner already, looked for once.
        cn.execute(QStringLiteral("INSERT INTO MissingOwner (Kind, OwnerKey) SELECT DISTINCT '%1', c.%3 FROM "
                                  "[%2] c WHERE NOT EXISTS (SELECT 1 FROM [%4] o WHERE o.%5 = c.%3)")
                       .arg(QLatin1String(r.kind), QLatin1String(r.child), QLatin1String(r.ref),
                            QLatin1String(r.owner), QLatin1String(r.key)));
        for (const QString &sql : sqliteTriggers(r))
            cn.execute(sql);
    }
}

} // namespace Schema
