// The dataset over both engines: reading, sorting, locating, editing and posting.
#include "TestDatabase.h"
#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalADO.h"

#include <QDateTime>

namespace {

// The tables of these tests, described to the data layer only while a test runs.
QVector<TableInfo> itemTables() {
    return {
        {QStringLiteral("Item"),
         {{QStringLiteral("IdItem"), FieldType::Integer, 0, true},
          {QStringLiteral("Name"), FieldType::String, 20},
          {QStringLiteral("Amount"), FieldType::Money},
          {QStringLiteral("Made"), FieldType::DateTime},
          {QStringLiteral("Flag"), FieldType::Boolean},
          {QStringLiteral("Parent"), FieldType::Integer},
          {QStringLiteral("RowVersion"), FieldType::Integer}},
         QStringLiteral("IdItem")},
        {QStringLiteral("Plain"),
         {{QStringLiteral("ID"), FieldType::FixedChar, 1}, {QStringLiteral("Title"), FieldType::String, 20}},
         QStringLiteral("ID")}};
}

class DataSetTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        tables.emplace(itemTables());
        if (pg()) {
            db->exec("CREATE TABLE Item (IdItem serial PRIMARY KEY, Name varchar(20), Amount numeric(19,4), "
                     "Made timestamp, Flag boolean, Parent int, RowVersion int NOT NULL DEFAULT 0)");
            db->exec("CREATE TABLE Plain (ID char(1) PRIMARY KEY, Title varchar(20))");
        } else {
            db->exec("CREATE TABLE Item (IdItem INTEGER PRIMARY KEY AUTOINCREMENT, Name VARCHAR(20) "
                     "CHECK (length(Name) <= 20), Amount MONEYTEXT, Made DATETIME, Flag BIT, Parent INTEGER, "
                     "RowVersion INTEGER NOT NULL DEFAULT 0)");
            db->exec("CREATE TABLE Plain (ID CHAR(1) PRIMARY KEY, Title VARCHAR(20))");
        }
        for (const char *n : {"Склад", "бухгалтерия", "Архив"})
            cn().execute("INSERT INTO Item (Name, Amount, Flag) VALUES (:N, :A, :F)",
                         {{"N", QString::fromUtf8(n)}, {"A", QStringLiteral("10.5")}, {"F", true}});
    }
    void TearDown() override {
        EngineTest::TearDown();
        tables.reset();
    }
    std::optional<ScopedTables> tables;
};

TEST_P(DataSetTest, ReadsRowsWithTheTypesOfTheTable) {
    DataSet ds(&cn());
    ds.setCommand("select * from Item order by IdItem");
    ds.open();
    ASSERT_EQ(ds.recordCount(), 3);
    EXPECT_EQ(ds.fieldByName("idITEM")->name(), QStringLiteral("IdItem")); // spelling of the table
    EXPECT_EQ(ds.value("Name").toString(), QStringLiteral("Склад"));
    EXPECT_EQ(ds.value("Amount").toString(), QStringLiteral("10.5000"));
    EXPECT_EQ(ds.value("Flag").typeId(), QMetaType::Bool);
    EXPECT_TRUE(ds.value("Made").isNull());
    EXPECT_EQ(ds.fieldByName("Name")->size(), 20);
    EXPECT_THROW(ds.fieldByName("Missing"), AppError);
}

TEST_P(DataSetTest, NavigatesSortsAndLocates) {
    DataSet ds(&cn());
    ds.setCommand("select IdItem, Name from Item");
    ds.open();
    ds.setSort("Name DESC;");
    EXPECT_EQ(ds.value("Name").toString(), QStringLiteral("Склад")) << "the current row stays current";
    ds.first();
    QStringList seen;
    while (!ds.eof()) {
        seen << ds.value("Name").toString();
        ds.next();
    }
    EXPECT_EQ(seen, (QStringList{"Склад", "бухгалтерия", "Архив"}));
    ds.setSort("");
    ds.first();
    EXPECT_EQ(ds.value("Name").toString(), QStringLiteral("Склад"))
        << "empty sort restores the fetched order";

    EXPECT_TRUE(ds.locate("Name", {QStringLiteral("архив")}, true));
    EXPECT_EQ(ds.value("Name").toString(), QStringLiteral("Архив"));
    EXPECT_FALSE(ds.locate("Name", QStringLiteral("архив"))) << "exact match is case-sensitive";
    EXPECT_TRUE(ds.locate("Name", {QStringLiteral("бух")}, false, true));
    EXPECT_TRUE(ds.locate("IdItem", QStringLiteral("1"))) << "a number given as text";
}

TEST_P(DataSetTest, InsertReadsBackTheIdentityAndDefaults) {
    DataSet ds(&cn());
    ds.setCommand("SELECT * FROM Item WHERE IdItem = :ID");
    ds.setParameterValue("ID", -1);
    ds.open();
    ASSERT_TRUE(ds.isEmpty());
    ds.append();
    ds.fieldByName("Name")->setValue(QStringLiteral("Новый"));
    ds.fieldByName("Made")->setValue(QDateTime(QDate(2024, 2, 29), QTime(13, 45, 10)));
    ds.fieldByName("Amount")->setValue(QStringLiteral("0.1"));
    ds.post();
    EXPECT_EQ(ds.state(), DataSetState::Browse);
    const int id = ds.value("IdItem").toInt();
    EXPECT_EQ(id, 4);
    EXPECT_EQ(ds.value("RowVersion").toInt(), 0) << "defaults come back from the database";

    DataSet check(&cn());
    check.setCommand("SELECT * FROM Item WHERE IdItem = :ID");
    check.setParameterValue("ID", id);
    check.open();
    ASSERT_EQ(check.recordCount(), 1);
    EXPECT_EQ(check.value("Made").toDateTime(), QDateTime(QDate(2024, 2, 29), QTime(13, 45, 10)));
    EXPECT_EQ(check.value("Amount").toString(), QStringLiteral("0.1000"));
}

TEST_P(DataSetTest, OverLongTextIsRefusedByTheFieldAndTheDatabase) {
    DataSet ds(&cn());
    ds.setCommand("select * from Item");
    ds.open();
    ds.edit();
    EXPECT_THROW(ds.fieldByName("Name")->setValue(QString(21, u'я')), AppError);
    EXPECT_EQ(ds.value("Name").toString(), QStringLiteral("Склад")) << "nothing was cut or lost";
    ds.cancel();
    EXPECT_THROW(cn().execute("UPDATE Item SET Name = :N", {{"N", QString(21, u'я')}}), DatabaseError);
}

TEST_P(DataSetTest, UpdateOfARowChangedElsewhereFailsAndOverwritesNothing) {
    auto other = db->connect();
    DataSet mine(&cn()), theirs(other.get());
    for (DataSet *ds : {&mine, &theirs}) {
        ds->setCommand("SELECT * FROM Item WHERE IdItem = :ID");
        ds->setParameterValue("ID", 1);
        ds->open();
        ds->edit();
    }
    theirs.fieldByName("Name")->setValue(QStringLiteral("Их склад"));
    theirs.post();
    mine.fieldByName("Name")->setValue(QStringLiteral("Мой склад"));
    try {
        mine.post();
        FAIL() << "the second post must fail";
    } catch (const ConflictError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("другим пользователем")));
    }
    EXPECT_EQ(mine.state(), DataSetState::Edit) << "the user's edit is kept";
    EXPECT_EQ(cn().scalar("select Name from Item where IdItem = 1").toString(), QStringLiteral("Их склад"));

    // After a refresh the same edit goes through.
    mine.cancel();
    mine.refresh();
    mine.edit();
    mine.fieldByName("Name")->setValue(QStringLiteral("Мой склад"));
    mine.post();
    EXPECT_EQ(cn().scalar("select Name from Item where IdItem = 1").toString(), QStringLiteral("Мой склад"));
}

TEST_P(DataSetTest, UpdateOfADeletedRowFails) {
    for (const char *sql :
         {"select * from Item where IdItem = :ID", "select IdItem, Name from Item where IdItem = :ID"}) {
        DataSet ds(&cn());
        ds.setCommand(QString::fromUtf8(sql));
        ds.setParameterValue("ID", 2);
        ds.open();
        ASSERT_FALSE(ds.isEmpty());
        ds.edit();
        ds.fieldByName("Name")->setValue(QStringLiteral("x"));
        auto other = db->connect();
        other->execute("delete from Item where IdItem = 2");
        EXPECT_THROW(ds.post(), ConflictError) << sql;
        EXPECT_EQ(cn().scalar("select count(*) from Item").toInt(), 2);
        cn().execute("insert into Item (IdItem, Name) values (2, 'бухгалтерия')");
    }
}

TEST_P(DataSetTest, WithoutRowVersionTheChangedColumnsAreChecked) {
    DataSet mine(&cn());
    mine.setCommand("select IdItem, Name from Item where IdItem = :ID");
    mine.setParameterValue("ID", 3);
    mine.open();
    mine.edit();
    mine.fieldByName("Name")->setValue(QStringLiteral("Моё"));
    cn().execute("update Item set Name = 'Чужое' where IdItem = 3");
    EXPECT_THROW(mine.post(), ConflictError);
    EXPECT_EQ(cn().scalar("select Name from Item where IdItem = 3").toString(), QStringLiteral("Чужое"));
}

TEST_P(DataSetTest, DeleteAndCancel) {
    DataSet ds(&cn());
    ds.setCommand("Item", CommandType::Table);
    ds.open();
    ds.last();
    ds.remove();
    EXPECT_EQ(ds.recordCount(), 2);
    EXPECT_EQ(ds.recNo(), 1) << "the neighbouring row becomes current";
    EXPECT_EQ(cn().scalar("select count(*) from Item").toInt(), 2);

    ds.first();
    ds.edit();
    ds.fieldByName("Name")->setValue(QStringLiteral("черновик"));
    ds.cancel();
    EXPECT_EQ(ds.value("Name").toString(), QStringLiteral("Склад"));
    ds.insert();
    ds.cancel();
    EXPECT_EQ(ds.recordCount(), 2);
}

TEST_P(DataSetTest, ReadOnlyAndCalculatedFields) {
    DataSet ds(&cn());
    ds.setCommand("select IdItem, Name from Item");
    ds.addField({"HEXCode", FieldType::String, 0, false, {}, [](const DataSet &d) {
                     return QString::number(d.value("IdItem").toInt(), 16).toUpper().rightJustified(4, u'0');
                 }});
    ds.open();
    EXPECT_EQ(ds.fieldCount(), 3);
    EXPECT_EQ(ds.value("HEXCode").toString(), QStringLiteral("0001"));
    EXPECT_EQ(ds.valueAt(2, ds.fieldByName("HEXCode")->index()).toString(), QStringLiteral("0003"));
    ds.edit();
    EXPECT_THROW(ds.fieldByName("HEXCode")->setValue(1), AppError);
    ds.cancel();
    ds.setReadOnly(true);
    EXPECT_THROW(ds.edit(), AppError);
}

// A calculated value of another row is that row's, also while the current row is being edited,
// and asking for it leaves the cursor where it was.
TEST_P(DataSetTest, CalculatedValuesBelongToTheRowAsked) {
    DataSet ds(&cn());
    ds.setCommand("select IdItem, Name from Item order by IdItem");
    ds.addField({"Title", FieldType::String, 0, false, {}, [](const DataSet &d) {
                     return d.value("Name").toString().toUpper();
                 }});
    ds.open();
    const int title = ds.fieldByName("Title")->index();
    ds.edit();
    ds.fieldByName("Name")->setValue(QStringLiteral("Новое"));
    int moves = 0;
    QObject::connect(&ds, &DataSet::scrolled, [&] { ++moves; });
    EXPECT_EQ(ds.valueAt(0, title).toString(), QStringLiteral("НОВОЕ")) << "the edited row shows its edit";
    EXPECT_EQ(ds.valueAt(1, title).toString(), QStringLiteral("БУХГАЛТЕРИЯ"));
    EXPECT_EQ(ds.valueAt(2, title).toString(), QStringLiteral("АРХИВ"));
    EXPECT_EQ(ds.recNo(), 0);
    EXPECT_EQ(ds.value("Title").toString(), QStringLiteral("НОВОЕ"));
    EXPECT_EQ(moves, 0);
    ds.cancel();
}

// A row is written by a key the dataset knows, and a write that would touch more than one row
// is refused and taken back.
TEST_P(DataSetTest, WritesNeedAKeyThatNamesOneRow) {
    db->exec("CREATE TABLE Loose (Code int, Title varchar(20))");
    db->exec("INSERT INTO Loose (Code, Title) VALUES (1, 'копия'), (1, 'копия')");
    DataSet guessed(&cn());
    guessed.setCommand("select Code, Title from Loose");
    guessed.open();
    guessed.edit();
    guessed.fieldByName("Title")->setValue(QStringLiteral("оба?"));
    EXPECT_THROW(guessed.post(), AppError) << "no declared key: nothing is guessed";
    guessed.cancel();
    EXPECT_THROW(guessed.remove(), AppError);

    DataSet wrongKey(&cn());
    wrongKey.setCommand("select Code, Title from Loose order by Title");
    wrongKey.setUpdateTable("Loose", "Code");
    wrongKey.open();
    wrongKey.edit();
    wrongKey.fieldByName("Title")->setValue(QStringLiteral("оба?"));
    try {
        wrongKey.post();
        ADD_FAILURE() << "an update of two rows was posted";
    } catch (const ConflictError &) {
        ADD_FAILURE() << "not a conflict";
    } catch (const DatabaseError &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("затронуло бы 2 записей")))
            << e.message().toStdString();
    }
    wrongKey.cancel();
    EXPECT_THROW(wrongKey.remove(), DatabaseError);
    EXPECT_EQ(cn().scalar("select count(*) from Loose").toInt(), 2);
    EXPECT_EQ(cn().scalar("select count(*) from Loose where Title = 'оба?'").toInt(), 0);

    // A row deleted elsewhere is a conflict, not a silent success.
    DataSet items(&cn());
    items.setCommand("Item", CommandType::Table);
    items.open();
    cn().execute("delete from Item where IdItem = 1");
    EXPECT_THROW(items.remove(), ConflictError);
}

// The widest amount goes to the database and comes back to the digit on both engines; a zero
// amount counts as empty.
TEST_P(DataSetTest, MoneyAtItsWidestAndZero) {
    DataSet ds(&cn());
    ds.setCommand("select * from Item where IdItem = :ID");
    ds.setParameterValue("ID", 1);
    ds.open();
    EXPECT_FALSE(IsEmptyValue(*ds.fieldByName("Amount")));
    ds.edit();
    ds.fieldByName("Amount")->setValue(QStringLiteral("-922337203685477.5807"));
    ds.post();
    EXPECT_EQ(ds.value("Amount").toString(), QStringLiteral("-922337203685477.5807"));
    ds.edit();
    EXPECT_THROW(ds.fieldByName("Amount")->setValue(QStringLiteral("922337203685477.5808")), AppError);
    ds.fieldByName("Amount")->setValue(QStringLiteral("0"));
    ds.post();
    EXPECT_TRUE(IsEmptyValue(*ds.fieldByName("Amount")));
    cn().execute("update Item set Amount = '922337203685477.5807' where IdItem = 2");
    ds.setParameterValue("ID", 2);
    ds.close();
    ds.open();
    EXPECT_EQ(ds.value("Amount").toString(), QStringLiteral("922337203685477.5807"));
}

TEST_P(DataSetTest, DetailFollowsItsMaster) {
    cn().execute("update Item set Parent = 1 where IdItem in (2, 3)");
    DataSet master(&cn()), detail(&cn());
    master.setCommand("select IdItem from Item order by IdItem");
    detail.setCommand("select Name from Item where Parent = :IdItem order by Name");
    detail.setMaster(&master, {"IdItem"});
    master.open();
    detail.open();
    EXPECT_EQ(detail.recordCount(), 2);
    master.next();
    EXPECT_EQ(detail.recordCount(), 0);
    master.first();
    EXPECT_EQ(detail.recordCount(), 2);
}

TEST_P(DataSetTest, NotificationsCanBeSuspended) {
    DataSet ds(&cn());
    ds.setCommand("select * from Item");
    int data = 0, scroll = 0;
    QObject::connect(&ds, &DataSet::dataChanged, [&] { ++data; });
    QObject::connect(&ds, &DataSet::scrolled, [&] { ++scroll; });
    ds.open();
    EXPECT_GT(data, 0);
    data = scroll = 0;
    ds.disableControls();
    ds.disableControls();
    ds.next();
    ds.setSort("Name");
    ds.enableControls();
    EXPECT_EQ(data + scroll, 0) << "still suspended after one of two enables";
    ds.enableControls();
    EXPECT_EQ(data, 1);
    EXPECT_EQ(scroll, 1);
}

TEST_P(DataSetTest, DeleteByKeyBindsTheKey) {
    cn().execute(
        "insert into Plain (ID, Title) values ('''', 'кавычка'), ('N', 'накладная'), ('x', 'прочее')");
    DataSet kinds(&cn());
    kinds.setCommand("Plain", CommandType::Table);
    kinds.open();
    ASSERT_TRUE(kinds.locate("ID", QStringLiteral("'")));
    DeleteByKey("Plain", *kinds.fieldByName("ID"), "*");
    EXPECT_EQ(cn().scalar("select count(*) from Plain").toInt(), 2);
    EXPECT_TRUE(cn().scalar("select Title from Plain where ID = ''''").isNull());

    ASSERT_TRUE(kinds.locate("ID", QStringLiteral("N")));
    DeleteByKey("Plain", *kinds.fieldByName("ID"), "ID");
    EXPECT_EQ(cn().scalar("select ID from Plain").toString(), QStringLiteral("x"));
}

// A column of a table the program does not describe takes a type from a column of the same name
// in another table only while its values read as that type; a text is never read as a flag, a date
// or an amount, and a write by it reaches its one row.
TEST_P(DataSetTest, ATypeGuessedFromAnotherTableNeverMisreadsAText) {
    const ScopedTables ledger({{QStringLiteral("Ledger"),
                                {{QStringLiteral("IdLedger"), FieldType::Integer, 0, true},
                                 {QStringLiteral("Sealed"), FieldType::Boolean},
                                 {QStringLiteral("Stamped"), FieldType::DateTime},
                                 {QStringLiteral("Tariff"), FieldType::Money}},
                                QStringLiteral("IdLedger")}});
    for (const auto &[column, type] :
         {std::pair{"Sealed", FieldType::Boolean}, std::pair{"Stamped", FieldType::DateTime},
          std::pair{"Tariff", FieldType::Money}}) {
        const ColumnInfo *guess = SchemaInfo::instance().anyColumn(QString::fromLatin1(column));
        ASSERT_TRUE(guess && guess->type == type) << column;
    }
    db->exec("CREATE TABLE Note (Code int, Sealed varchar(20), Stamped varchar(20), Tariff varchar(20))");
    struct Case {
        const char *column;
        QStringList stored; // one row each, Code 1, 2, ...
        QVariant read;      // what the first row reads as
    };
    const Case cases[] = {
        {"Sealed", {"копия"}, QStringLiteral("копия")},
        {"Sealed", {"1", "копия"}, QStringLiteral("1")},
        {"Sealed", {"1", "0"}, true},
        {"Stamped", {"вчера"}, QStringLiteral("вчера")},
        {"Stamped", {"2024-03-01 10:00:00", "вчера"}, QStringLiteral("2024-03-01 10:00:00")},
        {"Stamped", {"2024-03-01 10:00:00"}, QDateTime(QDate(2024, 3, 1), QTime(10, 0))},
        {"Tariff", {"дорого"}, QStringLiteral("дорого")},
        {"Tariff", {"12.5", "дорого"}, QStringLiteral("12.5")},
        {"Tariff", {"12.5"}, QStringLiteral("12.5000")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.column) + " " + c.stored.join(u',').toStdString());
        cn().execute("delete from Note");
        for (int i = 0; i < c.stored.size(); ++i)
            cn().execute(QStringLiteral("insert into Note (Code, %1) values (:C, :V)").arg(c.column),
                         {{"C", i + 1}, {"V", c.stored[i]}});
        DataSet ds(&cn());
        ds.setCommand(QStringLiteral("select Code, %1 from Note order by Code").arg(c.column));
        ds.setUpdateTable("Note", "Code");
        ASSERT_NO_THROW(ds.open());
        EXPECT_EQ(ds.value(c.column), c.read);
        if (c.read.typeId() != QMetaType::QString || c.read.toString() != c.stored.front())
            continue; // the guess held: the value is of that type
        ds.edit();
        ds.fieldByName(c.column)->setValue(QStringLiteral("иначе"));
        ASSERT_NO_THROW(ds.post());
        EXPECT_EQ(cn().scalar(QStringLiteral("select %1 from Note where Code = 1").arg(c.column)).toString(),
                  QStringLiteral("иначе"));
        EXPECT_EQ(
            cn().scalar(QStringLiteral("select count(*) from Note where %1 = 'иначе'").arg(c.column)).toInt(),
            1);
    }
}

VELMORA_BOTH_ENGINES(DataSetTest);

} // namespace
