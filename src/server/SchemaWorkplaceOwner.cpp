#include "server/SchemaWorkplaceOwner.h"

#include "data/Connection.h"

namespace Schema {

namespace {

// The statements of the SQLite triggers for a key given as an expression (NEW.x, OLD.x). A key is
// added only when it is not there, so that no conflict arises whatever conflict rule the statement
// that fired the trigger names.
QString listKey(const QString &key) {
    return QStringLiteral("INSERT INTO WorkplaceOwner (IdDepartment) SELECT %1 WHERE %1 IS NOT NULL AND "
                          "NOT EXISTS (SELECT 1 FROM WorkplaceOwner WHERE IdDepartment = %1);")
        .arg(key);
}
QString unlistKeyIfUnused(const QString &key) {
    return QStringLiteral("DELETE FROM WorkplaceOwner WHERE IdDepartment = %1 AND NOT EXISTS "
                          "(SELECT 1 FROM Workplace WHERE WrkpIdDepartment = %1);")
        .arg(key);
}

} // namespace

void keepWorkplaceOwners(Connection &cn) {
    cn.execute(QStringLiteral("CREATE TABLE WorkplaceOwner (IdDepartment INTEGER NOT NULL PRIMARY KEY)"));
    cn.execute(QStringLiteral("INSERT INTO WorkplaceOwner (IdDepartment) SELECT DISTINCT WrkpIdDepartment "
                              "FROM Workplace WHERE WrkpIdDepartment IS NOT NULL"));
    const QString newKey = QStringLiteral("NEW.WrkpIdDepartment"),
                  oldKey = QStringLiteral("OLD.WrkpIdDepartment");
    if (cn.engine() == Engine::SQLite) {
        cn.execute(QStringLiteral("CREATE TRIGGER trWorkplaceOwnerIns AFTER INSERT ON Workplace BEGIN %1 END")
                       .arg(listKey(newKey)));
        cn.execute(QStringLiteral("CREATE TRIGGER trWorkplaceOwnerUpd AFTER UPDATE OF WrkpIdDepartment ON "
                                  "Workplace WHEN %1 IS NOT %2 BEGIN %3 %4 END")
                       .arg(oldKey, newKey, listKey(newKey), unlistKeyIfUnused(oldKey)));
        cn.execute(QStringLiteral("CREATE TRIGGER trWorkplaceOwnerDel AFTER DELETE ON Workplace BEGIN %1 END")
                       .arg(unlistKeyIfUnused(oldKey)));
        return;
    }
    // A department's row is taken for key share before its key is listed (as the reference check
    // does), and for update before its key is dropped: the drop waits for every transaction that
    // is adding a workplace to the department, and each statement of the function sees the rows
    // committed before it began.
    cn.execute(QStringLiteral(
        "CREATE FUNCTION fnWorkplaceOwner() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "IF TG_OP <> 'INSERT' AND (TG_OP = 'DELETE' OR OLD.WrkpIdDepartment IS DISTINCT FROM "
        "NEW.WrkpIdDepartment) THEN "
        "PERFORM 1 FROM Department WHERE IdDepartment = OLD.WrkpIdDepartment FOR UPDATE; "
        "DELETE FROM WorkplaceOwner WHERE IdDepartment = OLD.WrkpIdDepartment AND NOT EXISTS "
        "(SELECT 1 FROM Workplace WHERE WrkpIdDepartment = OLD.WrkpIdDepartment); "
        "END IF; "
        "IF TG_OP <> 'DELETE' AND (TG_OP = 'INSERT' OR OLD.WrkpIdDepartment IS DISTINCT FROM "
        "NEW.WrkpIdDepartment) AND NEW.WrkpIdDepartment IS NOT NULL THEN "
        "PERFORM 1 FROM Department WHERE IdDepartment = NEW.WrkpIdDepartment FOR KEY SHARE; "
        "INSERT INTO WorkplaceOwner (IdDepartment) VALUES (NEW.WrkpIdDepartment) ON CONFLICT DO NOTHING; "
        "END IF; "
        "RETURN NULL; END $$"));
    cn.execute(
        QStringLiteral("CREATE TRIGGER trWorkplaceOwner AFTER INSERT OR DELETE OR UPDATE OF "
                       "WrkpIdDepartment ON Workplace FOR EACH ROW EXECUTE FUNCTION fnWorkplaceOwner()"));
}

} // namespace Schema
