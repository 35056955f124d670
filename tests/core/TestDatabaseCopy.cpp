// A whole database copied into an empty one, on every pairing of the engines: every row of every
// table as the source holds it, the identities going on where the source's stopped, the
// triggers and text indexes working afterwards; a target with data, the source itself and a load
// that fails half-way leave the target as it was.

#include "TestDatabase.h"
#include "ToolRun.h"
#include "data/Errors.h"
#include "server/DatabaseCopy.h"
#include "server/DemoData.h"
#include "server/Schema.h"
#include "server/Server.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

namespace {

struct Pairing {
    Engine from, to;
};

std::string pairingName(const ::testing::TestParamInfo<Pairing> &i) {
    return std::string(engineName(i.param.from)) + "To" + engineName(i.param.to);
}

// A value as both engines' rows are compared: dates, amounts and flags in one form.
QString canonical(const QString &table, const QString &column, const QVariant &raw) {
    const TableInfo *t = SchemaInfo::instance().table(table);
    const ColumnInfo *c = t ? t->column(column) : nullptr;
    const QVariant v = c ? normalizeValue(c->type, raw) : raw;
    if (v.isNull() || !v.isValid())
        return QStringLiteral("<null>");
    switch (v.typeId()) {
    case QMetaType::QDateTime:
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::QByteArray:
        return QStringLiteral("0x") + QString::fromLatin1(v.toByteArray().toHex());
    default:
        return v.toString();
    }
}

// Every row of a table as sorted texts "column=value|...", columns by name: independent of the
// engine's order of rows and columns.
QStringList tableRows(Connection &cn, const QString &table) {
    const ResultSet rs = cn.query(QStringLiteral("SELECT * FROM [%1]").arg(table));
    QStringList rows;
    for (const auto &row : rs.rows) {
        QStringList cells;
        for (int i = 0; i < rs.columns.size(); ++i)
            cells << rs.columns[i].name.toLower() + u'=' + canonical(table, rs.columns[i].name, row[i]);
        cells.sort();
        rows << cells.join(u'|');
    }
    rows.sort();
    return rows;
}

int enabledTriggers(Connection &cn) {
    return cn
        .scalar(cn.engine() == Engine::SQLite
                    ? QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'trigger'")
                    : QStringLiteral("SELECT count(*) FROM pg_trigger t JOIN pg_class c ON c.oid = t.tgrelid "
                                     "WHERE NOT t.tgisinternal AND t.tgenabled <> 'D' AND c.relnamespace = "
                                     "(SELECT oid FROM pg_namespace WHERE nspname = current_schema())"))
        .toInt();
}

class DatabaseCopyTest : public ::testing::TestWithParam<Pairing> {
protected:
    void SetUp() override {
        InstallServer();
        source = std::make_unique<TestDatabase>(GetParam().from);
        target = std::make_unique<TestDatabase>(GetParam().to);
        QString why;
        for (const auto *db : {source.get(), target.get()})
            if (!db->available(&why)) {
                if (qEnvironmentVariableIsSet("VELMORA_TEST_REQUIRE_PG"))
                    FAIL() << "PostgreSQL is required: " << why.toStdString();
                GTEST_SKIP() << why.toStdString();
            }
        Connection &cn = source->cn();
        Schema::prepare(cn);
        CreateDemoData(cn);
        cn.setPerson(QStringLiteral("anna@ws1"));
        // A department moved under one made after it: its higher department has the greater key.
        const int lower = insertRow(cn, "Department", {{"DprtName", "Склад запчастей"}}).toInt();
        const int higher = insertRow(cn, "Department", {{"DprtName", "Филиал"}}).toInt();
        cn.execute("UPDATE Department SET DprtIdHigher = :H WHERE IdDepartment = :L",
                   {{"H", higher}, {"L", lower}});
        // Texts and bytes with the characters a bulk format escapes.
        insertRow(cn, "ProgramVersion",
                  {{"Version", "9.8.7.6"},
                   {"Programm", QByteArray("\x00\\\t\n\r\xff\\N", 8)},
                   {"Change", "строка\tс табуляцией\nи \\ обратной чертой, \\N и «кавычками»\r"}});
        // The last kind made and deleted: its key is never given again.
        deletedKind = insertRow(cn, "Kind", {{"KindType", "D"}, {"KindName", "Временный"}}).toInt();
        cn.execute("DELETE FROM Kind WHERE IdKind = :K", {{"K", deletedKind}});
        cn.setPerson({});
    }

    std::unique_ptr<TestDatabase> source, target;
    int deletedKind = 0;
};

TEST_P(DatabaseCopyTest, EveryRowArrivesAsTheSourceHoldsIt) {
    Connection &from = source->cn();
    Connection &to = target->cn();
    const int journalBefore = from.scalar("SELECT count(*) FROM Journal").toInt();
    QStringList seen;
    const auto counts = DatabaseCopy::copy(from, to, [&](const DatabaseCopy::Progress &p) {
        if (p.rows == p.total)
            seen << p.table;
    });

    // Every table the engines have in common, row by row; the counts the copy reports with them.
    const auto sourceTables = DatabaseCopy::countRows(from);
    ASSERT_FALSE(counts.isEmpty());
    for (const auto &c : counts) {
        SCOPED_TRACE(c.table.toStdString());
        EXPECT_EQ(c.source, c.target);
        EXPECT_TRUE(seen.contains(c.table));
        const auto s = std::find_if(sourceTables.begin(), sourceTables.end(), [&](const auto &s) {
            return s.table.compare(c.table, Qt::CaseInsensitive) == 0;
        });
        if (s == sourceTables.end()) { // a table of one engine only (SQLite's person of the journal)
            EXPECT_EQ(c.source, 0);
            continue;
        }
        EXPECT_EQ(s->source, c.source);
        EXPECT_EQ(tableRows(to, c.table), tableRows(from, c.table));
    }
    for (const char *table : {"CompleteSet", "Department", "Journal", "ProgramVersion", "SchemaVersion"}) {
        const auto it =
            std::find_if(counts.begin(), counts.end(), [&](const auto &c) { return c.table == table; });
        ASSERT_NE(it, counts.end()) << table;
        EXPECT_GT(it->target, 0) << table;
    }
    // The load itself wrote no journal entries; the source's are all there.
    EXPECT_EQ(to.scalar("SELECT count(*) FROM Journal").toInt(), journalBefore);
    EXPECT_EQ(Schema::version(to), Schema::CurrentVersion);

    // The triggers work again: a new row is journalled and counted; identities go on past every
    // key the source ever gave.
    const int kinds = to.scalar("SELECT count(*) FROM Kind").toInt();
    const int kind = insertRow(to, "Kind", {{"KindType", "D"}, {"KindName", "Сканер"}}).toInt();
    EXPECT_GT(kind, deletedKind);
    EXPECT_EQ(to.scalar("SELECT count(*) FROM Kind").toInt(), kinds + 1);
    EXPECT_EQ(to.scalar("SELECT count(*) FROM Journal").toInt(), journalBefore + 1);
    const int dep = insertRow(to, "Department", {{"DprtName", "Новый отдел"}}).toInt();
    EXPECT_GT(dep, from.scalar("SELECT max(IdDepartment) FROM Department").toInt());
    EXPECT_EQ(to.scalar("SELECT count(*) FROM FindText WHERE Kind = 'D' AND ID = :D", {{"D", dep}}).toInt(),
              1);
    if (to.engine() == Engine::SQLite) { // the full-text indexes agree with their content
        const ResultSet indexes = to.query(QStringLiteral(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND sql LIKE 'CREATE VIRTUAL TABLE%fts5%'"));
        EXPECT_GE(indexes.rows.size(), 2u);
        for (const auto &row : indexes.rows) {
            const QString index = row[0].toString();
            EXPECT_NO_THROW(
                to.execute(QStringLiteral("INSERT INTO %1 (%1) VALUES ('integrity-check')").arg(index)))
                << index.toStdString();
        }
    }
}

// Another workstation writes to the source while it is copied: its write goes through at once,
// and the copy holds the source as it was when the copy began.
TEST_P(DatabaseCopyTest, WorkstationsWriteToTheSourceWhileItIsCopied) {
    Connection &from = source->cn();
    const int departments = from.scalar("SELECT count(*) FROM Department").toInt();
    auto workstation = source->connect();
    bool wrote = false;
    DatabaseCopy::copy(from, target->cn(), [&](const DatabaseCopy::Progress &) {
        if (std::exchange(wrote, true))
            return;
        Transaction tx(*workstation);
        insertRow(*workstation, "Department", {{"DprtName", "Новый отдел"}});
        tx.commit();
    });
    EXPECT_TRUE(wrote);
    EXPECT_EQ(from.scalar("SELECT count(*) FROM Department").toInt(), departments + 1);
    EXPECT_EQ(target->cn().scalar("SELECT count(*) FROM Department").toInt(), departments);
}

// The target is refused, and left as it was, when it holds data or is the source itself.
TEST_P(DatabaseCopyTest, ATargetThatIsNotEmptyIsRefusedUntouched) {
    Connection &from = source->cn();
    std::unique_ptr<Connection> second;
    const struct {
        const char *name;
        std::function<Connection &()> prepare; // the target
        const char *message;
    } cases[] = {
        {"a department",
         [&]() -> Connection & {
             Schema::prepare(target->cn());
             insertRow(target->cn(), "Department", {{"DprtName", "Бухгалтерия"}});
             return target->cn();
         },
         "не пуста: в таблице Department строк: 1"},
        {"the source itself",
         [&]() -> Connection & {
             second = source->connect();
             return *second;
         },
         "та же, что копируется"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Connection &to = c.prepare();
        const auto before = DatabaseCopy::countRows(to);
        const int triggers = enabledTriggers(to);
        try {
            DatabaseCopy::copy(from, to);
            ADD_FAILURE() << "copied";
        } catch (const AppError &e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.message))) << e.message().toStdString();
        }
        const auto after = DatabaseCopy::countRows(to);
        ASSERT_EQ(after.size(), before.size());
        for (qsizetype i = 0; i < after.size(); ++i)
            EXPECT_EQ(after[i].target, before[i].target) << after[i].table.toStdString();
        EXPECT_EQ(enabledTriggers(to), triggers);
    }
}

// A row the target refuses half-way: nothing of the copy stays, the triggers are all there, and
// the same target takes the copy once the cause is gone.
TEST_P(DatabaseCopyTest, ALoadThatFailsLeavesTheTargetEmpty) {
    Connection &from = source->cn();
    Connection &to = target->cn();
    Schema::prepare(to);
    insertRow(from, "Department", {{"DprtName", "Дубль"}});
    insertRow(from, "Department", {{"DprtName", "Дубль"}});
    to.execute("CREATE UNIQUE INDEX uxDepartmentName ON Department (DprtName)");
    const int triggers = enabledTriggers(to);
    EXPECT_THROW(DatabaseCopy::copy(from, to), DatabaseError);
    for (const auto &c : DatabaseCopy::countRows(to))
        EXPECT_LE(c.target, 1) << c.table.toStdString(); // the version and the journal's settings
    EXPECT_EQ(to.scalar("SELECT count(*) FROM Department").toInt(), 0);
    EXPECT_EQ(enabledTriggers(to), triggers);

    to.execute("DROP INDEX uxDepartmentName");
    const auto counts = DatabaseCopy::copy(from, to);
    for (const auto &c : counts)
        EXPECT_EQ(c.source, c.target) << c.table.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Pairings, DatabaseCopyTest,
                         ::testing::Values(Pairing{Engine::SQLite, Engine::SQLite},
                                           Pairing{Engine::SQLite, Engine::PostgreSQL},
                                           Pairing{Engine::PostgreSQL, Engine::SQLite},
                                           Pairing{Engine::PostgreSQL, Engine::PostgreSQL}),
                         pairingName);

// velmora-db copy, run as a process: the counts of every table, the refusal of a second copy
// into the same file, a wrong command line.
TEST(DatabaseCopyTool, CopiesPrintsCountsAndRefuses) {
    const QString tool = ToolPath();
    if (!QFileInfo(tool).isExecutable())
        GTEST_SKIP() << "velmora-db is not built beside the tests";
    QTemporaryDir dir;
    const QString from = "sqlite:" + dir.filePath("from.db"), to = "sqlite:" + dir.filePath("sub/to.db");
    auto run = [&](const QStringList &args) { return RunProgram(tool, args); };
    ASSERT_EQ(run({"--database", from, "create", "--demo"}).exitCode, 0);

    const struct {
        QStringList args;
        int exitCode;
        const char *out; // a pattern the standard output holds; nullptr: not checked
        const char *err; // a pattern the standard error holds; nullptr: not checked
    } cases[] = {
        {{"--database", from, "copy", "--to", to},
         0,
         "^Table\tSource\tCopied\n(.*\n)*CompleteSet\t([1-9][0-9]*)\t\\2\n",
         "\\[\\d+/\\d+\\] DeviceUnit: строк \\d+\n(.*\n)*Готово"},
        {{"--database", from, "copy", "--to", to}, 1, "^$", "не пуста"},
        {{"--database", from, "copy"}, 2, nullptr, "после --to нужен адрес"},
        {{"--database", from, "copy", "--to", to, "--now"}, 2, nullptr, "неизвестный параметр команды copy"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        ExpectRun(run(c.args), c.exitCode, c.out, c.err);
    }
    EXPECT_EQ(QFileInfo(dir.filePath("sub/to.db")).permissions() &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions());
}

} // namespace
