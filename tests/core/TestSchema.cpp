// The schema as the database keeps it: widths, orders, counters, derived texts, refused deletes,
// versions and the upgrade of an older database.
#include "TestDatabase.h"
#include "data/Errors.h"
#include "data/SqliteFunctions.h"
#include "data/TessalString.h"
#include "server/DemoData.h"
#include "server/Journal.h"
#include "server/Schema.h"
#include "server/Server.h"

#include <QProcess>
#include <QStandardPaths>

namespace {

using SchemaTest = ServerTest;

TEST_P(SchemaTest, WidthsAreEnforcedNotCut) {
    struct Case {
        const char *table, *column;
        int width;
    };
    const Case cases[] = {{"Department", "DprtName", 100},
                          {"Workplace", "Phone", 15},
                          {"DocKind", "ID", 1},
                          {"User", "Login", 25},
                          {"Model", "ModlNumber", 30}};
    const QVariant dep = insert("Department", {{"DprtName", "Корень"}});
    for (const Case &c : cases) {
        QVariantMap row{{c.column, QString(c.width, u'я')}};
        if (QLatin1String(c.table) == QLatin1String("Workplace"))
            row.insert("WrkpIdDepartment", dep);
        EXPECT_NO_THROW(insert(c.table, row)) << c.column << " at its width";
        row[c.column] = QString(c.width + 1, u'я');
        try {
            insert(c.table, row);
            ADD_FAILURE() << c.column << " one character over must be refused";
        } catch (const DatabaseError &e) {
            EXPECT_TRUE(e.message().startsWith(QStringLiteral("Текст длиннее допустимого")))
                << e.message().toStdString();
        }
    }
}

TEST_P(SchemaTest, NewRowsGoLastAmongTheirSiblings) {
    const QVariant a = insert("Department", {{"DprtName", "А"}});
    const QVariant b = insert("Department", {{"DprtName", "Б"}});
    const QVariant a1 = insert("Department", {{"DprtName", "А1"}, {"DprtIdHigher", a}});
    EXPECT_EQ(scalar("select DprtOrder from Department where IdDepartment = :I", {{"I", b}}).toInt(), 2);
    EXPECT_EQ(scalar("select DprtOrder from Department where IdDepartment = :I", {{"I", a1}}).toInt(), 1);
    cn().execute("update Department set DprtIdHigher = :A where IdDepartment = :B", {{"A", a}, {"B", b}});
    EXPECT_EQ(scalar("select DprtOrder from Department where IdDepartment = :I", {{"I", b}}).toInt(), 2)
        << "a moved department goes last under its new parent";

    for (int i = 1; i <= 3; ++i)
        insert("Workplace", {{"WrkpIdDepartment", a}, {"WrkpName", QString::number(i)}});
    insert("Workplace", {{"WrkpIdDepartment", b}, {"WrkpName", "x"}});
    EXPECT_EQ(scalar("select max(WrkpOrder) from Workplace where WrkpIdDepartment = :A", {{"A", a}}).toInt(),
              3);
    const QVariant k1 = insert("Kind", {{"KindType", "H"}, {"KindName", "Диск"}});
    const QVariant k2 = insert("Kind", {{"KindType", "H"}, {"KindName", "Память"}});
    insert("Model", {{"ModlKind", k1}, {"ModlName", "m1"}});
    const QVariant m2 = insert("Model", {{"ModlKind", k1}, {"ModlName", "m2"}});
    EXPECT_EQ(scalar("select KindOrder from Kind where IdKind = :K", {{"K", k2}}).toInt(), 2);
    EXPECT_EQ(scalar("select ModlWeight from Model where IdModel = :M", {{"M", m2}}).toInt(), 2);
}

TEST_P(SchemaTest, CountersAndDerivedTextsFollowTheRows) {
    const QVariant tm = insert("Trademark", {{"Name", "HP"}});
    const QVariant firm = insert("Client", {{"ClntNameFull", "ООО Ромашка"}, {"Trademark", tm}});
    const QVariant kind = insert("Kind", {{"KindType", "D"}, {"KindName", "Принтер"}});
    const QVariant hkind = insert("Kind", {{"KindType", "H"}, {"KindName", "Картридж"}});
    const QVariant model = insert("Model", {{"ModlKind", hkind},
                                            {"ModlIdProducer", firm},
                                            {"ModlName", "HP 12A"},
                                            {"ModlParametersValue", "2000 стр."},
                                            {"ModlNote", "чёрный"}});
    const QVariant doc = insert("Document", {{"DocClient", firm}, {"DocNumber", "17"}});
    const QVariant dep = insert("Department", {{"DprtName", "Склад"}});
    const QVariant wp = insert("Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Стол 1"}});
    insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "Принтер"}, {"DevcIdKind", kind}});
    const QVariant user = insert("User", {{"Login", "ivanov"}, {"Name", "Иванов Иван"}});

    EXPECT_EQ(scalar("select Ranking from Trademark").toInt(), 1);
    EXPECT_EQ(scalar("select CountDoc from Client").toInt(), 1);
    EXPECT_EQ(scalar("select CountModel from Client").toInt(), 1);
    EXPECT_EQ(scalar("select UsesModel from Kind where IdKind = :K", {{"K", hkind}}).toInt(), 1);
    EXPECT_EQ(scalar("select UsesDevice from Kind where IdKind = :K", {{"K", kind}}).toInt(), 1);
    EXPECT_EQ(scalar("select Uses from DocKind where ID = 'N'").toInt(), 1) << "a new document is of kind N";
    EXPECT_EQ(scalar("select DisplayName from Client").toString(), QStringLiteral("HP: ООО Ромашка"));
    EXPECT_EQ(scalar("select DisplayParameters from Model").toString(), QStringLiteral("2000 стр.; чёрный"));
    EXPECT_EQ(scalar("select DisplayLookup from [User]").toString(), QStringLiteral("ivanov: Иванов Иван"));
    EXPECT_EQ(scalar("select TradeName from ClientList").toString(), QStringLiteral("HP"));
    EXPECT_FALSE(scalar("select DocDate from Document").isNull()) << "a new document is dated today";

    cn().execute("update Trademark set Name = 'Hewlett' where ID = :T", {{"T", tm}});
    EXPECT_EQ(scalar("select DisplayName from Client").toString(), QStringLiteral("Hewlett: ООО Ромашка"));
    cn().execute("update Model set ModlNote = null, ModlIdProducer = null where IdModel = :M",
                 {{"M", model}});
    EXPECT_EQ(scalar("select DisplayParameters from Model").toString(), QStringLiteral("2000 стр."));
    EXPECT_EQ(scalar("select CountModel from Client").toInt(), 0);
    cn().execute("delete from Document where IdDocument = :D", {{"D", doc}});
    EXPECT_EQ(scalar("select CountDoc from Client").toInt(), 0);
    EXPECT_EQ(scalar("select Uses from DocKind where ID = 'N'").toInt(), 0);
    cn().execute("update [User] set Name = null where ID = :U", {{"U", user}});
    EXPECT_EQ(scalar("select DisplayLookup from [User]").toString(), QStringLiteral("ivanov"));
}

TEST_P(SchemaTest, DeletesThatWouldOrphanRowsAreRefused) {
    const QVariant tm = insert("Trademark", {{"Name", "HP"}});
    const QVariant firm = insert("Client", {{"ClntNameFull", "Поставщик"}, {"Trademark", tm}});
    const QVariant kind = insert("Kind", {{"KindType", "H"}, {"KindName", "Диск"}});
    const QVariant model = insert("Model", {{"ModlKind", kind}, {"ModlIdProducer", firm}});
    const QVariant doc = insert("Document", {{"DocClient", firm}});
    const QVariant dep = insert("Department", {{"DprtName", "Склад"}});
    const QVariant wp = insert("Workplace", {{"WrkpIdDepartment", dep}});
    const QVariant dev = insert("DeviceUnit", {{"DevcIdWorkplace", wp}});
    const QVariant el =
        insert("CompleteSet", {{"CmplIdDevice", dev}, {"CmplIdModel", model}, {"DocumentId", doc}});
    insert("ElementMove",
           {{"IdComponent", el}, {"Moving", QDateTime::currentDateTime()}, {"Place", "Склад"}});

    const std::pair<const char *, QVariant> refused[] = {
        {"delete from Client where IdClient = :K", firm},
        {"delete from Document where IdDocument = :K", doc},
        {"delete from Kind where IdKind = :K", kind},
        {"delete from Trademark where ID = :K", tm},
        {"delete from Department where IdDepartment = :K", dep},
    };
    for (const auto &[sql, key] : refused) {
        try {
            cn().execute(sql, {{"K", key}});
            ADD_FAILURE() << sql << " must be refused";
        } catch (const DatabaseError &e) {
            EXPECT_TRUE(e.message().startsWith(QStringLiteral("Запись связана с другими данными")))
                << e.message().toStdString();
        }
    }
    cn().execute("delete from CompleteSet where IdComponent = :K", {{"K", el}});
    EXPECT_EQ(scalar("select count(*) from ElementMove").toInt(), 0) << "an element's moves go with it";
}

TEST_P(SchemaTest, SearchTextsFollowTheirRows) {
    const QVariant dep = insert("Department", {{"DprtName", "Бухгалтерия"}, {"Synonym", "учёт"}});
    const QVariant kind = insert("Kind", {{"KindType", "H"}, {"KindName", "Диск"}});
    const QVariant model = insert("Model", {{"ModlKind", kind}, {"ModlName", "WD Blue"}});
    const QVariant wp = insert("Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Кассир"}});
    const QVariant dev = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "ПК кассира"}});
    const QVariant el =
        insert("CompleteSet", {{"CmplIdDevice", dev}, {"CmplIdModel", model}, {"NumberManufact", "SN-77"}});
    EXPECT_EQ(scalar("select Name from SearchText where Kind = 'D'").toString(),
              QStringLiteral("Бухгалтерия / учёт"));
    EXPECT_EQ(scalar("select Name from SearchText where Kind = 'E'").toString(),
              QStringLiteral("WD Blue / SN-77"));
    cn().execute("update Model set ModlName = 'WD Red' where IdModel = :M", {{"M", model}});
    EXPECT_EQ(scalar("select Name from SearchText where Kind = 'E'").toString(),
              QStringLiteral("WD Red / SN-77"));
    cn().execute("delete from CompleteSet where IdComponent = :E", {{"E", el}});
    EXPECT_EQ(scalar("select count(*) from SearchText where Kind = 'E'").toInt(), 0);
}

VELMORA_BOTH_ENGINES(SchemaTest);

class SchemaVersionTest : public EngineTest {};

TEST_P(SchemaVersionTest, AnOlderDatabaseIsUpgradedWithItsData) {
    Schema::describe();
    Schema::upgradeTo(cn(), 1);
    EXPECT_EQ(Schema::version(cn()), 1);
    cn().execute("insert into Department (DprtName) values ('Старый отдел')");
    Schema::prepare(cn());
    EXPECT_EQ(Schema::version(cn()), Schema::CurrentVersion);
    EXPECT_EQ(cn().scalar("select DprtName from Department").toString(), QStringLiteral("Старый отдел"));
    EXPECT_EQ(cn().scalar("select Name from SearchText where Kind = 'D'").toString(),
              QStringLiteral("Старый отдел"))
        << "texts of rows made before the upgrade are searchable";
    Schema::prepare(cn()); // a current database is left as it is
    EXPECT_EQ(Schema::version(cn()), Schema::CurrentVersion);
}

TEST_P(SchemaVersionTest, TextsOfADatabaseBeforeTheFoldsAreFoundAfterTheUpgrade) {
    Schema::describe();
    Schema::upgradeTo(cn(), 2);
    const QVariant dep = insertRow(cn(), "Department", {{"DprtName", "Ёлочный склад"}});
    const QVariant wp = insertRow(cn(), "Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Стол"}});
    insertRow(cn(), "DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "ПК ЁЖ"}});
    Schema::prepare(cn());
    EXPECT_EQ(cn().scalar("select Folded from SearchText where Kind = 'D'").toString(),
              QStringLiteral("елочный склад"));
    EXPECT_EQ(cn().scalar("select count(*) from FindText where Text like '%стол%'").toInt(), 2)
        << "workplace and device";
    cn().execute("update Department set DprtName = 'Склад' where IdDepartment = :D", {{"D", dep}});
    EXPECT_EQ(cn().scalar("select Folded from SearchText where Kind = 'D'").toString(),
              QStringLiteral("склад"));
}

TEST_P(SchemaVersionTest, DatesWrittenAsNumbersAreRefusedAfterTheUpgrade) {
    Schema::describe();
    Schema::upgradeTo(cn(), 4);
    const QVariant doc = insertRow(cn(), "Document", {{"DocDate", "2024-05-01 00:00:00"}});
    Schema::prepare(cn());
    EXPECT_EQ(cn().scalar("select DocDate from Document").toDateTime(),
              QDateTime(QDate(2024, 5, 1), QTime(0, 0)));
    // SQLite read a number as a Julian day (0 as a day in the year -4713); PostgreSQL refuses it.
    const QVariant refused[] = {0, 1000, 2460000.5, "0", "1e3", "завтра"};
    for (const QVariant &v : refused) {
        SCOPED_TRACE(v.toString().toStdString());
        try {
            cn().execute("update Document set DocDate = :D where IdDocument = :K", {{"D", v}, {"K", doc}});
            ADD_FAILURE() << "taken as a date";
        } catch (const DatabaseError &e) {
            EXPECT_TRUE(e.message().startsWith(QStringLiteral("Неверная дата или время")))
                << e.message().toStdString();
        }
    }
    for (const char *date : {"2024-06-01", "2024-06-01 10:20:30"})
        EXPECT_EQ(
            cn().execute("update Document set DocDate = :D where IdDocument = :K", {{"D", date}, {"K", doc}}),
            1)
            << date;
}

// Workplaces and devices that lost their owner before the upgrade (written with the references
// off) are still shown at the top of the tree's first level after it, and the departments that
// had workplaces before it can be opened.
TEST_P(SchemaVersionTest, TheTreesFirstLevelAfterTheUpgradeHoldsWhatWasWrittenBefore) {
    Schema::describe();
    Schema::upgradeTo(cn(), 12);
    const QVariant dep = insertRow(cn(), "Department", {{"DprtName", "Склад"}});
    const QVariant kept = insertRow(cn(), "Department", {{"DprtName", "Бухгалтерия"}});
    insertRow(cn(), "Department", {{"DprtName", "Архив"}});
    const QVariant wp = insertRow(cn(), "Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Стол"}});
    insertRow(cn(), "Workplace", {{"WrkpIdDepartment", kept}, {"WrkpName", "Касса"}});
    insertRow(cn(), "DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "ПК"}});
    if (pg()) {
        cn().execute("ALTER TABLE Workplace DROP CONSTRAINT workplace_wrkpiddepartment_fkey");
        cn().execute("ALTER TABLE DeviceUnit DROP CONSTRAINT deviceunit_devcidworkplace_fkey");
    } else {
        cn().execute("PRAGMA foreign_keys = OFF");
    }
    cn().execute("DELETE FROM Department WHERE IdDepartment = :D", {{"D", dep}});
    insertRow(cn(), "DeviceUnit", {{"DevcIdWorkplace", 990001}, {"DevcName", "Ничей монитор"}});
    if (!pg())
        cn().execute("PRAGMA foreign_keys = ON");
    Schema::prepare(cn());
    EXPECT_EQ(Schema::version(cn()), Schema::CurrentVersion);

    InstallServer();
    QVector<Parameter> none;
    const ResultSet first = callProcedure(cn(), QStringLiteral("LoadTreeBranch;1"), none);
    QStringList top;
    for (const auto &row : first.rows)
        if (row[first.indexOf(QStringLiteral("Higher"))].isNull())
            top << row[first.indexOf(QStringLiteral("Kind"))].toString() +
                       row[first.indexOf(QStringLiteral("Caption"))].toString() +
                       (row[first.indexOf(QStringLiteral("Children"))].toInt() ? QStringLiteral("+")
                                                                               : QString());
    EXPECT_EQ(top, (QStringList{"DБухгалтерия+", "DАрхив", "WСтол+", "VНичей монитор"}));
}

TEST_P(SchemaVersionTest, ADatabaseOfANewerProgramIsRefusedUntouched) {
    Schema::prepare(cn());
    cn().execute("update SchemaVersion set Version = 99");
    EXPECT_THROW(Schema::prepare(cn()), AppError);
    EXPECT_EQ(Schema::version(cn()), 99);
}

// A domain account belongs to one user, compared as the domain scan compares accounts (trimmed,
// case and "ё" not counting). Accounts shared before the rule keep their rows.
TEST_P(SchemaVersionTest, ADomainAccountBelongsToOneUser) {
    Schema::describe();
    Schema::upgradeTo(cn(), 7);
    auto user = [&](const char *domain, const char *login) {
        return insertRow(cn(), "User",
                         {{"Domain", domain ? QVariant(QString::fromUtf8(domain)) : QVariant()},
                          {"Login", QString::fromUtf8(login)},
                          {"Name", "Пользователь"}});
    };
    const QVariant first = user("KORVANT", "Ёжиков");
    const QVariant second = user("korvant", " ЕЖИКОВ");
    const QVariant other = user("KORVANT", "petrov");
    Schema::prepare(cn());
    auto domain = [&](const QVariant &id) {
        return cn().scalar("select Domain from [User] where ID = :I", {{"I", id}});
    };
    EXPECT_EQ(domain(first).toString(), QStringLiteral("KORVANT"));
    EXPECT_TRUE(domain(second).isNull()) << "the later duplicate keeps its row without the domain";
    EXPECT_EQ(cn().scalar("select count(*) from [User]").toInt(), 3);

    const struct {
        const char *what, *sql;
        QVariantMap params;
        bool refused;
    } cases[] = {
        {"the same account", "insert into [User] (Domain, [Login]) values ('KORVANT', 'ежиков')", {}, true},
        {"an account renamed onto another",
         "update [User] set [Login] = 'ЁЖИКОВ' where ID = :I",
         {{"I", other}},
         true},
        {"a domain given to the duplicate",
         "update [User] set Domain = 'Korvant' where ID = :I",
         {{"I", second}},
         true},
        {"the same login in another domain",
         "insert into [User] (Domain, [Login]) values ('OTHER', 'ежиков')",
         {},
         false},
        {"a login without a domain",
         "insert into [User] (Domain, [Login]) values (NULL, 'ежиков')",
         {},
         false},
        {"a user edited without touching the account",
         "update [User] set Name = 'Ёжиков Ю.' where ID = :I",
         {{"I", first}},
         false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.refused) {
            try {
                cn().execute(QString::fromUtf8(c.sql), c.params);
                ADD_FAILURE() << "accepted";
            } catch (const AppError &e) {
                EXPECT_TRUE(e.message().contains(QStringLiteral("Такая запись уже есть")))
                    << e.message().toStdString();
            }
        } else {
            EXPECT_NO_THROW(cn().execute(QString::fromUtf8(c.sql), c.params));
        }
    }
}

// The upgrade replaces the journal's triggers: entries of the older ones read as the new ones',
// and after it every change of every field leaves its one entry.
TEST_P(SchemaVersionTest, TheJournalReadsTheSameAcrossTheUpgradeOfItsTriggers) {
    Schema::describe();
    Schema::upgradeTo(cn(), 12);
    const QVariant dep = insertRow(cn(), "Department", {{"DprtName", "Склад"}});
    const QVariant wp = insertRow(cn(), "Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Стол"}});
    const QVariant dev = insertRow(cn(), "DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "ПК"}});
    // The update trigger as an older version built it (a query over the columns), for two fields.
    if (pg()) {
        cn().execute(
            "CREATE OR REPLACE FUNCTION fnJournalDeviceUnit() RETURNS trigger LANGUAGE plpgsql AS $$ DECLARE "
            "changed jsonb; BEGIN SELECT jsonb_object_agg(v.f, jsonb_build_array(v.o, v.n)) INTO changed "
            "FROM "
            "(VALUES ('DevcName', to_jsonb(OLD.DevcName), to_jsonb(NEW.DevcName)), ('DevcNumber', "
            "to_jsonb(OLD.DevcNumber), to_jsonb(NEW.DevcNumber))) AS v(f, o, n) WHERE v.o IS DISTINCT FROM "
            "v.n; IF changed IS NOT NULL THEN INSERT INTO Journal (Stamp, TableName, RowKey, OwnerKey, Act, "
            "Fields) VALUES (localtimestamp(0), 'DeviceUnit', NEW.IdDevice, NEW.DevcIdWorkplace, 'U', "
            "changed::text); END IF; RETURN NULL; END $$");
    } else {
        cn().execute("DROP TRIGGER trJournalDeviceUnitU");
        cn().execute(
            "CREATE TRIGGER trJournalDeviceUnitU AFTER UPDATE ON DeviceUnit BEGIN INSERT INTO Journal "
            "(Stamp, TableName, RowKey, OwnerKey, Act, Fields) SELECT datetime('now'), 'DeviceUnit', "
            "NEW.IdDevice, NEW.DevcIdWorkplace, 'U', json_group_object(f, json_array(o, n)) FROM "
            "(SELECT 'DevcName' AS f, OLD.DevcName AS o, NEW.DevcName AS n UNION ALL SELECT "
            "'DevcNumber', OLD.DevcNumber, NEW.DevcNumber) WHERE o IS NOT n; END");
    }
    const auto update = [&](const char *sql) { cn().execute(QString::fromUtf8(sql), {{"D", dev}}); };
    update("UPDATE DeviceUnit SET DevcNumber = 'A-1', DevcName = 'ПК 1' WHERE IdDevice = :D");
    Schema::prepare(cn());
    EXPECT_EQ(Schema::version(cn()), Schema::CurrentVersion);
    update("UPDATE DeviceUnit SET DevcNumber = 'A-2', DevcName = 'ПК 2' WHERE IdDevice = :D");
    update("UPDATE DeviceUnit SET DevcDescription = 'новое' WHERE IdDevice = :D");

    const ResultSet h = Journal::History(cn(), QStringLiteral("DeviceUnit"), dev.toLongLong());
    QStringList changes;
    for (const auto &r : h.rows)
        changes << r[7].toString();
    ASSERT_EQ(changes.size(), 4) << "three changes and the addition";
    EXPECT_EQ(changes.mid(0, 3),
              (QStringList{QStringLiteral("Описание: пусто → «новое»"),
                           QStringLiteral("Название: «ПК 1» → «ПК 2»; Номер: «A-1» → «A-2»"),
                           QStringLiteral("Название: «ПК» → «ПК 1»; Номер: пусто → «A-1»")}));
    cn().execute("DELETE FROM DeviceUnit WHERE IdDevice = :D", {{"D", dev}});
    EXPECT_EQ(
        cn().scalar("SELECT count(*) FROM Journal WHERE TableName = 'DeviceUnit' AND Act = 'D'").toInt(), 1);
}

VELMORA_BOTH_ENGINES(SchemaVersionTest);

// What the SQLite file runs itself (triggers, checks) needs nothing but SQLite: its fold is the
// program's fold letter for letter, and other clients can write the file.
using SqliteFileTest = ServerTest;

TEST_P(SqliteFileTest, PortableFoldIsTheProgramsFold) {
    QString every;
    for (char16_t u = 1; u < 0x520; ++u)
        every += QChar(u);
    const QString samples[] = {every, QStringLiteral("Ёлка ЁЖ ёж Ђак ЯБЛОКО Zebra"), QString()};
    for (const QString &text : samples)
        EXPECT_EQ(
            cn().scalar(QStringLiteral("select %1").arg(PortableFoldSql(QStringLiteral(":T"))), {{"T", text}})
                .toString(),
            FoldText(text));
    EXPECT_TRUE(
        cn().scalar(QStringLiteral("select %1").arg(PortableFoldSql(QStringLiteral("NULL")))).isNull());
}

TEST_P(SqliteFileTest, AnotherClientWritesTheFile) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 is not installed";
    const QVariant dep = insert("Department", {{"DprtName", "Склад"}});
    const QVariant wp = insert("Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Стол"}});
    const QVariant dev = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "ПК"}});
    const QVariant kind = insert("Kind", {{"KindType", "H"}, {"KindName", "Монитор"}});
    const QVariant model = insert("Model", {{"ModlKind", kind}, {"ModlName", "Старое имя"}});
    insert("CompleteSet", {{"CmplIdDevice", dev}, {"CmplIdModel", model}});

    // The statements of a maintenance script, run with Python's sqlite3 module.
    const QString script =
        QStringLiteral(
            "import sqlite3, sys\n"
            "c = sqlite3.connect(sys.argv[1])\n"
            "c.execute(\"update DeviceUnit set DevcName = 'ЁЛКА Новая' where IdDevice = ?\", (%1,))\n"
            "c.execute(\"update Workplace set WrkpName = 'Склад ЖЁЛТЫЙ' where IdWorkplace = ?\", (%2,))\n"
            "c.execute(\"update Model set ModlName = 'Модель ABC' where IdModel = ?\", (%3,))\n"
            "c.execute(\"insert into Department (DprtName) values ('Новый ОТДЕЛ')\")\n"
            "c.commit()\n")
            .arg(dev.toInt())
            .arg(wp.toInt())
            .arg(model.toInt());
    QProcess p;
    p.start(python, {QStringLiteral("-c"), script, DatabaseUrl::parse(db->url()).path});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();

    EXPECT_EQ(scalar("select Folded from SearchText where Kind = 'V' and ID = :I", {{"I", dev}}).toString(),
              QStringLiteral("елка новая"));
    EXPECT_EQ(scalar("select Text from FindText where Kind = 'V' and ID = :I", {{"I", dev}}).toString(),
              QStringLiteral("елка новая\n\n\nсклад желтый"));
    EXPECT_TRUE(scalar("select Folded from SearchText where Kind = 'E'")
                    .toString()
                    .startsWith(QStringLiteral("модель abc")));
    EXPECT_EQ(scalar("select count(*) from FindText where Kind = 'D' and Text = 'новый отдел\n'").toInt(), 1);
    EXPECT_EQ(
        scalar("select count(*) from sqlite_master where sql like '%fold\\_text(%' escape '\\'").toInt(), 0);
}

// The bulk load folds with the program's function for speed, and leaves the file as it was.
TEST_P(SqliteFileTest, ABulkLoadLeavesThePortableTriggers) {
    const auto stored = [&] {
        return scalar("select group_concat(name || sql, '|') from (select name, sql from sqlite_master where "
                      "type = 'trigger' order by name)")
            .toString();
    };
    const QString before = stored();
    CreateScaleData(cn(), 20);
    EXPECT_EQ(stored(), before);
    EXPECT_GT(scalar("select count(*) from SearchText").toInt(), 200);
    EXPECT_EQ(scalar("select count(*) from SearchText where Folded is not fold_text(Name)").toInt(), 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, SqliteFileTest, ::testing::Values(Engine::SQLite),
                         [](const ::testing::TestParamInfo<Engine> &i) {
                             return std::string(engineName(i.param));
                         });

} // namespace
