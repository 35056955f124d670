#include "server/Schema.h"

#include "data/Errors.h"
#include "data/SqliteFunctions.h"
#include "data/ValueCheck.h"
#include "server/JournalSchema.h"
#include "server/ProcText.h"
#include "server/SchemaFindIndex.h"
#include "server/SchemaMissingOwner.h"
#include "server/SchemaWorkplaceOwner.h"

#include <QRegularExpression>
#include <mutex>

namespace {

struct Col {
    const char *name;
    FieldType type;
    int size = 0;
    const char *extra = ""; // constraints and defaults, written for both engines
    bool identity = false;
    bool readOnly = false;
};

struct Table {
    const char *name;
    const char *key;
    QVector<Col> cols;
    QStringList constraints = {};
};

constexpr FieldType I = FieldType::Integer, S = FieldType::SmallInt, V = FieldType::String,
                    C = FieldType::FixedChar, B = FieldType::Boolean, T = FieldType::DateTime,
                    M = FieldType::Money, X = FieldType::Memo, L = FieldType::Blob;

Col id(const char *name, FieldType t = I) {
    return {name, t, 0, "", true};
}
Col ro(const char *name, FieldType t, int size = 0, const char *extra = "") {
    return {name, t, size, extra, false, true};
}
Col version() {
    return {"RowVersion", I, 0, "NOT NULL DEFAULT 0"};
}

// Version 1: the inventory, the people, and the server's own tables.
const QVector<Table> &tablesV1() {
    static const QVector<Table> t = {
        {"Trademark",
         "ID",
         {id("ID", S), {"Name", V, 50}, ro("Ranking", S, 0, "NOT NULL DEFAULT 0"), version()}},
        {"Client",
         "IdClient",
         {id("IdClient"),
          {"ClntNameFull", V, 100},
          {"Trademark", S, 0, "REFERENCES Trademark (ID)"},
          {"ClntNameShort", V, 20},
          ro("DisplayName", V, 122),
          ro("CountDoc", I, 0, "NOT NULL DEFAULT 0"),
          ro("CountModel", I, 0, "NOT NULL DEFAULT 0"),
          version()}},
        {"Kind",
         "IdKind",
         {id("IdKind", S),
          {"KindType", C, 1, "NOT NULL CHECK (KindType IN ('D', 'H', 'M', 'S'))"},
          {"KindOrder", I},
          {"KindName", V, 30},
          {"KindImage", S},
          {"ShortName", V, 20},
          ro("UsesModel", I, 0, "NOT NULL DEFAULT 0"),
          ro("UsesDevice", I, 0, "NOT NULL DEFAULT 0"),
          version()}},
        {"Model",
         "IdModel",
         {id("IdModel"),
          {"ModlKind", S, 0, "REFERENCES Kind (IdKind)"},
          {"ModlWeight", I},
          {"ModlIdProducer", I, 0, "REFERENCES Client (IdClient)"},
          {"ModlNumber", V, 30},
          {"ModlName", V, 60},
          {"ModlNameOnly", B},
          {"ModlParametersValue", V, 100},
          {"ModlNote", V, 100},
          ro("DisplayParameters", V, 203),
          version()}},
        {"DocKind",
         "ID",
         {{"ID", C, 1, "NOT NULL PRIMARY KEY"},
          {"Name", V, 20},
          ro("Uses", I, 0, "NOT NULL DEFAULT 0"),
          version()}},
        {"Document",
         "IdDocument",
         {id("IdDocument"),
          {"DocKind", C, 1, "DEFAULT 'N' REFERENCES DocKind (ID)"},
          {"DocNumber", V, 20},
          {"DocDate", T, 0, "DEFAULT {TODAY}"},
          {"DocClient", I, 0, "REFERENCES Client (IdClient)"},
          {"Note", V, 500},
          version()}},
        {"User",
         "ID",
         {id("ID"),
          {"Login", V, 25},
          {"Domain", V, 20},
          {"DomainSource", B},
          {"Name", V, 100},
          {"AddName", V, 150},
          {"ShortName", V, 50},
          {"Pass", V, 50},
          {"EMail", V, 50},
          {"MailPass", V, 50},
          {"EMailGroup", V, 50},
          {"SkypeLogin", V, 50},
          {"SkypePass", V, 50},
          ro("DisplayLookup", V, 127),
          version()}},
        {"Department",
         "IdDepartment",
         {id("IdDepartment"),
          {"DprtIdHigher", I, 0, "REFERENCES Department (IdDepartment)"},
          {"DprtName", V, 100},
          {"Synonym", V, 150},
          {"DprtOrder", I},
          version()}},
        {"Workplace",
         "IdWorkplace",
         {id("IdWorkplace"),
          {"WrkpIdDepartment", I, 0, "NOT NULL REFERENCES Department (IdDepartment)"},
          {"WrkpName", V, 50},
          {"WrkpOrder", I},
          {"Phone", V, 15},
          {"Synonym", V, 150},
          {"User", I, 0, "REFERENCES [User] (ID) ON DELETE SET NULL"},
          version()}},
        {"DeviceUnit",
         "IdDevice",
         {id("IdDevice"),
          {"DevcIdWorkplace", I, 0, "NOT NULL REFERENCES Workplace (IdWorkplace)"},
          {"DevcName", V, 50},
          {"DevcPrinting", B},
          {"DevcDescription", X},
          {"Used", S},
          {"Domain", V, 50},
          {"DevcIdKind", S, 0, "REFERENCES Kind (IdKind)"},
          {"Depreciation", V, 25},
          {"DevcNumber", V, 25},
          {"Prevention", T},
          {"PreventionExpress", B},
          {"PreventionNeed", B},
          {"OnLine", B},
          version()}},
        {"CompleteSet",
         "IdComponent",
         {id("IdComponent"),
          {"CmplIdDevice", I, 0, "NOT NULL REFERENCES DeviceUnit (IdDevice)"},
          {"CmplDateSet", T, 0, "DEFAULT {NOW}"},
          {"CmplIdModel", I, 0, "REFERENCES Model (IdModel)"},
          {"CmplNumber", V, 50},
          {"NumberManufact", V, 50},
          {"DateManufact", T},
          {"NumberSeller", V, 50},
          {"DateSeller", T},
          {"Warranty", S},
          {"DocumentId", I, 0, "REFERENCES Document (IdDocument)"},
          {"DocumentPosition", S},
          {"Price", M},
          {"ModelKind", S, 0, "REFERENCES Kind (IdKind)"},
          version()}},
        {"UseComputer",
         "ID",
         {id("ID"),
          {"Computer", I, 0, "NOT NULL REFERENCES DeviceUnit (IdDevice) ON DELETE CASCADE"},
          {"User", I, 0, "NOT NULL REFERENCES [User] (ID) ON DELETE CASCADE"}}},
        {"DomainController",
         "ID",
         {{"ID", I, 0, "NOT NULL PRIMARY KEY"}, {"Domain", V, 50}, {"Controller", V, 50}}},
        {"UserIgnore", "ID", {id("ID"), {"DomainUser", V, 50, "NOT NULL"}}},
        {"UserInstallDefault", "ID", {id("ID"), {"Line", I}, {"Title", B}, {"Name", V, 150}}},
        // A user's setup checklist, copied from the default lines.
        {"UserInstall",
         "ID",
         {id("ID"),
          {"User", I, 0, "NOT NULL REFERENCES [User] (ID) ON DELETE CASCADE"},
          {"Line", I},
          {"Title", B},
          {"Name", V, 150},
          {"Done", B, 0, "NOT NULL DEFAULT {FALSE}"}}},
        // Bookmarks of each operating-system user; the highest Stamp is the newest.
        {"Favorite",
         "ID",
         {id("ID"),
          {"OsUser", V, 100, "NOT NULL"},
          {"KeyObject", V, 10, "NOT NULL"},
          {"Name", V, 100},
          {"Stamp", I, 0, "NOT NULL DEFAULT 0"}},
         {"UNIQUE (OsUser, KeyObject)"}},
        // Where an element was placed and when.
        {"ElementMove",
         "ID",
         {id("ID"),
          {"IdComponent", I, 0, "NOT NULL REFERENCES CompleteSet (IdComponent) ON DELETE CASCADE"},
          {"Moving", T, 0, "NOT NULL"},
          {"Place", V, 500}}},
        // Program versions kept in the database: the newest one is the one in use.
        {"ProgramVersion",
         "ID",
         {id("ID"), {"Version", V, 50, "NOT NULL UNIQUE"}, {"Programm", L}, {"Change", X}}},
        {"SchemaVersion", "Version", {{"Version", I, 0, "NOT NULL"}}},
    };
    return t;
}

const Table &searchTable() {
    // One searchable text per department (D), workplace (W), device (V) and element (E).
    static const Table t{"SearchText",
                         "ID",
                         {{"Kind", C, 1, "NOT NULL"}, {"ID", I, 0, "NOT NULL"}, {"Name", V, 500}},
                         {"PRIMARY KEY (Kind, ID)"}};
    return t;
}

QString typeName(Engine e, const Col &c) {
    const bool pg = e == Engine::PostgreSQL;
    if (c.identity) {
        if (pg)
            return c.type == S ? QStringLiteral("smallint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY")
                               : QStringLiteral("integer GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY");
        return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    }
    switch (c.type) {
    case I:
        return pg ? QStringLiteral("integer") : QStringLiteral("INTEGER");
    case S:
        return pg ? QStringLiteral("smallint") : QStringLiteral("SMALLINT");
    case V:
        return QStringLiteral("VARCHAR(%1)").arg(c.size);
    case C:
        return QStringLiteral("CHAR(%1)").arg(c.size);
    case B:
        return pg ? QStringLiteral("boolean") : QStringLiteral("BIT");
    case T:
        return pg ? QStringLiteral("timestamp(0)") : QStringLiteral("DATETIME");
    // SQLite keeps the amount as exact decimal text (a declared type with TEXT affinity).
    case M:
        return pg ? QStringLiteral("numeric(19,4)") : QStringLiteral("DECIMAL_TEXT(19,4)");
    case X:
        return QStringLiteral("TEXT");
    case L:
        return pg ? QStringLiteral("bytea") : QStringLiteral("BLOB");
    default:
        return QStringLiteral("TEXT");
    }
}

QString substitute(Engine e, QString s) {
    const bool pg = e == Engine::PostgreSQL;
    s.replace(QStringLiteral("{NOW}"),
              pg ? QStringLiteral("localtimestamp(0)") : QStringLiteral("(datetime('now', 'localtime'))"));
    s.replace(QStringLiteral("{TODAY}"), pg ? QStringLiteral("(current_date::timestamp)")
                                            : QStringLiteral("(date('now', 'localtime') || ' 00:00:00')"));
    s.replace(QStringLiteral("{FALSE}"), pg ? QStringLiteral("false") : QStringLiteral("0"));
    s.replace(QStringLiteral("{TRUE}"), pg ? QStringLiteral("true") : QStringLiteral("1"));
    return s;
}

QString createTable(Engine e, const Table &t) {
    QStringList parts;
    for (const Col &c : t.cols) {
        QString def = QStringLiteral("[%1] %2").arg(QString::fromLatin1(c.name), typeName(e, c));
        if (*c.extra)
            def += u' ' + substitute(e, QString::fromUtf8(c.extra));
        // SQLite does not hold a text to its declared width: a named check does, and its name
        // is the message the user reads.
        if (e == Engine::SQLite && (c.type == V || c.type == C))
            def += QStringLiteral(" CONSTRAINT \"%1: не более %2 символов\" CHECK (length([%1]) <= %2)")
                       .arg(QString::fromLatin1(c.name))
                       .arg(c.size);
        if (e == Engine::SQLite && c.type == S && c.identity)
            def += QStringLiteral(" CHECK ([%1] <= 32767)").arg(QString::fromLatin1(c.name));
        parts << def;
    }
    parts << t.constraints;
    return QStringLiteral("CREATE TABLE [%1] (\n  %2\n)")
        .arg(QString::fromLatin1(t.name), parts.join(QStringLiteral(",\n  ")));
}

// The table a column's "REFERENCES T (K)" names, empty when it names none.
QString referencedTable(const char *extra) {
    static const QRegularExpression re(QStringLiteral(R"(\bREFERENCES\s+\[?(\w+)\]?)"));
    const auto m = re.match(QString::fromLatin1(extra));
    return m.hasMatch() ? m.captured(1) : QString();
}

TableInfo info(const Table &t) {
    TableInfo ti;
    ti.name = QString::fromLatin1(t.name);
    ti.key = QString::fromLatin1(t.key);
    for (const Col &c : t.cols)
        ti.columns << ColumnInfo{QString::fromLatin1(c.name), c.type, c.size, c.identity, c.readOnly,
                                 referencedTable(c.extra),    false};
    return ti;
}

// Expressions shared by both engines for the texts the database derives.
const char *DisplayParameters =
    "nullif(trim(coalesce(ModlParametersValue, '') || CASE WHEN coalesce(ModlParametersValue, '') <> '' AND "
    "coalesce(ModlNote, '') <> '' THEN '; ' ELSE '' END || coalesce(ModlNote, '')), '')";
const char *DisplayLookup =
    "nullif(coalesce([Login], '') || CASE WHEN coalesce([Login], '') <> '' AND coalesce(Name, '') <> '' "
    "THEN ': ' ELSE '' END || coalesce(Name, ''), '')";

QStringList indexes() {
    return {
        "CREATE INDEX ixDepartmentHigher ON Department (DprtIdHigher)",
        "CREATE INDEX ixWorkplaceDepartment ON Workplace (WrkpIdDepartment)",
        "CREATE INDEX ixWorkplaceUser ON Workplace ([User])",
        "CREATE INDEX ixDeviceWorkplace ON DeviceUnit (DevcIdWorkplace)",
        "CREATE INDEX ixDeviceKind ON DeviceUnit (DevcIdKind)",
        "CREATE INDEX ixDeviceDomain ON DeviceUnit (Domain)",
        "CREATE INDEX ixSetDevice ON CompleteSet (CmplIdDevice)",
        "CREATE INDEX ixSetModel ON CompleteSet (CmplIdModel)",
        "CREATE INDEX ixSetDocument ON CompleteSet (DocumentId)",
        "CREATE INDEX ixSetKind ON CompleteSet (ModelKind)",
        "CREATE INDEX ixModelKind ON Model (ModlKind)",
        "CREATE INDEX ixModelProducer ON Model (ModlIdProducer)",
        "CREATE INDEX ixClientTrademark ON Client (Trademark)",
        "CREATE INDEX ixDocumentClient ON Document (DocClient)",
        "CREATE INDEX ixDocumentKind ON Document (DocKind)",
        "CREATE INDEX ixUseComputer ON UseComputer (Computer)",
        "CREATE INDEX ixUseUser ON UseComputer ([User])",
        "CREATE INDEX ixUserInstall ON UserInstall ([User])",
        "CREATE INDEX ixElementMove ON ElementMove (IdComponent)",
        "CREATE INDEX ixFavorite ON Favorite (OsUser, Stamp)",
    };
}

const char *ClientListView =
    "CREATE VIEW ClientList AS SELECT c.IdClient AS ID, t.Name AS TradeName, c.ClntNameFull AS ClientName, "
    "c.CountDoc AS CountDoc, c.CountModel AS CountModel FROM Client c LEFT JOIN Trademark t ON t.ID = "
    "c.Trademark";

// Counter columns the database keeps: child table, its reference, parent table, parent key, counter.
struct Counter {
    const char *child, *ref, *parent, *key, *counter;
};
const Counter Counters[] = {
    {"Model", "ModlKind", "Kind", "IdKind", "UsesModel"},
    {"DeviceUnit", "DevcIdKind", "Kind", "IdKind", "UsesDevice"},
    {"Client", "Trademark", "Trademark", "ID", "Ranking"},
    {"Document", "DocClient", "Client", "IdClient", "CountDoc"},
    {"Model", "ModlIdProducer", "Client", "IdClient", "CountModel"},
    {"Document", "DocKind", "DocKind", "ID", "Uses"},
};

// Sibling orders: table, key, parent column, order column; new and re-parented rows go last.
struct SiblingOrder {
    const char *table, *key, *parent, *order;
};
const SiblingOrder Orders[] = {
    {"Department", "IdDepartment", "DprtIdHigher", "DprtOrder"},
    {"Workplace", "IdWorkplace", "WrkpIdDepartment", "WrkpOrder"},
    {"Kind", "IdKind", "KindType", "KindOrder"},
    {"Model", "IdModel", "ModlKind", "ModlWeight"},
};

const SiblingOrder &siblingOrder(const char *table) {
    for (const SiblingOrder &o : Orders)
        if (qstrcmp(o.table, table) == 0)
            return o;
    Q_UNREACHABLE();
}

// ---- SQLite triggers ------------------------------------------------------------------------

// A counter column of `parent` that follows the rows of `child` referencing it.
QStringList sqliteCounter(const QString &child, const QString &ref, const QString &parent, const QString &key,
                          const QString &counter) {
    const QString up = QStringLiteral("UPDATE [%1] SET %2 = %2 %3 1 WHERE %4 = %5.%6;")
                           .arg(parent, counter, QStringLiteral("%1"), key, QStringLiteral("%2"), ref);
    const QString base = child + counter;
    return {
        QStringLiteral("CREATE TRIGGER tr%1Ins AFTER INSERT ON [%2] BEGIN %3 END")
            .arg(base, child, up.arg(QStringLiteral("+")).arg(QStringLiteral("NEW"))),
        QStringLiteral("CREATE TRIGGER tr%1Del AFTER DELETE ON [%2] BEGIN %3 END")
            .arg(base, child, up.arg(QStringLiteral("-")).arg(QStringLiteral("OLD"))),
        QStringLiteral(
            "CREATE TRIGGER tr%1Upd AFTER UPDATE OF %3 ON [%2] WHEN OLD.%3 IS NOT NEW.%3 BEGIN %4 %5 END")
            .arg(base, child, ref, up.arg(QStringLiteral("-")).arg(QStringLiteral("OLD")),
                 up.arg(QStringLiteral("+")).arg(QStringLiteral("NEW"))),
    };
}

// New rows, and rows moved to another parent, go last among their siblings.
QStringList sqliteOrder(const QString &table, const QString &key, const QString &parent,
                        const QString &order) {
    const QString set =
        QStringLiteral("UPDATE [%1] SET %4 = (SELECT coalesce(max(%4), 0) + 1 FROM [%1] WHERE %3 IS NEW.%3 "
                       "AND %2 <> NEW.%2) WHERE %2 = NEW.%2;")
            .arg(table, key, parent, order);
    return {
        QStringLiteral("CREATE TRIGGER tr%1Order AFTER INSERT ON [%1] WHEN NEW.%2 IS NULL BEGIN %3 END")
            .arg(table, order, set),
        QStringLiteral(
            "CREATE TRIGGER tr%1Reorder AFTER UPDATE OF %2 ON [%1] WHEN OLD.%2 IS NOT NEW.%2 BEGIN %3 END")
            .arg(table, parent, set),
    };
}

QStringList sqliteTriggersV1() {
    QStringList s;
    for (const SiblingOrder &o : Orders)
        s << sqliteOrder(o.table, o.key, o.parent, o.order);
    for (const Counter &c : Counters)
        s << sqliteCounter(c.child, c.ref, c.parent, c.key, c.counter);
    const QString clientName = QStringLiteral(
        "UPDATE Client SET DisplayName = substr(coalesce((SELECT Name FROM Trademark WHERE ID = "
        "Client.Trademark) || ': ', '') "
        "|| coalesce(ClntNameFull, ClntNameShort, ''), 1, 122) WHERE IdClient = NEW.IdClient;");
    s << QStringLiteral("CREATE TRIGGER trClientNameIns AFTER INSERT ON Client BEGIN %1 END").arg(clientName);
    s << QStringLiteral("CREATE TRIGGER trClientNameUpd AFTER UPDATE OF ClntNameFull, ClntNameShort, "
                        "Trademark ON Client BEGIN %1 END")
             .arg(clientName);
    s << QStringLiteral("CREATE TRIGGER trTrademarkName AFTER UPDATE OF Name ON Trademark BEGIN "
                        "UPDATE Client SET DisplayName = substr(coalesce(NEW.Name || ': ', '') || "
                        "coalesce(ClntNameFull, ClntNameShort, ''), 1, 122) "
                        "WHERE Trademark = NEW.ID; END");
    const QString params =
        QStringLiteral("UPDATE Model SET DisplayParameters = %1 WHERE IdModel = NEW.IdModel;")
            .arg(QString::fromLatin1(DisplayParameters));
    s << QStringLiteral("CREATE TRIGGER trModelParamsIns AFTER INSERT ON Model BEGIN %1 END").arg(params);
    s << QStringLiteral("CREATE TRIGGER trModelParamsUpd AFTER UPDATE OF ModlParametersValue, ModlNote ON "
                        "Model BEGIN %1 END")
             .arg(params);
    const QString lookup = QStringLiteral("UPDATE [User] SET DisplayLookup = %1 WHERE ID = NEW.ID;")
                               .arg(QString::fromLatin1(DisplayLookup));
    s << QStringLiteral("CREATE TRIGGER trUserLookupIns AFTER INSERT ON [User] BEGIN %1 END").arg(lookup);
    s << QStringLiteral("CREATE TRIGGER trUserLookupUpd AFTER UPDATE OF [Login], Name ON [User] BEGIN %1 END")
             .arg(lookup);
    return s;
}

// ---- PostgreSQL trigger functions ------------------------------------------------------------

QStringList pgCounter(const QString &child, const QString &ref, const QString &parent, const QString &key,
                      const QString &counter) {
    const QString fn = QStringLiteral("fn%1%2").arg(child, counter);
    return {
        QStringLiteral("CREATE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                       "IF TG_OP IN ('UPDATE', 'DELETE') AND OLD.%2 IS NOT NULL AND (TG_OP = 'DELETE' OR "
                       "OLD.%2 IS DISTINCT FROM NEW.%2) THEN "
                       "UPDATE [%3] SET %5 = %5 - 1 WHERE %4 = OLD.%2; END IF; "
                       "IF TG_OP IN ('UPDATE', 'INSERT') AND NEW.%2 IS NOT NULL AND (TG_OP = 'INSERT' OR "
                       "OLD.%2 IS DISTINCT FROM NEW.%2) THEN "
                       "UPDATE [%3] SET %5 = %5 + 1 WHERE %4 = NEW.%2; END IF; "
                       "RETURN NULL; END $$")
            .arg(fn, ref, parent, key, counter),
        QStringLiteral("CREATE TRIGGER tr%1%2 AFTER INSERT OR UPDATE OR DELETE ON [%1] FOR EACH ROW EXECUTE "
                       "FUNCTION %3()")
            .arg(child, counter, fn),
    };
}

QString pgOrder(const SiblingOrder &o) {
    const QString table = QString::fromLatin1(o.table), key = QString::fromLatin1(o.key),
                  parent = QString::fromLatin1(o.parent), order = QString::fromLatin1(o.order);
    return QStringLiteral(
               "IF (TG_OP = 'INSERT' AND NEW.%4 IS NULL) OR (TG_OP = 'UPDATE' AND OLD.%3 IS DISTINCT FROM "
               "NEW.%3) THEN "
               // Two workstations adding under one parent at once would both read the same maximum:
               // the numbering under one parent is taken in turn (a lock on the parent's value only,
               // held to the end of the transaction; the next maximum is read after it is granted).
               "PERFORM pg_advisory_xact_lock(hashtext('%1'), hashtext(coalesce(NEW.%3::text, ''))); "
               // Two plain comparisons rather than IS NOT DISTINCT FROM, which cannot use the parent's index.
               "IF NEW.%3 IS NULL THEN "
               "SELECT coalesce(max(%4), 0) + 1 INTO NEW.%4 FROM [%1] WHERE %3 IS NULL AND %2 <> NEW.%2; "
               "ELSE SELECT coalesce(max(%4), 0) + 1 INTO NEW.%4 FROM [%1] WHERE %3 = NEW.%3 AND %2 <> "
               "NEW.%2; "
               "END IF; "
               "END IF; ")
        .arg(table, key, parent, order);
}

QStringList pgBefore(const QString &table, const QString &body) {
    return {
        QStringLiteral(
            "CREATE FUNCTION fn%1Before() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN %2 RETURN NEW; END $$")
            .arg(table, body),
        QStringLiteral("CREATE TRIGGER tr%1Before BEFORE INSERT OR UPDATE ON [%1] FOR EACH ROW EXECUTE "
                       "FUNCTION fn%1Before()")
            .arg(table),
    };
}

QStringList pgTriggersV1() {
    QStringList s;
    s << pgBefore("Department", pgOrder(siblingOrder("Department")));
    s << pgBefore("Workplace", pgOrder(siblingOrder("Workplace")));
    s << pgBefore("Kind", pgOrder(siblingOrder("Kind")));
    QString params = QString::fromLatin1(DisplayParameters);
    params.replace(QStringLiteral("ModlParametersValue"), QStringLiteral("NEW.ModlParametersValue"))
        .replace(QStringLiteral("ModlNote"), QStringLiteral("NEW.ModlNote"));
    s << pgBefore("Model", pgOrder(siblingOrder("Model")) +
                               QStringLiteral("NEW.DisplayParameters := %1; ").arg(params));
    s << pgBefore("Client",
                  QStringLiteral("NEW.DisplayName := substr(coalesce((SELECT Name FROM Trademark WHERE ID = "
                                 "NEW.Trademark) || ': ', '') "
                                 "|| coalesce(NEW.ClntNameFull, NEW.ClntNameShort, ''), 1, 122); "));
    QString lookup = QString::fromLatin1(DisplayLookup);
    lookup.replace(QStringLiteral("[Login]"), QStringLiteral("NEW.[Login]"))
        .replace(QStringLiteral("Name,"), QStringLiteral("NEW.Name,"));
    s << pgBefore("User", QStringLiteral("NEW.DisplayLookup := %1; ").arg(lookup));
    s << QStringLiteral("CREATE FUNCTION fnTrademarkName() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                        "IF NEW.Name IS DISTINCT FROM OLD.Name THEN UPDATE Client SET DisplayName = "
                        "substr(coalesce(NEW.Name || ': ', '') "
                        "|| coalesce(ClntNameFull, ClntNameShort, ''), 1, 122) WHERE Trademark = NEW.ID; END "
                        "IF; RETURN NULL; END $$");
    s << QStringLiteral("CREATE TRIGGER trTrademarkName AFTER UPDATE ON Trademark FOR EACH ROW EXECUTE "
                        "FUNCTION fnTrademarkName()");
    for (const Counter &c : Counters)
        s << pgCounter(c.child, c.ref, c.parent, c.key, c.counter);
    return s;
}

// ---- Version 2: search texts -----------------------------------------------------------------

// The searchable text of each kind of row, as an expression over the row itself.
const char *DepartmentText = "ltrim(coalesce(%1DprtName, '') || coalesce(' / ' || %1Synonym, ''), ' /')";
const char *WorkplaceText = "ltrim(coalesce(%1WrkpName, '') || coalesce(' / ' || %1Synonym, '') || "
                            "coalesce(' / тел. ' || %1Phone, ''), ' /')";
const char *DeviceText = "ltrim(coalesce(%1DevcName, '') || coalesce(' / ' || %1Domain, '') || coalesce(' / "
                         "инв. ' || %1DevcNumber, '') "
                         "|| coalesce(' / ' || %1Depreciation, ''), ' /')";
const char *ElementText =
    "ltrim(coalesce((SELECT ModlName FROM Model WHERE IdModel = %1CmplIdModel), '') || coalesce(' / ' || "
    "%1CmplNumber, '') "
    "|| coalesce(' / ' || %1NumberManufact, '') || coalesce(' / ' || %1NumberSeller, ''), ' /')";

QString text(const char *expr, const QString &prefix) {
    return QString::fromUtf8(expr).arg(prefix);
}

struct Searched {
    const char *table, *key, *kind, *expr, *columns;
};
const Searched SearchedTables[] = {
    {"Department", "IdDepartment", "D", DepartmentText, "DprtName, Synonym"},
    {"Workplace", "IdWorkplace", "W", WorkplaceText, "WrkpName, Synonym, Phone"},
    {"DeviceUnit", "IdDevice", "V", DeviceText, "DevcName, Domain, DevcNumber, Depreciation"},
    {"CompleteSet", "IdComponent", "E", ElementText, "CmplIdModel, CmplNumber, NumberManufact, NumberSeller"},
};

QString upsert(const Searched &t, const QString &prefix) {
    return QStringLiteral("INSERT INTO SearchText (Kind, ID, Name) VALUES ('%1', %2%3, substr(%4, 1, 500)) "
                          "ON CONFLICT (Kind, ID) DO UPDATE SET Name = excluded.Name;")
        .arg(QString::fromLatin1(t.kind), prefix, QString::fromLatin1(t.key), text(t.expr, prefix));
}

QStringList searchStatements(Engine e) {
    QStringList s;
    s << createTable(e, searchTable());
    for (const Searched &t : SearchedTables)
        s << QStringLiteral(
                 "INSERT INTO SearchText (Kind, ID, Name) SELECT '%1', %2, substr(%3, 1, 500) FROM [%4]")
                 .arg(QString::fromLatin1(t.kind), QString::fromLatin1(t.key), text(t.expr, QString()),
                      QString::fromLatin1(t.table));
    const QString modelRename = QStringLiteral("UPDATE SearchText SET Name = (SELECT substr(%1, 1, 500) FROM "
                                               "CompleteSet s WHERE s.IdComponent = SearchText.ID) "
                                               "WHERE Kind = 'E' AND ID IN (SELECT IdComponent FROM "
                                               "CompleteSet WHERE CmplIdModel = NEW.IdModel);")
                                    .arg(text(ElementText, QStringLiteral("s.")));
    if (e == Engine::SQLite) {
        for (const Searched &t : SearchedTables) {
            const QString del = QStringLiteral("DELETE FROM SearchText WHERE Kind = '%1' AND ID = OLD.%2;")
                                    .arg(QString::fromLatin1(t.kind), QString::fromLatin1(t.key));
            s << QStringLiteral("CREATE TRIGGER trSearch%1Ins AFTER INSERT ON [%1] BEGIN %2 END")
                     .arg(QString::fromLatin1(t.table), upsert(t, QStringLiteral("NEW.")));
            s << QStringLiteral("CREATE TRIGGER trSearch%1Upd AFTER UPDATE OF %2 ON [%1] BEGIN %3 END")
                     .arg(QString::fromLatin1(t.table), QString::fromLatin1(t.columns),
                          upsert(t, QStringLiteral("NEW.")));
            s << QStringLiteral("CREATE TRIGGER trSearch%1Del AFTER DELETE ON [%1] BEGIN %2 END")
                     .arg(QString::fromLatin1(t.table), del);
        }
        s << QStringLiteral("CREATE TRIGGER trSearchModel AFTER UPDATE OF ModlName ON Model BEGIN %1 END")
                 .arg(modelRename);
        // A trigram index over the texts; its MATCH folds the case of any alphabet.
        s << QStringLiteral(
            "CREATE VIRTUAL TABLE SearchIndex USING fts5(Name, content='SearchText', tokenize='trigram')");
        s << QStringLiteral("INSERT INTO SearchIndex (SearchIndex) VALUES ('rebuild')");
        s << QStringLiteral("CREATE TRIGGER trSearchIndexIns AFTER INSERT ON SearchText BEGIN "
                            "INSERT INTO SearchIndex (rowid, Name) VALUES (NEW.rowid, NEW.Name); END");
        s << QStringLiteral(
            "CREATE TRIGGER trSearchIndexDel AFTER DELETE ON SearchText BEGIN "
            "INSERT INTO SearchIndex (SearchIndex, rowid, Name) VALUES ('delete', OLD.rowid, OLD.Name); END");
        s << QStringLiteral(
            "CREATE TRIGGER trSearchIndexUpd AFTER UPDATE ON SearchText BEGIN "
            "INSERT INTO SearchIndex (SearchIndex, rowid, Name) VALUES ('delete', OLD.rowid, OLD.Name); "
            "INSERT INTO SearchIndex (rowid, Name) VALUES (NEW.rowid, NEW.Name); END");
    } else {
        for (const Searched &t : SearchedTables) {
            s << QStringLiteral("CREATE FUNCTION fnSearch%1() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                                "IF TG_OP = 'DELETE' THEN DELETE FROM SearchText WHERE Kind = '%2' AND ID = "
                                "OLD.%3; RETURN NULL; END IF; "
                                "%4 RETURN NULL; END $$")
                     .arg(QString::fromLatin1(t.table), QString::fromLatin1(t.kind),
                          QString::fromLatin1(t.key), upsert(t, QStringLiteral("NEW.")));
            s << QStringLiteral(
                     "CREATE TRIGGER trSearch%1 AFTER INSERT OR UPDATE OR DELETE ON [%1] FOR EACH ROW "
                     "EXECUTE FUNCTION fnSearch%1()")
                     .arg(QString::fromLatin1(t.table));
        }
        s << QStringLiteral(
                 "CREATE FUNCTION fnSearchModel() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                 "IF NEW.ModlName IS DISTINCT FROM OLD.ModlName THEN %1 END IF; RETURN NULL; END $$")
                 .arg(modelRename);
        s << QStringLiteral("CREATE TRIGGER trSearchModel AFTER UPDATE ON Model FOR EACH ROW EXECUTE "
                            "FUNCTION fnSearchModel()");
    }
    return s;
}

// ---- Version 3: folded search texts and the find texts ---------------------------------------

// Every search compares folded texts (FoldText: case and "ё" do not count), the same on both
// engines and under any locale: the database keeps the fold of each search text beside it and
// indexes the fold, and keeps one folded find text per department, workplace and device with
// the texts its find dialog promises to match.

const Table &findTable() {
    static const Table t{"FindText",
                         "ID",
                         {{"Kind", C, 1, "NOT NULL"}, {"ID", I, 0, "NOT NULL"}, {"Text", X}},
                         {"PRIMARY KEY (Kind, ID)"}};
    return t;
}

struct Found {
    const char *table, *key, *kind;
    QStringList texts;   // over the row x
    const char *columns; // the columns they are made of (SQLite update triggers)
};
const QVector<Found> &foundTables() {
    static const QVector<Found> t = {
        {"Department", "IdDepartment", "D", {"x.DprtName", "x.Synonym"}, "DprtName, Synonym"},
        {"Workplace",
         "IdWorkplace",
         "W",
         {"x.WrkpName", "x.Synonym", "x.Phone", "(SELECT Name FROM [User] WHERE ID = x.[User])",
          "(SELECT ShortName FROM [User] WHERE ID = x.[User])",
          "(SELECT [Login] FROM [User] WHERE ID = x.[User])"},
         "WrkpName, Synonym, Phone, [User]"},
        {"DeviceUnit",
         "IdDevice",
         "V",
         {"x.DevcName", "x.Domain", "x.DevcNumber",
          "(SELECT WrkpName FROM Workplace WHERE IdWorkplace = x.DevcIdWorkplace)"},
         "DevcName, Domain, DevcNumber, DevcIdWorkplace"},
    };
    return t;
}

const Found &found(const char *table) {
    for (const Found &f : foundTables())
        if (qstrcmp(f.table, table) == 0)
            return f;
    Q_UNREACHABLE();
}

// Writes the find texts of the rows of `f` that satisfy `where` (over x).
QString refill(Engine e, const Found &f, const QString &where) {
    return QStringLiteral("INSERT INTO FindText (Kind, ID, Text) SELECT '%1', x.%2, %3 FROM [%4] x WHERE %5 "
                          "ON CONFLICT (Kind, ID) DO UPDATE SET Text = excluded.Text;")
        .arg(QString::fromLatin1(f.kind), QString::fromLatin1(f.key), ProcText::foldedTexts(e, f.texts),
             QString::fromLatin1(f.table), where);
}

QString refillRow(Engine e, const Found &f) {
    return refill(e, f, QStringLiteral("x.%1 = NEW.%1").arg(QString::fromLatin1(f.key)));
}

QStringList foldStatementsSqlite() {
    const Engine e = Engine::SQLite;
    QStringList s;
    s << QStringLiteral("ALTER TABLE SearchText ADD COLUMN Folded TEXT");
    s << QStringLiteral("UPDATE SearchText SET Folded = %1")
             .arg(ProcText::foldSql(e, QStringLiteral("Name")));
    // The index now holds the folds; it follows them as the texts change.
    s << QStringLiteral("DROP TRIGGER trSearchIndexIns") << QStringLiteral("DROP TRIGGER trSearchIndexDel")
      << QStringLiteral("DROP TRIGGER trSearchIndexUpd") << QStringLiteral("DROP TABLE SearchIndex");
    s << QStringLiteral("CREATE VIRTUAL TABLE SearchIndex USING fts5(Folded, content='SearchText', "
                        "tokenize='trigram case_sensitive 1')");
    s << QStringLiteral("INSERT INTO SearchIndex (SearchIndex) VALUES ('rebuild')");
    s << QStringLiteral("CREATE TRIGGER trSearchFoldIns AFTER INSERT ON SearchText BEGIN "
                        "UPDATE SearchText SET Folded = %1 WHERE rowid = NEW.rowid; END")
             .arg(ProcText::foldSql(e, QStringLiteral("NEW.Name")));
    s << QStringLiteral("CREATE TRIGGER trSearchFoldUpd AFTER UPDATE OF Name ON SearchText BEGIN "
                        "UPDATE SearchText SET Folded = %1 WHERE rowid = NEW.rowid; END")
             .arg(ProcText::foldSql(e, QStringLiteral("NEW.Name")));
    s << QStringLiteral(
        "CREATE TRIGGER trSearchIndexDel AFTER DELETE ON SearchText WHEN OLD.Folded IS NOT NULL BEGIN "
        "INSERT INTO SearchIndex (SearchIndex, rowid, Folded) VALUES ('delete', OLD.rowid, OLD.Folded); END");
    s << QStringLiteral(
        "CREATE TRIGGER trSearchIndexUpd AFTER UPDATE OF Folded ON SearchText BEGIN "
        "INSERT INTO SearchIndex (SearchIndex, rowid, Folded) SELECT 'delete', OLD.rowid, OLD.Folded "
        "WHERE OLD.Folded IS NOT NULL; "
        "INSERT INTO SearchIndex (rowid, Folded) VALUES (NEW.rowid, NEW.Folded); END");

    s << createTable(e, findTable());
    for (const Found &f : foundTables()) {
        const QString table = QString::fromLatin1(f.table);
        s << refill(e, f, QStringLiteral("1 = 1"));
        s << QStringLiteral("CREATE TRIGGER trFind%1Ins AFTER INSERT ON [%1] BEGIN %2 END")
                 .arg(table, refillRow(e, f));
        s << QStringLiteral("CREATE TRIGGER trFind%1Upd AFTER UPDATE OF %2 ON [%1] BEGIN %3 END")
                 .arg(table, QString::fromLatin1(f.columns), refillRow(e, f));
        s << QStringLiteral("CREATE TRIGGER trFind%1Del AFTER DELETE ON [%1] BEGIN "
                            "DELETE FROM FindText WHERE Kind = '%2' AND ID = OLD.%3; END")
                 .arg(table, QString::fromLatin1(f.kind), QString::fromLatin1(f.key));
    }
    // A device's text holds its workplace's name, a workplace's text its user's names.
    s << QStringLiteral(
             "CREATE TRIGGER trFindWorkplaceDevices AFTER UPDATE OF WrkpName ON Workplace BEGIN %1 END")
             .arg(refill(e, found("DeviceUnit"), QStringLiteral("x.DevcIdWorkplace = NEW.IdWorkplace")));
    s << QStringLiteral("CREATE TRIGGER trFindUserWorkplaces AFTER UPDATE OF Name, ShortName, [Login] ON "
                        "[User] BEGIN %1 END")
             .arg(refill(e, found("Workplace"), QStringLiteral("x.[User] = NEW.ID")));
    s << QStringLiteral("CREATE VIRTUAL TABLE FindIndex USING fts5(Text, content='FindText', "
                        "tokenize='trigram case_sensitive 1')");
    s << QStringLiteral("INSERT INTO FindIndex (FindIndex) VALUES ('rebuild')");
    s << QStringLiteral("CREATE TRIGGER trFindIndexIns AFTER INSERT ON FindText BEGIN "
                        "INSERT INTO FindIndex (rowid, Text) VALUES (NEW.rowid, NEW.Text); END");
    s << QStringLiteral(
        "CREATE TRIGGER trFindIndexDel AFTER DELETE ON FindText BEGIN "
        "INSERT INTO FindIndex (FindIndex, rowid, Text) VALUES ('delete', OLD.rowid, OLD.Text); END");
    s << QStringLiteral(
        "CREATE TRIGGER trFindIndexUpd AFTER UPDATE ON FindText BEGIN "
        "INSERT INTO FindIndex (FindIndex, rowid, Text) VALUES ('delete', OLD.rowid, OLD.Text); "
        "INSERT INTO FindIndex (rowid, Text) VALUES (NEW.rowid, NEW.Text); END");
    return s;
}

QStringList foldStatementsPg() {
    const Engine e = Engine::PostgreSQL;
    QStringList s;
    s << QStringLiteral("ALTER TABLE SearchText ADD COLUMN Folded text");
    s << QStringLiteral("UPDATE SearchText SET Folded = %1")
             .arg(ProcText::foldSql(e, QStringLiteral("Name")));
    s << QStringLiteral("CREATE FUNCTION fnSearchFold() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                        "NEW.Folded := %1; RETURN NEW; END $$")
             .arg(ProcText::foldSql(e, QStringLiteral("NEW.Name")));
    s << QStringLiteral("CREATE TRIGGER trSearchFold BEFORE INSERT OR UPDATE ON SearchText FOR EACH ROW "
                        "EXECUTE FUNCTION fnSearchFold()");
    s << QStringLiteral("DROP INDEX IF EXISTS ixSearchText");
    s << createTable(e, findTable());
    for (const Found &f : foundTables()) {
        const QString table = QString::fromLatin1(f.table);
        s << refill(e, f, QStringLiteral("1 = 1"));
        QString more;
        if (table == u"Workplace")
            more = QStringLiteral(
                       "IF TG_OP = 'UPDATE' AND NEW.WrkpName IS DISTINCT FROM OLD.WrkpName THEN %1 END IF; ")
                       .arg(refill(e, found("DeviceUnit"),
                                   QStringLiteral("x.DevcIdWorkplace = NEW.IdWorkplace")));
        s << QStringLiteral("CREATE FUNCTION fnFind%1() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                            "IF TG_OP = 'DELETE' THEN DELETE FROM FindText WHERE Kind = '%2' AND ID = "
                            "OLD.%3; RETURN NULL; END IF; "
                            "%4 %5RETURN NULL; END $$")
                 .arg(table, QString::fromLatin1(f.kind), QString::fromLatin1(f.key), refillRow(e, f), more);
        s << QStringLiteral("CREATE TRIGGER trFind%1 AFTER INSERT OR UPDATE OR DELETE ON [%1] FOR EACH ROW "
                            "EXECUTE FUNCTION fnFind%1()")
                 .arg(table);
    }
    s << QStringLiteral(
             "CREATE FUNCTION fnFindUser() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
             "IF NEW.Name IS DISTINCT FROM OLD.Name OR NEW.ShortName IS DISTINCT FROM OLD.ShortName "
             "OR NEW.[Login] IS DISTINCT FROM OLD.[Login] THEN %1 END IF; RETURN NULL; END $$")
             .arg(refill(e, found("Workplace"), QStringLiteral("x.[User] = NEW.ID")));
    s << QStringLiteral(
        "CREATE TRIGGER trFindUser AFTER UPDATE ON [User] FOR EACH ROW EXECUTE FUNCTION fnFindUser()");
    return s;
}

// ---- Version 4: values as strict on SQLite as on PostgreSQL, no department cycles -------------

constexpr int MaxWarrantyMonths = 1200;

// SQLite stores whatever it is given in a column of any declared type: a text in an integer
// column, 40000 in a smallint, 'abc' as a price. Before every insert and update, each value is
// held to what PostgreSQL's type admits; a refusal carries the code PostgreSQL would give
// ("22003: <column>: ..."), so that both engines show the same sentence.
QStringList sqliteValueChecks(const Table &t) {
    QStringList conditions, raises;
    auto check = [&](const QString &condition, const QString &code, const QString &message) {
        conditions << u'(' + condition + u')';
        raises << QStringLiteral("SELECT RAISE(ABORT, '%1: %2') WHERE %3;").arg(code, message, condition);
    };
    for (const Col &c : t.cols) {
        if (c.identity)
            continue;
        const QString name = QString::fromLatin1(c.name);
        const QString v = QStringLiteral("NEW.[%1]").arg(name);
        switch (c.type) {
        case I:
        case S: {
            const IntegerRange r = integerRange(c.type);
            check(QStringLiteral("typeof(%1) NOT IN ('integer', 'null')").arg(v), QStringLiteral("22P02"),
                  QStringLiteral("%1: ожидается целое число").arg(name));
            check(QStringLiteral("typeof(%1) = 'integer' AND %1 NOT BETWEEN %2 AND %3")
                      .arg(v)
                      .arg(r.min)
                      .arg(r.max),
                  QStringLiteral("22003"),
                  QStringLiteral("%1: целое число от %2 до %3").arg(name).arg(r.min).arg(r.max));
            break;
        }
        case B:
            check(QStringLiteral("%1 IS NOT NULL AND %1 NOT IN (0, 1)").arg(v), QStringLiteral("22P02"),
                  QStringLiteral("%1: ожидается 0 или 1").arg(name));
            break;
        case M:
            // A decimal number: an optional sign, digits, at most one point followed by digits.
            check(QStringLiteral("%1 IS NOT NULL AND NOT (CAST(%1 AS TEXT) GLOB '[0-9]*' OR CAST(%1 AS TEXT) "
                                 "GLOB '[+-][0-9]*') "
                                 "OR CAST(%1 AS TEXT) GLOB '?*[^0-9.]*' OR CAST(%1 AS TEXT) GLOB '*.*.*'")
                      .arg(v),
                  QStringLiteral("22P02"), QStringLiteral("%1: ожидается число").arg(name));
            check(QStringLiteral("%1 IS NOT NULL AND instr(CAST(%1 AS TEXT) || '.', '.') - 1 - (CAST(%1 AS "
                                 "TEXT) GLOB '[+-]*') > 15")
                      .arg(v),
                  QStringLiteral("22003"), QStringLiteral("%1: не более 15 цифр до запятой").arg(name));
            break;
        case T:
            // A date is kept as its text. A number would read as a Julian day number (0 as a day
            // of the year -4713), where PostgreSQL refuses it; and a text such as '1e3' reaches
            // the trigger as the number SQLite made of it.
            check(QStringLiteral("%1 IS NOT NULL AND (typeof(%1) <> 'text' OR datetime(%1) IS NULL)").arg(v),
                  QStringLiteral("22007"), QStringLiteral("%1: ожидается дата").arg(name));
            break;
        case V:
        case C:
        case X:
            // length() stops at a NUL, so a NUL would hide the rest of the text from the width check.
            check(QStringLiteral("instr(CAST(%1 AS BLOB), X'00') > 0").arg(v), QStringLiteral("22021"),
                  QStringLiteral("%1: символ с кодом 0").arg(name));
            break;
        default:
            break;
        }
        if (qstrcmp(c.name, "Warranty") == 0)
            check(QStringLiteral("typeof(%1) = 'integer' AND %1 NOT BETWEEN 0 AND %2")
                      .arg(v)
                      .arg(MaxWarrantyMonths),
                  QStringLiteral("23514"),
                  QStringLiteral("Warranty: от 0 до %1 месяцев").arg(MaxWarrantyMonths));
    }
    if (conditions.isEmpty())
        return {};
    const QString table = QString::fromLatin1(t.name);
    const QString when = conditions.join(QStringLiteral(" OR "));
    const QString body = raises.join(u' ');
    return {
        QStringLiteral("CREATE TRIGGER trCheck%1Ins BEFORE INSERT ON [%1] WHEN %2 BEGIN %3 END")
            .arg(table, when, body),
        QStringLiteral("CREATE TRIGGER trCheck%1Upd BEFORE UPDATE ON [%1] WHEN %2 BEGIN %3 END")
            .arg(table, when, body),
    };
}

// A department placed under itself or under one of its own descendants would leave the tree:
// LoadTree could not show it and its members could never be deleted. The database refuses such a
// parent, by whatever statement it is written, inside the writing transaction.
const char *DepartmentAncestors = "WITH RECURSIVE up(id) AS (SELECT NEW.DprtIdHigher UNION "
                                  "SELECT d.DprtIdHigher FROM Department d JOIN up ON d.IdDepartment = up.id "
                                  "WHERE d.DprtIdHigher IS NOT NULL) "
                                  "SELECT 1 FROM up WHERE id = NEW.IdDepartment";
const char *CycleMessage = "DprtIdHigher: подразделение не может входить в само себя";

QStringList strictStatements(Engine e) {
    QStringList s;
    // A blocked account name is kept once: two workstations blocking it at once add one row.
    s << QStringLiteral(
        "DELETE FROM UserIgnore WHERE ID NOT IN (SELECT min(ID) FROM UserIgnore GROUP BY DomainUser)");
    s << QStringLiteral("CREATE UNIQUE INDEX uxUserIgnore ON UserIgnore (DomainUser)");
    if (e == Engine::SQLite) {
        for (const Table &t : tablesV1())
            s << sqliteValueChecks(t);
        s << sqliteValueChecks(searchTable());
        for (const char *event : {"INSERT", "UPDATE OF DprtIdHigher"})
            s << QStringLiteral("CREATE TRIGGER trDepartmentCycle%1 BEFORE %2 ON Department "
                                "WHEN NEW.DprtIdHigher IS NOT NULL AND EXISTS (%3) BEGIN SELECT RAISE(ABORT, "
                                "'VL001: %4'); END")
                     .arg(QString::fromLatin1(event).section(u' ', 0, 0).toLower(),
                          QString::fromLatin1(event), QString::fromLatin1(DepartmentAncestors),
                          QString::fromUtf8(CycleMessage));
        return s;
    }
    s << QStringLiteral("ALTER TABLE CompleteSet ADD CONSTRAINT \"Warranty: от 0 до %1 месяцев\" "
                        "CHECK (Warranty BETWEEN 0 AND %1) NOT VALID")
             .arg(MaxWarrantyMonths);
    // Re-parenting is rare: one lock for all of it makes two simultaneous moves see each other.
    s << QStringLiteral(
             "CREATE FUNCTION fnDepartmentCycle() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
             "IF NEW.DprtIdHigher IS NOT NULL AND (TG_OP = 'INSERT' OR NEW.DprtIdHigher IS DISTINCT FROM "
             "OLD.DprtIdHigher) THEN "
             "PERFORM pg_advisory_xact_lock(hashtext('Department.DprtIdHigher')); "
             "IF EXISTS (%1) THEN RAISE EXCEPTION USING ERRCODE = 'VL001', MESSAGE = '%2'; END IF; "
             "END IF; RETURN NEW; END $$")
             .arg(QString::fromLatin1(DepartmentAncestors), QString::fromUtf8(CycleMessage));
    s << QStringLiteral(
        "CREATE TRIGGER trDepartmentCycle BEFORE INSERT OR UPDATE OF DprtIdHigher ON Department "
        "FOR EACH ROW EXECUTE FUNCTION fnDepartmentCycle()");
    // The sibling numbering functions of older databases take their lock from now on.
    for (const QString &st : pgTriggersV1())
        for (const SiblingOrder &o : Orders)
            if (st.startsWith(
                    QStringLiteral("CREATE FUNCTION fn%1Before()").arg(QString::fromLatin1(o.table))))
                s << QString(st).replace(0, 15, QStringLiteral("CREATE OR REPLACE FUNCTION"));
    return s;
}

void run(Connection &cn, const QStringList &statements) {
    for (const QString &sql : statements)
        cn.execute(sql);
}

// ---- Version 5: blocked accounts belong to one domain; domain controllers with a bind account --

// UserIgnore.Domain: the domain of the blocked account ('' for an account without one); NULL only
// in rows from before this step that matched no user, which keep blocking the login in every
// domain until someone restores them. DomainController.BindAccount: the account the directory is
// read with (none: anonymous).
const Table &userIgnoreV5() {
    static const Table t{
        "UserIgnore", "ID", {id("ID"), {"DomainUser", V, 50, "NOT NULL"}, {"Domain", V, 20}}};
    return t;
}
const Table &domainControllerV5() {
    static const Table t{"DomainController",
                         "ID",
                         {{"ID", I, 0, "NOT NULL PRIMARY KEY"},
                          {"Domain", V, 50},
                          {"Controller", V, 50},
                          {"BindAccount", V, 200}}};
    return t;
}

void scopeIgnoredAccounts(Connection &cn) {
    const Engine e = cn.engine();
    auto addColumn = [&](const Table &t, const Col &c) {
        QString sql = QStringLiteral("ALTER TABLE [%1] ADD COLUMN [%2] %3")
                          .arg(QString::fromLatin1(t.name), QString::fromLatin1(c.name), typeName(e, c));
        if (e == Engine::SQLite)
            sql += QStringLiteral(" CONSTRAINT \"%1: не более %2 символов\" CHECK (length([%1]) <= %2)")
                       .arg(QString::fromLatin1(c.name))
                       .arg(c.size);
        cn.execute(sql);
        if (e == Engine::SQLite) { // the value checks of the table cover the new column too
            for (const char *event : {"Ins", "Upd"})
                cn.execute(QStringLiteral("DROP TRIGGER IF EXISTS trCheck%1%2")
                               .arg(QString::fromLatin1(t.name), QString::fromLatin1(event)));
            run(cn, sqliteValueChecks(t));
        }
    };
    addColumn(userIgnoreV5(), userIgnoreV5().cols.back());
    addColumn(domainControllerV5(), domainControllerV5().cols.back());

    // One row per account: the same login may now be blocked in several domains.
    cn.execute(QStringLiteral("DROP INDEX uxUserIgnore"));

    // A login blocked so far was hidden in every domain: it stays hidden for the users it hid,
    // each in that user's own domain.
    const ResultSet blocked = cn.query(QStringLiteral("SELECT ID, DomainUser FROM UserIgnore"));
    const ResultSet users =
        cn.query(QStringLiteral("SELECT [Login], Domain FROM [User] WHERE [Login] IS NOT NULL"));
    for (const auto &row : blocked.rows) {
        const QString login = row[1].toString().trimmed();
        const QString key = FoldText(login);
        QStringList domains, seen;
        for (const auto &u : users.rows) {
            if (FoldText(u[0].toString().trimmed()) != key)
                continue;
            const QString domain = u[1].isNull() ? QStringLiteral("") : u[1].toString().trimmed();
            if (!seen.contains(FoldText(domain))) {
                seen << FoldText(domain);
                domains << domain;
            }
        }
        if (domains.isEmpty())
            continue; // nobody to scope it to: it keeps blocking the login everywhere
        cn.execute(QStringLiteral("UPDATE UserIgnore SET Domain = :D WHERE ID = :ID"),
                   {{QStringLiteral("D"), domains.front()}, {QStringLiteral("ID"), row[0]}});
        for (const QString &domain : domains.mid(1))
            cn.execute(QStringLiteral("INSERT INTO UserIgnore (DomainUser, Domain) VALUES (:L, :D)"),
                       {{QStringLiteral("L"), row[1]}, {QStringLiteral("D"), domain}});
    }
    cn.execute(QStringLiteral("CREATE UNIQUE INDEX uxUserIgnore ON UserIgnore (Domain, DomainUser)"));
}

void createV1(Connection &cn) {
    const Engine e = cn.engine();
    for (const Table &t : tablesV1())
        cn.execute(createTable(e, t));
    run(cn, indexes());
    cn.execute(QString::fromLatin1(ClientListView));
    run(cn, e == Engine::SQLite ? sqliteTriggersV1() : pgTriggersV1());
    // The document kind every new document gets.
    cn.execute(QStringLiteral("INSERT INTO DocKind (ID, Name) VALUES ('N', 'Накладная')"));
    cn.execute(QStringLiteral("INSERT INTO SchemaVersion (Version) VALUES (0)"));
}

// The trigram indexes of PostgreSQL need pg_trgm; without it the searches still work, by a scan.
// The extension may live in any schema: its operator class is named with that schema.
void trigramIndex(Connection &cn, const QString &name, const QString &table, const QString &column) {
    const QString where = cn.scalar(QStringLiteral("SELECT n.nspname FROM pg_extension e JOIN pg_namespace n "
                                                   "ON n.oid = e.extnamespace WHERE e.extname = 'pg_trgm'"))
                              .toString();
    if (!where.isEmpty())
        cn.execute(QStringLiteral("CREATE INDEX %1 ON %2 USING gin (%3 \"%4\".gin_trgm_ops)")
                       .arg(name, table, column, where));
}

void upgradeToV2(Connection &cn) {
    run(cn, searchStatements(cn.engine()));
    if (cn.engine() == Engine::PostgreSQL)
        trigramIndex(cn, QStringLiteral("ixSearchText"), QStringLiteral("SearchText"),
                     QStringLiteral("lower(Name)"));
}

void upgradeToV3(Connection &cn) {
    if (cn.engine() == Engine::SQLite) {
        run(cn, foldStatementsSqlite());
        return;
    }
    run(cn, foldStatementsPg());
    trigramIndex(cn, QStringLiteral("ixSearchFolded"), QStringLiteral("SearchText"),
                 QStringLiteral("Folded"));
    trigramIndex(cn, QStringLiteral("ixFindText"), QStringLiteral("FindText"), QStringLiteral("Text"));
}

void addStrictChecks(Connection &cn) {
    run(cn, strictStatements(cn.engine()));
}

// ---- Version 6: dates written as numbers refused on SQLite -----------------------------------

// The value checks of version 4 took a number for a date; the checks of the tables with a date
// column are made again with the stricter test of sqliteValueChecks.
void refuseNumericDates(Connection &cn) {
    if (cn.engine() != Engine::SQLite)
        return;
    for (const Table &t : tablesV1()) {
        if (std::none_of(t.cols.begin(), t.cols.end(), [](const Col &c) { return c.type == T; }))
            continue;
        const QString table = QString::fromLatin1(t.name);
        cn.execute(QStringLiteral("DROP TRIGGER IF EXISTS trCheck%1Ins").arg(table));
        cn.execute(QStringLiteral("DROP TRIGGER IF EXISTS trCheck%1Upd").arg(table));
        run(cn, sqliteValueChecks(t));
    }
}

// ---- Version 7: program images in parts ---------------------------------------------------------

// A program image is kept in parts of a megabyte or so, so that publishing and installing never
// hold a whole image as one value in memory or in one statement.
const Table &programPartTable() {
    static const Table t{
        "ProgramPart",
        "Version",
        {{"Version", V, 50, "NOT NULL REFERENCES ProgramVersion (Version) ON DELETE CASCADE"},
         {"Part", I, 0, "NOT NULL"},
         {"Data", L, 0, "NOT NULL"}},
        {"PRIMARY KEY (Version, Part)"}};
    return t;
}

// Images stored whole move over as a single part.
void addProgramParts(Connection &cn) {
    cn.execute(createTable(cn.engine(), programPartTable()));
    cn.execute(QStringLiteral("INSERT INTO ProgramPart (Version, Part, Data) SELECT Version, 0, Programm "
                              "FROM ProgramVersion WHERE Programm IS NOT NULL AND length(Programm) > 0"));
    cn.execute(QStringLiteral("UPDATE ProgramVersion SET Programm = NULL WHERE Programm IS NOT NULL AND "
                              "Version IN (SELECT Version FROM ProgramPart)"));
}

// ---- Version 8: one user per domain account -----------------------------------------------------

// The fold the database applies where no program runs: SQLite's file must work from any client.
QString storedFold(Engine e, const QString &expr) {
    return e == Engine::SQLite ? PortableFoldSql(expr) : ProcText::foldSql(e, expr);
}

// A domain account (domain and login, compared as the domain scan compares them: trimmed and
// folded) belongs to one user. Rows that already share an account keep the oldest one as it is;
// the later ones lose their domain, so they stay with every value and link they have, no longer
// match the account, and show up with an empty domain for the administrator to merge.
// PostgreSQL holds the rule with a unique index over the folded texts; SQLite, whose index
// expressions cannot fold without the program's function, with triggers (one writer at a time).
const char *AccountTaken = "Учётная запись домена уже есть у другого пользователя";

void addUniqueUserAccount(Connection &cn) {
    const Engine e = cn.engine();
    auto key = [&](const QString &alias, const char *column) {
        return storedFold(e, QStringLiteral("trim(%1[%2])").arg(alias, QString::fromLatin1(column)));
    };
    auto same = [&](const QString &a, const QString &b) {
        return QStringLiteral("%1[Domain] IS NOT NULL AND trim(%1[Login]) <> '' AND "
                              "length(trim(%1[Login])) = length(trim(%2[Login])) AND %3 = %4 AND %5 = %6")
            .arg(a, b, key(a, "Login"), key(b, "Login"), key(a, "Domain"), key(b, "Domain"));
    };
    cn.execute(QStringLiteral("UPDATE [User] SET Domain = NULL WHERE ID IN (SELECT u.ID FROM [User] u WHERE "
                              "u.Domain IS NOT NULL AND trim(u.[Login]) <> '' AND EXISTS (SELECT 1 FROM "
                              "[User] o WHERE o.ID < u.ID AND %1))")
                   .arg(same(QStringLiteral("o."), QStringLiteral("u."))));
    if (e == Engine::PostgreSQL) {
        cn.execute(QStringLiteral("CREATE UNIQUE INDEX uxUserAccount ON [User] ((%1), (%2)) WHERE Domain IS "
                                  "NOT NULL AND trim([Login]) <> ''")
                       .arg(key(QString(), "Domain"), key(QString(), "Login")));
        return;
    }
    for (const char *event : {"INSERT", "UPDATE OF Domain, [Login]"}) {
        const bool insert = qstrcmp(event, "INSERT") == 0;
        cn.execute(
            QStringLiteral("CREATE TRIGGER trUserAccount%1 BEFORE %2 ON [User] WHEN NEW.Domain IS NOT NULL "
                           "AND trim(NEW.[Login]) <> '' AND EXISTS (SELECT 1 FROM [User] o WHERE %3%4) "
                           "BEGIN SELECT RAISE(ABORT, '23505: %5'); END")
                .arg(insert ? QStringLiteral("Ins") : QStringLiteral("Upd"), QString::fromLatin1(event),
                     insert ? QString() : QStringLiteral("o.ID <> NEW.ID AND "),
                     same(QStringLiteral("o."), QStringLiteral("NEW.")), QString::fromUtf8(AccountTaken)));
    }
}

// ---- Version 9: SQLite triggers without the program's functions ----------------------------------

// `sql` with every call fold_text(x) written as PortableFoldSql(x).
QString withPortableFold(const QString &sql) {
    static const QString call = QStringLiteral("fold_text(");
    QString out;
    qsizetype from = 0;
    for (qsizetype at = sql.indexOf(call, 0, Qt::CaseInsensitive); at >= 0;
         at = sql.indexOf(call, from, Qt::CaseInsensitive)) {
        // The matching bracket, outside quoted texts.
        qsizetype i = at + call.size();
        int depth = 1;
        QChar quote;
        for (; i < sql.size() && depth > 0; ++i) {
            const QChar c = sql[i];
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
            } else if (c == u'\'' || c == u'"') {
                quote = c;
            } else if (c == u'(') {
                ++depth;
            } else if (c == u')') {
                --depth;
            }
        }
        if (depth != 0)
            throw AppError(QStringLiteral("Не удалось разобрать триггер базы данных: %1").arg(sql.left(200)));
        const QString inner = sql.mid(at + call.size(), i - 1 - at - call.size());
        out += sql.mid(from, at - from) + PortableFoldSql(withPortableFold(inner));
        from = i;
    }
    return out + sql.mid(from);
}

// The triggers that keep the search and find texts folded called fold_text, which only the
// program registers: from the sqlite3 shell or any other client an update of a device,
// workplace or model failed. They fold with replace() now, the same rule to the letter.
void foldWithoutProgramFunctions(Connection &cn) {
    if (cn.engine() != Engine::SQLite)
        return;
    const ResultSet rs = cn.query(QStringLiteral("SELECT type, name, sql FROM sqlite_master WHERE type IN "
                                                 "('trigger', 'view', 'index') AND sql LIKE '%fold\\_text(%' "
                                                 "ESCAPE '\\' ORDER BY name"));
    for (const auto &row : rs.rows) {
        const QString type = row[0].toString(), name = row[1].toString();
        cn.execute(QStringLiteral("DROP %1 [%2]").arg(type.toUpper(), name));
        cn.execute(withPortableFold(row[2].toString()));
    }
}

// ---- Version 10: the change journal ------------------------------------------------------------

void addJournal(Connection &cn) {
    JournalSchema::create(cn);
}

// ---- Version 11: stocktaking --------------------------------------------------------------------

// A count of what stands at one place (a department with everything under it, or a workplace):
// who started it, when, and when it was finished (Null while it is open). One place has at most
// one open count, so two workstations starting at once share it.
const Table &stocktakeTable() {
    static const Table t{
        "Stocktake",
        "IdStocktake",
        {id("IdStocktake"),
         {"StckIdDepartment", I, 0, "REFERENCES Department (IdDepartment) ON DELETE CASCADE"},
         {"StckIdWorkplace", I, 0, "REFERENCES Workplace (IdWorkplace) ON DELETE CASCADE"},
         {"StckElements", B, 0, "NOT NULL DEFAULT {FALSE}"},
         {"StckPerson", V, 100, "NOT NULL"},
         {"StckStarted", T, 0, "NOT NULL DEFAULT {NOW}"},
         {"StckFinished", T}},
        {"CHECK ((StckIdDepartment IS NULL AND StckIdWorkplace IS NOT NULL) OR (StckIdDepartment IS NOT NULL "
         "AND StckIdWorkplace IS NULL))",
         "CHECK (StckFinished IS NULL OR StckFinished >= StckStarted)"}};
    return t;
}

// One scanned code of a count, kept once however often it was scanned (Times), with what it was
// found to be: F on its place, P found here but kept elsewhere (Place: where the database has it),
// U unknown; N is written when the count is finished, for what was expected and not scanned.
// IdDevice or IdComponent: what the code stands for.
const Table &stocktakeScanTable() {
    static const Table t{
        "StocktakeScan",
        "ID",
        {id("ID"),
         {"IdStocktake", I, 0, "NOT NULL REFERENCES Stocktake (IdStocktake) ON DELETE CASCADE"},
         {"Code", V, 50, "NOT NULL CHECK (Code <> '')"},
         {"Scanned", T, 0, "NOT NULL DEFAULT {NOW}"},
         {"Result", C, 1, "NOT NULL CHECK (Result IN ('F', 'P', 'U', 'N'))"},
         {"IdDevice", I, 0, "REFERENCES DeviceUnit (IdDevice) ON DELETE SET NULL"},
         {"IdComponent", I, 0, "REFERENCES CompleteSet (IdComponent) ON DELETE SET NULL"},
         {"Place", V, 500},
         {"Person", V, 100},
         {"Times", I, 0, "NOT NULL DEFAULT 1 CHECK (Times >= 1)"}},
        {"UNIQUE (IdStocktake, Code)", "CHECK (IdDevice IS NULL OR IdComponent IS NULL)"}};
    return t;
}

void addStocktaking(Connection &cn) {
    const Engine e = cn.engine();
    run(cn, {createTable(e, stocktakeTable()), createTable(e, stocktakeScanTable()),
             QStringLiteral("CREATE INDEX ixStocktakeDepartment ON Stocktake (StckIdDepartment)"),
             QStringLiteral("CREATE INDEX ixStocktakeWorkplace ON Stocktake (StckIdWorkplace)"),
             QStringLiteral("CREATE UNIQUE INDEX uxStocktakeOpenDepartment ON Stocktake (StckIdDepartment) "
                            "WHERE StckFinished IS NULL AND StckIdDepartment IS NOT NULL"),
             QStringLiteral("CREATE UNIQUE INDEX uxStocktakeOpenWorkplace ON Stocktake (StckIdWorkplace) "
                            "WHERE StckFinished IS NULL AND StckIdWorkplace IS NOT NULL"),
             QStringLiteral("CREATE INDEX ixStocktakeScanDevice ON StocktakeScan (IdDevice)"),
             QStringLiteral("CREATE INDEX ixStocktakeScanComponent ON StocktakeScan (IdComponent)"),
             // A scanned code is looked up by a device's inventory number and an element's serial,
             // each as a label prints it: without the blanks around it.
             QStringLiteral("CREATE INDEX ixDeviceNumber ON DeviceUnit ((trim(DevcNumber)))"),
             QStringLiteral("CREATE INDEX ixSetSerial ON CompleteSet ((trim(NumberManufact)))")});
    if (e == Engine::SQLite) {
        run(cn, sqliteValueChecks(stocktakeTable()));
        run(cn, sqliteValueChecks(stocktakeScanTable()));
    }
}

// ---- Version 13: cheaper journal triggers --------------------------------------------------------

// The journal's triggers build a change without a query over every column; entries already
// written keep their text, which is of the same form.
void cheaperJournalTriggers(Connection &cn) {
    JournalSchema::replaceTriggers(cn);
}

using Step = void (*)(Connection &);
const Step Steps[] = {createV1,
                      upgradeToV2,
                      upgradeToV3,
                      addStrictChecks,
                      scopeIgnoredAccounts,
                      refuseNumericDates,
                      addProgramParts,
                      addUniqueUserAccount,
                      foldWithoutProgramFunctions,
                      addJournal,
                      addStocktaking,
                      Schema::indexFindTextsByKind,
                      cheaperJournalTriggers,
                      Schema::keepMissingOwners,
                      Schema::keepWorkplaceOwners}; // Steps[i] brings version i to version i + 1
static_assert(std::size(Steps) == Schema::CurrentVersion);

void describeTables() {
    SchemaInfo &si = SchemaInfo::instance();
    for (const Table &t : tablesV1())
        si.addTable(info(t));
    si.addTable(info(userIgnoreV5()));
    si.addTable(info(domainControllerV5()));
    si.addTable(info(searchTable()));
    si.addTable(info(findTable()));
    si.addTable(info(programPartTable()));
    JournalSchema::describe();
    si.addTable(info(stocktakeTable()));
    si.addTable(info(stocktakeScanTable()));
    si.addTable({QStringLiteral("ClientList"),
                 {{QStringLiteral("ID"), I, 0, false, true},
                  {QStringLiteral("TradeName"), V, 51, false, true},
                  {QStringLiteral("ClientName"), V, 100, false, true},
                  {QStringLiteral("CountDoc"), I, 0, false, true},
                  {QStringLiteral("CountModel"), I, 0, false, true}},
                 QStringLiteral("ID")});
}

} // namespace

namespace Schema {

void describe() {
    // Workstation threads prepare databases at once: the description is written once, before
    // any of them reads it.
    static std::once_flag once;
    std::call_once(once, describeTables);
}

namespace {

QString damaged(const QString &why) {
    return QStringLiteral(
               "База данных повреждена или создана не этой программой: %1. Обратитесь к администратору")
        .arg(why);
}

bool hasTable(Connection &cn, const QString &lowerName) {
    const QString probe =
        cn.engine() == Engine::SQLite
            ? QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND lower(name) = :N")
            : QStringLiteral("SELECT count(*) FROM information_schema.tables WHERE table_name = :N "
                             "AND table_schema = current_schema()");
    return cn.scalar(probe, {{QStringLiteral("N"), lowerName}}).toLongLong() > 0;
}

int tableCount(Connection &cn) {
    const QString probe =
        cn.engine() == Engine::SQLite
            ? QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                             "'sqlite\\_%' ESCAPE '\\'")
            : QStringLiteral(
                  "SELECT count(*) FROM information_schema.tables WHERE table_schema = current_schema()");
    return cn.scalar(probe).toInt();
}

// Holds PostgreSQL's lock on preparing the schema of the connection's current schema, so that
// workstations starting at once on a new database create it once, one after the other.
// While one workstation brings the schema up to date, the others wait for it: on PostgreSQL on an
// advisory lock, on SQLite on the file's write lock, for up to StepWaitSeconds.
class SchemaLock {
public:
    static constexpr int StepWaitSeconds = 120;

    explicit SchemaLock(Connection &cn) : m_cn(cn) {
        if (cn.engine() == Engine::PostgreSQL)
            cn.execute(QStringLiteral(
                "SELECT pg_advisory_lock(hashtext('velmora-schema'), hashtext(current_schema()))"));
        else // another workstation's step may hold the file longer than an ordinary write
            cn.execute(QStringLiteral("PRAGMA busy_timeout = %1").arg(StepWaitSeconds * 1000));
    }
    ~SchemaLock() {
        if (!m_cn.isOpen())
            return;
        try {
            if (m_cn.engine() == Engine::PostgreSQL)
                m_cn.execute(QStringLiteral(
                    "SELECT pg_advisory_unlock(hashtext('velmora-schema'), hashtext(current_schema()))"));
            else
                m_cn.execute(
                    QStringLiteral("PRAGMA busy_timeout = %1").arg(Connection::TimeoutSeconds * 1000));
        } catch (const AppError &) {
            // The session ends with the connection, and the lock with it.
        }
    }
    SchemaLock(const SchemaLock &) = delete;
    SchemaLock &operator=(const SchemaLock &) = delete;

private:
    Connection &m_cn;
};

void refuseNewer(int v) {
    if (v > Schema::CurrentVersion)
        throw NewerSchemaError(QStringLiteral("База данных создана более новой версией программы (схема %1, "
                                              "программа знает схему %2). Обновите программу")
                                   .arg(v)
                                   .arg(Schema::CurrentVersion));
}

} // namespace

int version(Connection &cn) {
    if (!hasTable(cn, QStringLiteral("schemaversion"))) {
        // An empty database is new; one holding tables of its own is not the program's to fill.
        if (tableCount(cn) == 0)
            return 0;
        // Read outside a transaction, the tables may be another workstation's that created the
        // schema, its version with it, between the two looks: the version is looked for again.
        if (!hasTable(cn, QStringLiteral("schemaversion")))
            throw SchemaVersionError(
                damaged(QStringLiteral("в ней есть таблицы, но нет номера версии схемы")));
    }
    const ResultSet rs = cn.query(QStringLiteral("SELECT Version FROM SchemaVersion"));
    if (rs.rows.size() != 1)
        throw SchemaVersionError(
            damaged(QStringLiteral("в таблице версии схемы строк: %1 вместо одной").arg(rs.rows.size())));
    const QVariant raw = rs.rows.front().front();
    int v = 0;
    try {
        v = checkedValue(FieldType::Integer, raw, QStringLiteral("версии схемы")).toInt();
    } catch (const AppError &) {
        v = -1;
    }
    // Versions count up from 1 in small steps; anything else is not a version this program wrote.
    if (raw.isNull() || v < 1 || v > 10000)
        throw SchemaVersionError(
            damaged(QStringLiteral("неверный номер версии схемы %1").arg(quoteInput(raw.toString()))));
    return v;
}

void check(Connection &cn) {
    refuseNewer(version(cn));
}

namespace {

// True when this call created the database (ran the first step), false when it found one.
bool upgrade(Connection &cn, int target) {
    describe();
    SchemaLock lock(cn);
    // Nothing is written before the version is known to be one this program can work on.
    const int found = version(cn);
    refuseNewer(found);
    if (found >= target)
        return false;
    if (cn.engine() == Engine::PostgreSQL && found < 3 &&
        target >= 2) { // the steps that build trigram indexes
        // Best effort: an account without the right to add extensions gets no trigram index.
        try {
            if (cn.scalar(QStringLiteral("SELECT count(*) FROM pg_extension WHERE extname = 'pg_trgm'"))
                    .toInt() == 0)
                cn.execute(QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm SCHEMA public"));
        } catch (const DatabaseError &) {
        }
    }
    bool created = false;
    for (;;) {
        // Each step in its own transaction; the version is read again inside it, so that of two
        // workstations upgrading one SQLite file at once the second finds the work done.
        Transaction tx(cn, TxMode::Write);
        const int v = version(cn);
        refuseNewer(v);
        if (v >= target) {
            tx.commit();
            return created;
        }
        created = created || v == 0;
        Steps[v](cn);
        cn.execute(QStringLiteral("UPDATE SchemaVersion SET Version = :V"), {{QStringLiteral("V"), v + 1}});
        tx.commit();
    }
}

} // namespace

void upgradeTo(Connection &cn, int target) {
    upgrade(cn, target);
}

bool prepare(Connection &cn) {
    return upgrade(cn, CurrentVersion);
}

ProgramFoldForLoad::ProgramFoldForLoad(Connection &cn) : m_cn(cn) {
    if (cn.engine() != Engine::SQLite)
        return;
    const ResultSet rs =
        cn.query(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'trigger'"));
    for (const auto &row : rs.rows) {
        const QString sql = row[1].toString(), fast = WithProgramFold(sql);
        if (fast == sql)
            continue;
        m_triggers.append({row[0].toString(), sql});
        cn.execute(QStringLiteral("DROP TRIGGER [%1]").arg(row[0].toString()));
        cn.execute(fast);
    }
}

void ProgramFoldForLoad::restore() {
    for (const auto &[name, sql] : std::exchange(m_triggers, {})) {
        m_cn.execute(QStringLiteral("DROP TRIGGER [%1]").arg(name));
        m_cn.execute(sql);
    }
}

} // namespace Schema
