// The change journal the database keeps: who wrote what through the program, a procedure, plain
// SQL or another SQLite client; nothing for a write that did not commit; no secret values; its
// purge.

#include "TestDatabase.h"
#include "ToolRun.h"
#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/Procedures.h"
#include "server/Journal.h"
#include "server/Schema.h"
#include "server/Server.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <thread>

namespace {

class JournalTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        cn().setPerson(QStringLiteral("anna@ws1"));
        kind = insert("Kind", {{"KindType", "D"}, {"KindName", "Принтер"}}).toInt();
        dep = insert("Department", {{"DprtName", "Бухгалтерия"}}).toInt();
        wp = insert("Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Кассир"}}).toInt();
        dev = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "HP 1020"}, {"DevcIdKind", kind}})
                  .toInt();
    }

    struct Entry {
        QString person, act;
        QJsonObject fields;
    };
    // The newest entries of one row, newest first.
    std::vector<Entry> entries(const QString &table, qint64 key) {
        const ResultSet rs =
            cn().query(QStringLiteral("SELECT Person, Act, Fields FROM Journal WHERE TableName = "
                                      ":T AND RowKey = :K ORDER BY ID DESC"),
                       {{QStringLiteral("T"), table}, {QStringLiteral("K"), key}});
        std::vector<Entry> out;
        for (const auto &r : rs.rows)
            out.push_back({r[0].toString(), r[1].toString().trimmed(),
                           QJsonDocument::fromJson(r[2].toString().toUtf8()).object()});
        return out;
    }
    int count() { return scalar(QStringLiteral("SELECT count(*) FROM Journal")).toInt(); }
    // The role a write names when no person is set.
    QString role() { return pg() ? scalar(QStringLiteral("SELECT session_user")).toString() : QString(); }

    int kind = 0, dep = 0, wp = 0, dev = 0;
};

TEST_P(JournalTest, EachWayOfWritingLeavesItsEntryWithItsPerson) {
    // The program: a dataset's post.
    {
        DataSet ds(&cn());
        ds.setCommand(QStringLiteral("SELECT * FROM DeviceUnit WHERE IdDevice = :ID"));
        ds.setParameterValue("ID", dev);
        ds.open();
        ds.edit();
        ds.fieldByName("DevcNumber")->setValue(QStringLiteral("INV-7"));
        ds.post();
    }
    auto e = entries("DeviceUnit", dev);
    ASSERT_GE(e.size(), 2u);
    EXPECT_EQ(e[0].person, "anna@ws1");
    EXPECT_EQ(e[0].act, "U");
    EXPECT_EQ(e[0].fields.keys(), QStringList{"DevcNumber"}) << "only the changed field, no row version";
    EXPECT_TRUE(e[0].fields.value("DevcNumber").toArray().at(0).isNull());
    EXPECT_EQ(e[0].fields.value("DevcNumber").toArray().at(1).toString(), "INV-7");
    EXPECT_EQ(e[1].act, "I");

    // A procedure on a second workstation, named otherwise.
    auto other = db->connect();
    other->setPerson(QStringLiteral("boris@ws2"));
    QVector<Parameter> p = procedureParameters(QStringLiteral("DeleteDeviceUnit"));
    p[1].value = dev;
    callProcedure(*other, QStringLiteral("DeleteDeviceUnit"), p);
    e = entries("DeviceUnit", dev);
    EXPECT_EQ(e[0].person, "boris@ws2");
    EXPECT_EQ(e[0].act, "D");
    EXPECT_EQ(e[0].fields.value("DevcName").toString(), "HP 1020") << "a delete keeps the row as it was";
    EXPECT_EQ(e[0].fields.value("DevcNumber").toString(), "INV-7");

    // Plain SQL from a connection that names no one: the role on PostgreSQL, no one on SQLite.
    auto plain = db->connect();
    plain->execute(QStringLiteral("UPDATE Workplace SET Phone = '12-34' WHERE IdWorkplace = :W"),
                   {{QStringLiteral("W"), wp}});
    e = entries("Workplace", wp);
    EXPECT_EQ(e[0].person, role());
    EXPECT_EQ(e[0].fields.value("Phone").toArray().at(1).toString(), "12-34");
}

TEST_P(JournalTest, WritesThatDoNotCommitLeaveNothing) {
    const int before = count();
    {
        Transaction tx(cn());
        cn().execute(QStringLiteral("UPDATE DeviceUnit SET DevcName = 'Откат' WHERE IdDevice = :D"),
                     {{QStringLiteral("D"), dev}});
    } // rolled back
    EXPECT_EQ(count(), before);

    // A save the database refuses (a kind that is not there) writes nothing.
    DataSet ds(&cn());
    ds.setCommand(QStringLiteral("SELECT * FROM DeviceUnit WHERE IdDevice = :ID"));
    ds.setParameterValue("ID", dev);
    ds.open();
    ds.edit();
    ds.fieldByName("DevcName")->setValue(QStringLiteral("Не сохранится"));
    ds.fieldByName("DevcIdKind")->setValue(30000);
    EXPECT_THROW(ds.post(), AppError);
    EXPECT_EQ(count(), before);

    // An update that changes nothing people edit is no entry either.
    cn().execute(QStringLiteral("UPDATE DeviceUnit SET DevcName = DevcName, RowVersion = RowVersion + 1"));
    EXPECT_EQ(count(), before);
    if (!pg()) {
        EXPECT_EQ(scalar(QStringLiteral("SELECT count(*) FROM JournalPerson")).toInt(), 0)
            << "the person never stays in the file";
    }
}

TEST_P(JournalTest, PasswordsAreJournalledWithoutTheirValues) {
    const int user = insert("User", {{"Name", "Петров"}, {"Pass", "first-secret"}}).toInt();
    cn().execute(
        QStringLiteral("UPDATE [User] SET Pass = 'second-secret', MailPass = 'mail-secret', Name = 'Петров "
                       "П.' WHERE ID = :U"),
        {{QStringLiteral("U"), user}});
    for (const char *secret : {"first-secret", "second-secret", "mail-secret"})
        EXPECT_EQ(cn().query(QStringLiteral("SELECT ID FROM Journal WHERE Fields LIKE :S"),
                             {{QStringLiteral("S"), QStringLiteral("%%1%").arg(QLatin1String(secret))}})
                      .rows.size(),
                  0u)
            << secret;
    const auto e = entries("User", user);
    EXPECT_TRUE(e[0].fields.contains("Pass"));
    EXPECT_TRUE(e[0].fields.value("Pass").isNull());
    const ResultSet h = Journal::History(cn(), QStringLiteral("User"), user);
    ASSERT_GE(h.rows.size(), 2u);
    const QString change = h.rows[0][7].toString();
    EXPECT_TRUE(change.contains(QStringLiteral("Пароль: изменён"))) << change.toStdString();
    EXPECT_TRUE(change.contains(QStringLiteral("Фамилия и имя: «Петров» → «Петров П.»")))
        << change.toStdString();
}

TEST_P(JournalTest, HistoryTellsInTheProgramsWords) {
    const int model = insert("Model", {{"ModlKind", kind}, {"ModlName", "Картридж 12A"}}).toInt();
    const int element = insert("CompleteSet", {{"CmplIdDevice", dev}, {"CmplIdModel", model}}).toInt();
    const int other = insert("Kind", {{"KindType", "D"}, {"KindName", "МФУ"}}).toInt();
    Transaction tx(cn());
    cn().execute(QStringLiteral("UPDATE DeviceUnit SET DevcIdKind = :K, Used = 2 WHERE IdDevice = :D"),
                 {{QStringLiteral("K"), other}, {QStringLiteral("D"), dev}});
    tx.commit();
    const ResultSet h = Journal::History(cn(), QStringLiteral("DeviceUnit"), dev);
    ASSERT_GE(h.rows.size(), 3u);
    EXPECT_EQ(h.rows[0][7].toString(),
              QStringLiteral("Использование: пусто → Хранится; Вид: «Принтер» → «МФУ»"));
    EXPECT_EQ(h.rows[0][6].toString(), QStringLiteral("изменено"));
    EXPECT_EQ(h.rows[0][2].toString(), QStringLiteral("anna@ws1"));
    EXPECT_EQ(h.rows[1][3].toString(), QStringLiteral("CompleteSet")) << "what the device holds";
    EXPECT_EQ(h.rows[1][4].toLongLong(), element);
    // The department sees its workplace and device too; the journal window finds by text.
    EXPECT_GE(Journal::History(cn(), QStringLiteral("Department"), dep).rows.size(), 4u);
    Journal::Filter f;
    f.text = QStringLiteral("мфу");
    EXPECT_GE(Journal::Read(cn(), f).rows.size(), 2u);
    f.person = QStringLiteral("nobody");
    EXPECT_EQ(Journal::Read(cn(), f).rows.size(), 0u);
}

TEST_P(JournalTest, WhatMovedAwayStaysInTheHistoryOfWhereItWas) {
    // An entry is filed under the new holder; the old holder must still show the row leaving it,
    // and not the row's later changes at its new place.
    const int model = insert("Model", {{"ModlKind", kind}, {"ModlName", "Картридж 12A"}}).toInt();
    const int element = insert("CompleteSet", {{"CmplIdDevice", dev}, {"CmplIdModel", model}}).toInt();
    const int dep2 = insert("Department", {{"DprtName", "Склад"}}).toInt();
    const int wp2 = insert("Workplace", {{"WrkpIdDepartment", dep2}, {"WrkpName", "Кладовщик"}}).toInt();
    const int dev2 =
        insert("DeviceUnit", {{"DevcIdWorkplace", wp2}, {"DevcName", "HP 1022"}, {"DevcIdKind", kind}})
            .toInt();
    const struct {
        const char *holderKind;
        int holder;
        const char *table, *moveSql, *laterSql;
        int row, to;
    } cases[] = {
        {"DeviceUnit", dev, "CompleteSet", "UPDATE CompleteSet SET CmplIdDevice = :To WHERE IdComponent = :R",
         "UPDATE CompleteSet SET Warranty = 24 WHERE IdComponent = :R", element, dev2},
        {"Workplace", wp, "DeviceUnit", "UPDATE DeviceUnit SET DevcIdWorkplace = :To WHERE IdDevice = :R",
         "UPDATE DeviceUnit SET DevcName = 'HP 1020n' WHERE IdDevice = :R", dev, wp2},
        {"Department", dep, "Workplace", "UPDATE Workplace SET WrkpIdDepartment = :To WHERE IdWorkplace = :R",
         "UPDATE Workplace SET Phone = '12' WHERE IdWorkplace = :R", wp, dep2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.holderKind);
        for (const char *sql : {c.moveSql, c.laterSql}) {
            Transaction tx(cn());
            QVariantMap p{{QStringLiteral("R"), c.row}};
            if (QByteArray(sql).contains(":To"))
                p[QStringLiteral("To")] = c.to;
            cn().execute(QString::fromLatin1(sql), p);
            tx.commit();
        }
        const auto changes = [&](int holder) {
            const ResultSet h = Journal::History(cn(), QString::fromLatin1(c.holderKind), holder);
            return std::count_if(h.rows.begin(), h.rows.end(), [&](const auto &row) {
                return row[3].toString() == QLatin1String(c.table) && row[4].toInt() == c.row &&
                       row[6].toString() == QStringLiteral("изменено");
            });
        };
        EXPECT_EQ(changes(c.holder), 1) << "the move away, not what followed at the new place";
        EXPECT_EQ(changes(c.to), 2) << "the move in and what followed";
    }
}

// A change keeps exactly the fields it changed, each value as it was and as it became, whatever
// its characters; an update that changes no journalled field leaves no entry.
TEST_P(JournalTest, AChangeKeepsEachChangedValueExactly) {
    const struct {
        const char *sql;
        QVariantMap params;
        const char *fields; // the entry's fields as JSON; nullptr: no entry
    } cases[] = {
        {"UPDATE DeviceUnit SET DevcName = :V WHERE IdDevice = :D",
         {{"V", QStringLiteral("Принтер \"A\" \\ 1/2")}},
         R"({"DevcName": ["HP 1020", "Принтер \"A\" \\ 1/2"]})"},
        {"UPDATE DeviceUnit SET DevcNumber = :V, Used = 2, DevcDescription = NULL WHERE IdDevice = :D",
         {{"V", QStringLiteral("N\t1\n2")}},
         R"({"DevcNumber": [null, "N\t1\n2"], "Used": [null, 2]})"},
        {"UPDATE DeviceUnit SET DevcNumber = NULL, DevcName = 'HP 1020' WHERE IdDevice = :D",
         {},
         R"({"DevcName": ["Принтер \"A\" \\ 1/2", "HP 1020"], "DevcNumber": ["N\t1\n2", null]})"},
        {"UPDATE DeviceUnit SET DevcName = 'HP 1020', RowVersion = RowVersion + 1 WHERE IdDevice = :D",
         {},
         nullptr},
        {"UPDATE DeviceUnit SET OnLine = :B WHERE IdDevice = :D", {{"B", true}}, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sql);
        const int before = count();
        QVariantMap p = c.params;
        p[QStringLiteral("D")] = dev;
        cn().execute(QString::fromUtf8(c.sql), p);
        if (!c.fields) {
            EXPECT_EQ(count(), before);
            continue;
        }
        ASSERT_EQ(count(), before + 1);
        const auto e = entries("DeviceUnit", dev);
        EXPECT_EQ(e[0].act, "U");
        EXPECT_EQ(e[0].fields, QJsonDocument::fromJson(QByteArray(c.fields)).object());
    }
}

// Entries are told with the names of the rows their keys point to, read for many entries at once:
// more entries and more distinct keys than one read takes, keys of rows that are gone, and
// fields the program does not name.
TEST_P(JournalTest, HistoryNamesEveryKeyOfManyEntries) {
    constexpr int Kinds = 1100;
    const QString series =
        pg() ? QStringLiteral("SELECT generate_series(1, %1) AS n").arg(Kinds)
             : QStringLiteral("WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < %1) "
                              "SELECT n FROM s")
                   .arg(Kinds);
    cn().execute(QStringLiteral("INSERT INTO Kind (KindType, KindName) SELECT 'D', 'Вид ' || n FROM (%1) x")
                     .arg(series));
    const int first =
        scalar(QStringLiteral("SELECT min(IdKind) FROM Kind WHERE KindName LIKE 'Вид %'")).toInt();
    // Entry n changes the kind from "Вид n" to "Вид n+1", newest last.
    cn().execute(
        QStringLiteral("INSERT INTO Journal (Stamp, TableName, RowKey, OwnerKey, Act, Fields) SELECT "
                       "%1, 'DeviceUnit', :D, :W, 'U', '{\"DevcIdKind\":[' || (%2 + n - 1) || ',' || "
                       "(%2 + n) || ']}' FROM (%3) x WHERE n < %4")
            .arg(pg() ? QStringLiteral("localtimestamp(0)") : QStringLiteral("datetime('now')"))
            .arg(first)
            .arg(series)
            .arg(Kinds),
        {{QStringLiteral("D"), dev}, {QStringLiteral("W"), wp}});
    cn().execute(QStringLiteral("DELETE FROM Kind WHERE IdKind = :K"), {{QStringLiteral("K"), first}});
    // A field of an older version and one of the program, in either engine's spacing.
    for (const char *fields : {R"({"Legacy": ["a", "b"], "DevcNumber": [null, "7"]})",
                               R"({"DevcNumber":["7","8"],"Legacy":["b","c"]})"})
        cn().execute(QStringLiteral("INSERT INTO Journal (Stamp, TableName, RowKey, OwnerKey, Act, Fields) "
                                    "VALUES (%1, 'DeviceUnit', :D, :W, 'U', :F)")
                         .arg(pg() ? QStringLiteral("localtimestamp(0)") : QStringLiteral("datetime('now')")),
                     {{QStringLiteral("D"), dev}, {QStringLiteral("W"), wp}, {QStringLiteral("F"), fields}});

    const ResultSet h = Journal::History(cn(), QStringLiteral("DeviceUnit"), dev);
    ASSERT_EQ(h.rows.size(), size_t(Kinds - 1 + 2 + 1)) << "the made entries and the device's addition";
    EXPECT_EQ(h.rows[0][7].toString(), QStringLiteral("Номер: «7» → «8»; Legacy: «b» → «c»"));
    EXPECT_EQ(h.rows[1][7].toString(), QStringLiteral("Номер: пусто → «7»; Legacy: «a» → «b»"));
    EXPECT_EQ(h.rows[2][7].toString(), QStringLiteral("Вид: «Вид %1» → «Вид %2»").arg(Kinds - 1).arg(Kinds));
    EXPECT_EQ(h.rows[600][7].toString(),
              QStringLiteral("Вид: «Вид %1» → «Вид %2»").arg(Kinds - 599).arg(Kinds - 598));
    EXPECT_EQ(h.rows[Kinds][7].toString(), QStringLiteral("Вид: № %1 → «Вид 2»").arg(first))
        << "a kind that is gone";
    for (size_t i = 0; i + 1 < h.rows.size(); ++i)
        ASSERT_EQ(h.rows[i][5].toString(), QStringLiteral("Устройство «HP 1020»")) << i;
}

TEST_P(JournalTest, TheJournalIsReadOnly) {
    EXPECT_THROW(cn().execute(QStringLiteral("UPDATE Journal SET Person = 'someone'")), DatabaseError);
}

TEST_P(JournalTest, PurgeKeepsWhatIsYoungerThanTheSetting) {
    const QString ago = pg() ? QStringLiteral("localtimestamp(0) - make_interval(months => %1)")
                             : QStringLiteral("datetime('now', 'localtime', '-%1 months')");
    for (int months : {40, 30, 13, 11})
        cn().execute(
            QStringLiteral("INSERT INTO Journal (Stamp, TableName, RowKey, Act) VALUES (%1, 'Kind', %2, 'U')")
                .arg(ago.arg(months))
                .arg(1000 + months));
    auto left = [&] {
        QList<int> out;
        for (const auto &r :
             cn().query(QStringLiteral("SELECT RowKey FROM Journal WHERE RowKey >= 1000 ORDER BY RowKey"))
                 .rows)
            out << r[0].toInt() - 1000;
        return out;
    };
    EXPECT_EQ(Journal::KeepMonths(cn()), 36);
    EXPECT_EQ(Journal::Purge(cn()), 1);
    EXPECT_EQ(left(), (QList<int>{11, 13, 30}));
    Journal::SetKeepMonths(cn(), 12);
    EXPECT_EQ(Journal::PurgeIfDue(cn()), -1) << "purged today already";
    EXPECT_EQ(Journal::Purge(cn()), 2);
    EXPECT_EQ(left(), (QList<int>{11}));
    EXPECT_THROW(Journal::SetKeepMonths(cn(), 0), AppError);
}

TEST_P(JournalTest, TwoWorkstationsEachGetTheirOwnEntries) {
    const int second =
        insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "Второе"}, {"DevcIdKind", kind}}).toInt();
    const int devices[] = {dev, second};
    std::atomic<int> ready{0};
    std::vector<QString> failures(2);
    std::vector<std::thread> threads;
    for (int w = 0; w < 2; ++w)
        threads.emplace_back([&, w] {
            try {
                auto c = db->connect();
                c->setPerson(QStringLiteral("ws%1").arg(w + 1));
                ++ready;
                while (ready.load() < 2)
                    std::this_thread::yield();
                for (int i = 0; i < 15; ++i) {
                    Transaction tx(*c);
                    c->execute(
                        QStringLiteral("UPDATE DeviceUnit SET DevcNumber = :N WHERE IdDevice = :D"),
                        {{QStringLiteral("N"), QString::number(i)}, {QStringLiteral("D"), devices[w]}});
                    tx.commit();
                }
            } catch (const AppError &e) {
                failures[size_t(w)] = e.message();
            }
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(failures, (std::vector<QString>(2)));
    for (int w = 0; w < 2; ++w) {
        const auto e = entries("DeviceUnit", devices[w]);
        int updates = 0;
        for (const Entry &x : e)
            if (x.act == u"U") {
                ++updates;
                EXPECT_EQ(x.person, QStringLiteral("ws%1").arg(w + 1));
            }
        EXPECT_EQ(updates, 15);
    }
}

VELMORA_BOTH_ENGINES(JournalTest);

// Another SQLite client has none of the program's functions: its writes succeed and are
// journalled without a person.
TEST(JournalSqlite, AnotherClientsWriteIsJournalled) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 is not installed";
    TestDatabase db(Engine::SQLite);
    InstallServer();
    Schema::prepare(db.cn());
    db.cn().setPerson(QStringLiteral("anna@ws1"));
    const int dep = insertRow(db.cn(), QStringLiteral("Department"), {{"DprtName", "Склад"}}).toInt();
    const QString file = DatabaseUrl::parse(db.url()).path;
    QProcess p;
    p.start(python, {QStringLiteral("-c"),
                     QStringLiteral(
                         "import sqlite3, sys\nc = sqlite3.connect(sys.argv[1])\n"
                         "c.execute(\"UPDATE Department SET DprtName = 'Склад 2' WHERE IdDepartment = %1\")\n"
                         "c.commit()\n")
                         .arg(dep),
                     file});
    ASSERT_TRUE(p.waitForFinished(30000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const ResultSet rs = db.cn().query(QStringLiteral(
        "SELECT Person, Fields FROM Journal WHERE TableName = 'Department' AND Act = 'U' ORDER BY ID DESC"));
    ASSERT_EQ(rs.rows.size(), 1u);
    EXPECT_TRUE(rs.rows[0][0].isNull());
    EXPECT_EQ(rs.rows[0][1].toString(), QStringLiteral(R"({"DprtName":["Склад","Склад 2"]})"));
}

} // namespace

namespace {

// velmora-db journal, run as a process: a write through `sql` shows with the tool's person, in
// words; wrong arguments are refused with a sentence.
TEST(JournalTool, PrintsFiltersAndRefuses) {
    const QString tool = ToolPath();
    if (!QFileInfo(tool).isExecutable())
        GTEST_SKIP() << "velmora-db is not built beside the tests";
    QTemporaryDir dir;
    const QString db = "sqlite:" + dir.filePath("j.db");
    auto run = [&](const QStringList &args) {
        return RunProgram(tool, QStringList{"--database", db} + args);
    };
    ASSERT_EQ(run({"create", "--demo"}).exitCode, 0);
    ASSERT_EQ(run({"sql", "UPDATE DeviceUnit SET DevcNumber = 'Z-9' WHERE IdDevice = 1"}).exitCode, 0);

    const struct {
        QStringList args;
        int exitCode;
        const char *out; // a pattern the standard output holds; nullptr: not checked
        const char *err; // a pattern the standard error holds; nullptr: not checked
    } cases[] = {
        {{"journal", "--table", "deviceunit", "--key", "1"},
         0,
         "^Stamp\tPerson\tTableName\tRowKey\tWhat\tAct\tChange\n[0-9-]+ "
         "[0-9:]+\t[^\t]+\tDeviceUnit\t1\tУстройство "
         "«[^»]+»\tизменено\tНомер: «[^»]*» → «Z-9»\n",
         nullptr},
        {{"journal", "--user", "nobody-at-all"}, 0, "^Stamp\t[^\n]*\n$", nullptr},
        {{"journal", "--table", "Favorite"}, 1, nullptr, "не ведётся в журнале"},
        {{"journal", "--since", "вчера"}, 1, nullptr, "не распознана"},
        {{"journal", "--key", "x"}, 1, nullptr, "не целое число"},
        {{"journal", "--keep", "0"}, 1, nullptr, "не меньше одного"},
        {{"journal", "--bogus"}, 2, nullptr, "неизвестный параметр команды journal"},
        {{"journal", "--keep", "24", "--purge"}, 0, nullptr, "Удалено записей журнала старше 24 мес.: 0"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        ExpectRun(run(c.args), c.exitCode, c.out, c.err);
    }
}

} // namespace
