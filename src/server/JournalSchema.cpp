#include "server/JournalSchema.h"

#include <QStringList>

namespace JournalSchema {

const QVector<Followed> &followedTables() {
    static const QVector<Followed> t = {
        {"Department", "DprtIdHigher"},
        {"Workplace", "WrkpIdDepartment"},
        {"DeviceUnit", "DevcIdWorkplace"},
        {"CompleteSet", "CmplIdDevice"},
        {"ElementMove", "IdComponent"},
        {"Model", "ModlKind"},
        {"Kind", nullptr},
        {"Client", nullptr},
        {"Trademark", nullptr},
        {"Document", nullptr},
        {"User", nullptr},
        {"UserInstall", "User"},
        {"UserInstallDefault", nullptr},
    };
    return t;
}

bool isFollowedColumn(const QString &table, const ColumnInfo &c) {
    if (c.identity || c.readOnly || c.name.compare(u"RowVersion", Qt::CaseInsensitive) == 0)
        return false;
    // The ping sweep writes OnLine for every computer each time it runs; the positions among
    // siblings are numbered by the database and renumbered by every move.
    static const QStringList derived = {QStringLiteral("DeviceUnit.OnLine"),
                                        QStringLiteral("Department.DprtOrder"),
                                        QStringLiteral("Workplace.WrkpOrder"),
                                        QStringLiteral("Kind.KindOrder"), QStringLiteral("Model.ModlWeight")};
    if (derived.contains(table + u'.' + c.name))
        return false;
    return true;
}

bool isSecretColumn(const QString &table, const QString &column) {
    return table == u"User" && (column == u"Pass" || column == u"MailPass" || column == u"SkypePass");
}

namespace {

QStringList followedColumns(const QString &table) {
    QStringList out;
    const TableInfo *ti = SchemaInfo::instance().table(table);
    if (!ti)
        return out;
    for (const ColumnInfo &c : ti->columns)
        if (isFollowedColumn(table, c))
            out << c.name;
    return out;
}

const char *Columns = "Stamp, Person, TableName, RowKey, OwnerKey, Act, Fields";
const char *ReadOnlyMessage = "Журнал изменений нельзя изменить";

// The row as "'Column', SIDE.[Column], ..." for a JSON object builder, its secrets left out.
QString rowPairs(const QString &table, const QStringList &cols, const QString &side) {
    QStringList pairs;
    for (const QString &c : cols)
        if (!isSecretColumn(table, c))
            pairs << QStringLiteral("'%1', %2.[%1]").arg(c, side);
    return pairs.join(QStringLiteral(", "));
}

// The key of what the row belongs to, or NULL for a table that belongs to nothing.
QString ownerOf(const Followed &f, const QString &side) {
    return f.owner ? QStringLiteral("%1.[%2]").arg(side, QString::fromLatin1(f.owner))
                   : QStringLiteral("NULL");
}

// SQLite: the triggers of the followed tables, each dropped first when it is there (an upgrade
// replaces them).
QStringList sqliteTriggers() {
    QStringList s;
    const QString person = QStringLiteral("(SELECT Person FROM JournalPerson WHERE ID = 1)");
    const QString now = QStringLiteral("datetime('now', 'localtime')");
    for (const Followed &f : followedTables()) {
        const QString table = QString::fromLatin1(f.table);
        const QString key = SchemaInfo::instance().table(table)->key;
        const QStringList cols = followedColumns(table);
        auto row = [&](const QString &side) {
            return QStringLiteral("json_object(%1)").arg(rowPairs(table, cols, side));
        };
        auto owner = [&](const QString &side) { return ownerOf(f, side); };
        for (const auto &[event, act, side] : {std::tuple{"INSERT", "I", "NEW"}, {"DELETE", "D", "OLD"}}) {
            const QString sd = QString::fromLatin1(side);
            s << QStringLiteral("DROP TRIGGER IF EXISTS trJournal%1%2").arg(table, QString::fromLatin1(act));
            s << QStringLiteral(
                     "CREATE TRIGGER trJournal%1%2 AFTER %3 ON [%1] BEGIN INSERT INTO Journal (%4) "
                     "VALUES (%5, %6, '%1', %7.[%8], %9, '%10', %11); END")
                     .arg(table, QString::fromLatin1(act), QString::fromLatin1(event),
                          QString::fromLatin1(Columns), now, person, sd, key, owner(sd))
                     .arg(QString::fromLatin1(act), row(sd));
        }
        // The change text is built by concatenation, one piece per changed field, in the form
        // json_group_object gave older versions ({"Field":[old,new],...}, no blanks): a trigger
        // with a subquery over every column cost more than the update it follows.
        QStringList differs, pieces;
        for (const QString &c : cols) {
            differs << QStringLiteral("OLD.[%1] IS NOT NEW.[%1]").arg(c);
            pieces << QStringLiteral("CASE WHEN OLD.[%1] IS NOT NEW.[%1] THEN %2 ELSE '' END")
                          .arg(c,
                               isSecretColumn(table, c)
                                   ? QStringLiteral("',\"%1\":null'").arg(c)
                                   : QStringLiteral("',\"%1\":' || json_array(OLD.[%1], NEW.[%1])").arg(c));
        }
        s << QStringLiteral("DROP TRIGGER IF EXISTS trJournal%1U").arg(table);
        s << QStringLiteral(
                 "CREATE TRIGGER trJournal%1U AFTER UPDATE ON [%1] WHEN %2 BEGIN INSERT INTO Journal "
                 "(%3) VALUES (%4, %5, '%1', NEW.[%6], %7, 'U', '{' || substr(%8, 2) || '}'); END")
                 .arg(table, differs.join(QStringLiteral(" OR ")), QString::fromLatin1(Columns), now, person,
                      key, owner(QStringLiteral("NEW")), pieces.join(QStringLiteral(" || ")));
    }
    return s;
}

// SQLite: the table that names the person of the transaction, and the journal's read-only guard.
QStringList sqliteFixedStatements() {
    QStringList s;
    s << QStringLiteral("CREATE TABLE JournalPerson (ID INTEGER PRIMARY KEY CHECK (ID = 1), Person TEXT)");
    s << QStringLiteral("CREATE TRIGGER trJournalReadOnly BEFORE UPDATE ON Journal BEGIN SELECT RAISE(ABORT, "
                        "'%1'); END")
             .arg(QString::fromUtf8(ReadOnlyMessage));
    return s;
}

// PostgreSQL: one function and one trigger per followed table. The function is replaced in place
// (an upgrade), the trigger dropped first when it is there.
QStringList pgTriggers() {
    QStringList s;
    const QString person =
        QStringLiteral("coalesce(nullif(current_setting('velmora.person', true), ''), session_user::text)");
    const QString now = QStringLiteral("localtimestamp(0)");
    for (const Followed &f : followedTables()) {
        const QString table = QString::fromLatin1(f.table);
        const QString key = SchemaInfo::instance().table(table)->key;
        const QStringList cols = followedColumns(table);
        auto row = [&](const QString &side) {
            return QStringLiteral("jsonb_build_object(%1)::text").arg(rowPairs(table, cols, side));
        };
        auto owner = [&](const QString &side) { return ownerOf(f, side); };
        auto insert = [&](const QString &act, const QString &side, const QString &fields) {
            return QStringLiteral("INSERT INTO Journal (%1) VALUES (%2, %3, '%4', %5.[%6], %7, '%8', %9);")
                .arg(QString::fromLatin1(Columns), now, person, table, side, key, owner(side), act, fields);
        };
        // A change adds each changed field on its own: a comparison of two fields of the row is a
        // simple expression to plpgsql, where a query over every column ran the executor for each
        // update.
        QStringList changes;
        for (const QString &c : cols)
            changes << QStringLiteral("IF OLD.[%1] IS DISTINCT FROM NEW.[%1] THEN changed := changed || "
                                      "jsonb_build_object('%1', %2); END IF;")
                           .arg(c, isSecretColumn(table, c)
                                       ? QStringLiteral("'null'::jsonb")
                                       : QStringLiteral("jsonb_build_array(OLD.[%1], NEW.[%1])").arg(c));
        s << QStringLiteral(
                 "CREATE OR REPLACE FUNCTION fnJournal%1() RETURNS trigger LANGUAGE plpgsql AS $$ "
                 "DECLARE changed jsonb := '{}'; BEGIN IF TG_OP = 'UPDATE' THEN %2 IF changed = '{}' "
                 "THEN RETURN NULL; END IF; %3 ELSIF TG_OP = 'INSERT' THEN %4 ELSE %5 END IF; "
                 "RETURN NULL; END $$")
                 .arg(table, changes.join(u' '),
                      insert(QStringLiteral("U"), QStringLiteral("NEW"), QStringLiteral("changed::text")),
                      insert(QStringLiteral("I"), QStringLiteral("NEW"), row(QStringLiteral("NEW"))),
                      insert(QStringLiteral("D"), QStringLiteral("OLD"), row(QStringLiteral("OLD"))));
        s << QStringLiteral("DROP TRIGGER IF EXISTS trJournal%1 ON [%1]").arg(table);
        s << QStringLiteral(
                 "CREATE TRIGGER trJournal%1 AFTER INSERT OR UPDATE OR DELETE ON [%1] FOR EACH ROW "
                 "EXECUTE FUNCTION fnJournal%1()")
                 .arg(table);
    }
    return s;
}

// PostgreSQL: the journal's read-only guard.
QStringList pgFixedStatements() {
    QStringList s;
    s << QStringLiteral("CREATE FUNCTION fnJournalReadOnly() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                        "RAISE EXCEPTION USING ERRCODE = 'VL002', MESSAGE = '%1'; END $$")
             .arg(QString::fromUtf8(ReadOnlyMessage));
    s << QStringLiteral("CREATE TRIGGER trJournalReadOnly BEFORE UPDATE ON Journal FOR EACH ROW EXECUTE "
                        "FUNCTION fnJournalReadOnly()");
    return s;
}

QStringList triggers(const Connection &cn) {
    return cn.engine() == Engine::PostgreSQL ? pgTriggers() : sqliteTriggers();
}

} // namespace

void create(Connection &cn) {
    const bool pg = cn.engine() == Engine::PostgreSQL;
    QStringList s;
    s << QStringLiteral(
             "CREATE TABLE Journal (ID %1, Stamp %2 NOT NULL, Person TEXT, TableName VARCHAR(30) "
             "NOT NULL, RowKey INTEGER NOT NULL, OwnerKey INTEGER, Act CHAR(1) NOT NULL, Fields TEXT)")
             .arg(pg ? QStringLiteral("bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                     : QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"),
                  pg ? QStringLiteral("timestamp(0)") : QStringLiteral("DATETIME"));
    // One object's history, what an object holds, a period.
    s << QStringLiteral("CREATE INDEX ixJournalRow ON Journal (TableName, RowKey, ID)");
    s << QStringLiteral("CREATE INDEX ixJournalOwner ON Journal (TableName, OwnerKey, ID)");
    s << QStringLiteral("CREATE INDEX ixJournalStamp ON Journal (Stamp)");
    s << QStringLiteral("CREATE TABLE JournalSetting (ID INTEGER NOT NULL PRIMARY KEY CHECK (ID = 1), "
                        "KeepMonths INTEGER NOT NULL DEFAULT 36 CHECK (KeepMonths > 0), LastPurge %1)")
             .arg(pg ? QStringLiteral("timestamp(0)") : QStringLiteral("DATETIME"));
    s << QStringLiteral("INSERT INTO JournalSetting (ID, KeepMonths) VALUES (1, 36)");
    s << (pg ? pgFixedStatements() : sqliteFixedStatements()) << triggers(cn);
    for (const QString &sql : s)
        cn.execute(sql);
}

void replaceTriggers(Connection &cn) {
    for (const QString &sql : triggers(cn))
        cn.execute(sql);
}

void describe() {
    SchemaInfo &si = SchemaInfo::instance();
    si.addTable({QStringLiteral("Journal"),
                 {{QStringLiteral("ID"), FieldType::Integer, 0, true, true},
                  {QStringLiteral("Stamp"), FieldType::DateTime, 0, false, true},
                  {QStringLiteral("Person"), FieldType::Memo, 0, false, true},
                  {QStringLiteral("TableName"), FieldType::String, 30, false, true},
                  {QStringLiteral("RowKey"), FieldType::Integer, 0, false, true},
                  {QStringLiteral("OwnerKey"), FieldType::Integer, 0, false, true},
                  {QStringLiteral("Act"), FieldType::FixedChar, 1, false, true},
                  {QStringLiteral("Fields"), FieldType::Memo, 0, false, true}},
                 QStringLiteral("ID")});
    si.addTable({QStringLiteral("JournalSetting"),
                 {{QStringLiteral("ID"), FieldType::Integer, 0, false, false},
                  {QStringLiteral("KeepMonths"), FieldType::Integer, 0, false, false},
                  {QStringLiteral("LastPurge"), FieldType::DateTime, 0, false, false}},
                 QStringLiteral("ID")});
}

} // namespace JournalSchema
