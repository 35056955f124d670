#include "server/SchemaFindIndex.h"

#include "data/Connection.h"

namespace Schema {

namespace {

constexpr const char *Kinds[] = {"D", "W", "V"};

// SQLite: one FTS5 table per kind over FindText (FindIndexD, FindIndexW, FindIndexV), each holding
// the rows of its kind; the triggers of FindText route every change to the table of the row's kind.
void sqliteIndexes(Connection &cn) {
    for (const char *name : {"trFindIndexIns", "trFindIndexDel", "trFindIndexUpd"})
        cn.execute(QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(QString::fromLatin1(name)));
    cn.execute(QStringLiteral("DROP TABLE IF EXISTS FindIndex"));
    QString inserts, deletes;
    for (const char *k : Kinds) {
        const QString kind = QString::fromLatin1(k), table = QStringLiteral("FindIndex") + kind;
        cn.execute(QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts5(Text, content='FindText', "
                                  "tokenize='trigram case_sensitive 1')")
                       .arg(table));
        cn.execute(
            QStringLiteral("INSERT INTO %1 (rowid, Text) SELECT rowid, Text FROM FindText WHERE Kind = '%2'")
                .arg(table, kind));
        inserts += QStringLiteral("INSERT INTO %1 (rowid, Text) SELECT NEW.rowid, NEW.Text WHERE NEW.Kind = "
                                  "'%2'; ")
                       .arg(table, kind);
        deletes += QStringLiteral("INSERT INTO %1 (%1, rowid, Text) SELECT 'delete', OLD.rowid, OLD.Text "
                                  "WHERE OLD.Kind = '%2'; ")
                       .arg(table, kind);
    }
    cn.execute(
        QStringLiteral("CREATE TRIGGER trFindIndexIns AFTER INSERT ON FindText BEGIN %1END").arg(inserts));
    cn.execute(
        QStringLiteral("CREATE TRIGGER trFindIndexDel AFTER DELETE ON FindText BEGIN %1END").arg(deletes));
    cn.execute(QStringLiteral("CREATE TRIGGER trFindIndexUpd AFTER UPDATE ON FindText BEGIN %1%2END")
                   .arg(deletes, inserts));
}

// PostgreSQL: one partial trigram index per kind in place of the index over every find text. The
// finds name the kind as a constant, so the planner takes the index of that kind alone.
void pgIndexes(Connection &cn) {
    const QString where = cn.scalar(QStringLiteral("SELECT n.nspname FROM pg_extension e JOIN pg_namespace n "
                                                   "ON n.oid = e.extnamespace WHERE e.extname = 'pg_trgm'"))
                              .toString();
    if (where.isEmpty())
        return; // without pg_trgm the finds scan, as before
    cn.execute(QStringLiteral("DROP INDEX IF EXISTS ixFindText"));
    for (const char *k : Kinds) {
        const QString kind = QString::fromLatin1(k);
        cn.execute(
            QStringLiteral("CREATE INDEX ixFindText%1 ON FindText USING gin (Text \"%2\".gin_trgm_ops) "
                           "WHERE Kind = '%1'")
                .arg(kind, where));
    }
}

} // namespace

void indexFindTextsByKind(Connection &cn) {
    if (cn.engine() == Engine::SQLite)
        sqliteIndexes(cn);
    else
        pgIndexes(cn);
}

} // namespace Schema
