// The query helpers: binding by position, single values, deletes by key, empty values, editing.
#include "data/Errors.h"
#include "data/SqlText.h"
#include "data/TessalADO.h"

#include "TestDatabase.h"
#include <limits>

#include <QDateTime>
#include <QPointF>

namespace {

// A procedure that returns its arguments, so that the binding can be seen.
ProcedureDef echo() {
    ProcedureDef def;
    def.name = QStringLiteral("TestEcho");
    def.params = {{QStringLiteral("@A"), FieldType::Integer},
                  {QStringLiteral("@B"), FieldType::String, 10},
                  {QStringLiteral("@C"), FieldType::Integer, 0, ParamDirection::InputOutput}};
    def.columns = {{QStringLiteral("A"), FieldType::Integer},
                   {QStringLiteral("B"), FieldType::String, 10},
                   {QStringLiteral("C"), FieldType::Integer}};
    def.body = [](ProcedureCall &call) {
        ResultSet rs;
        rs.columns = {{"a"}, {"b"}, {"c"}};
        rs.rows.push_back({call.arg("@A"), call.arg("B"), call.arg("@C")});
        call.setOut("@C", call.argInt("@C") + 1);
        return rs;
    };
    return def;
}

class TessalADOTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        echoProc.emplace(echo());
        db->exec("CREATE TABLE Pair (K int, V varchar(10))");
        db->exec("INSERT INTO Pair (K, V) VALUES (1, 'один')");
        db->exec("INSERT INTO Pair (K, V) VALUES (2, 'два')");
    }
    void TearDown() override {
        EngineTest::TearDown();
        echoProc.reset();
    }
    std::optional<ScopedProcedure> echoProc;
};

TEST_P(TessalADOTest, OpenWithParamsBindsAfterTheReturnValue) {
    DataSet sp(&cn());
    sp.setCommand("TestEcho;1", CommandType::StoredProc);
    ASSERT_EQ(sp.parameters().size(), 4);
    EXPECT_EQ(sp.parameters()[0].name, QStringLiteral("@RETURN_VALUE"));

    struct Case {
        const char *what;
        TypedValues args;
        int last;
        QVariant a, b, c;
    };
    const Case cases[] = {
        {"full list", {TypedValue::Int(7), TypedValue::Text("семь"), TypedValue::Int(70)}, 2, 7, "семь", 70},
        {"short list leaves the rest Null", {TypedValue::Int(5)}, 0, 5, {}, {}},
        {"surplus is ignored",
         {TypedValue::Int(1), TypedValue::Text("x"), TypedValue::Int(2), TypedValue::Int(99)},
         3,
         1,
         "x",
         2},
        {"the last index cuts the list", {TypedValue::Int(1), TypedValue::Text("x")}, 0, 1, {}, {}},
        {"empty list", {}, -1, {}, {}, {}},
        {"char and variant tags", {TypedValue::Variant(3), TypedValue::Char(u'Z')}, 1, 3, "Z", {}},
    };
    for (const Case &c : cases) {
        OpenWithParams(sp, c.args, c.last);
        ASSERT_EQ(sp.recordCount(), 1) << c.what;
        EXPECT_EQ(sp.value("A"), c.a) << c.what;
        EXPECT_EQ(sp.value("B").toString(), c.b.toString()) << c.what;
        EXPECT_EQ(sp.value("C"), c.c) << c.what;
        EXPECT_EQ(sp.value("a").isNull(), c.a.isNull()) << c.what;
    }
    OpenWithParams(sp, {TypedValue::Int(1), TypedValue::Text("x"), TypedValue::Int(41)});
    EXPECT_EQ(sp.parameter("@C").value.toInt(), 42) << "in/out parameters come back";
}

TEST_P(TessalADOTest, OpenWithParamsOnTextAndExecuteForms) {
    DataSet q(&cn());
    q.setCommand("select V from Pair where K = :K");
    OpenWithParams(q, {TypedValue::Int(2)});
    EXPECT_EQ(q.value("V").toString(), QStringLiteral("два"));
    OpenWithParams(q, {});
    EXPECT_TRUE(q.isEmpty()) << "a missing argument binds Null";

    DataSet exec(&cn());
    exec.setCommand("EXECUTE TestEcho :ID");
    OpenWithParams(exec, {TypedValue::Int(12)});
    EXPECT_EQ(exec.value("A").toInt(), 12);
    EXPECT_TRUE(exec.value("B").isNull());

    DataSet none(&cn());
    none.setCommand("select count(*) as N from Pair");
    OpenWithParams(none, {TypedValue::Int(5)});
    EXPECT_EQ(none.value("N").toInt(), 2) << "a dataset without parameters just reopens";
}

TEST_P(TessalADOTest, RefusedTagsLeaveTheDatasetClosed) {
    DataSet q(&cn());
    q.setCommand("select V from Pair where K = :K");
    q.open();
    for (int tag : {5, 6, 7, 8, 9, 10, 14, 15, 16}) {
        try {
            OpenWithParams(q, {TypedValue{tag, 1}});
            FAIL() << "tag " << tag << " must be refused";
        } catch (const AppError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("Неопределённый тип параметра (%1).").arg(tag));
        }
        EXPECT_FALSE(q.isActive());
    }
}

TEST_P(TessalADOTest, QueryValueShapes) {
    EXPECT_TRUE(QueryValue(cn(), "select V from Pair where K = 3").isNull());
    EXPECT_EQ(QueryValue(cn(), "select V from Pair where K = 1"), QVariant(QStringLiteral("один")));
    const QVariant three = QueryValue(cn(), "select K, V, K + 10 from Pair order by K");
    ASSERT_EQ(three.typeId(), QMetaType::QVariantList);
    const QVariantList l = three.toList();
    ASSERT_EQ(l.size(), 3);
    EXPECT_EQ(l[0].toInt(), 1);
    EXPECT_EQ(l[1].toString(), QStringLiteral("один"));
    EXPECT_EQ(l[2].toInt(), 11);
    EXPECT_THROW(QueryValue(cn(), "select nothing from nowhere"), DatabaseError);
    EXPECT_EQ(QueryValue(cn(), "select count(*) from Pair").toInt(), 2) << "usable after a failure";
    EXPECT_TRUE(ExecuteSql(cn(), "delete from Pair where K = 2"));
    EXPECT_EQ(QueryValue(cn(), "select count(*) from Pair").toInt(), 1);
}

TEST_P(TessalADOTest, SetFieldValueSwitchesToEditingOnlyForAChange) {
    DataSet q(&cn());
    q.setCommand("select * from Pair order by K");
    q.setUpdateTable("Pair", "K");
    q.open();
    SetFieldValue(*q.fieldByName("V"), QStringLiteral("один"));
    EXPECT_EQ(q.state(), DataSetState::Browse) << "the same value leaves it browsing";
    EXPECT_THROW(SetFieldValue(*q.fieldByName("V"), QVariant()), AppError) << "Null needs editing already";
    SetFieldValue(*q.fieldByName("V"), QStringLiteral("первый"));
    EXPECT_EQ(q.state(), DataSetState::Edit) << "posting is the caller's";
    EnsureEditing(q);
    EXPECT_EQ(q.state(), DataSetState::Edit);
    SetFieldValue(*q.fieldByName("V"), QVariant());
    EXPECT_TRUE(q.value("V").isNull());
    q.post();
    EXPECT_TRUE(cn().scalar("select V from Pair where K = 1").isNull());
    EXPECT_TRUE(HasRecords(q));
    EXPECT_TRUE(IsDataSetActive(q));
    q.close();
    EXPECT_FALSE(HasRecords(q));
}

VELMORA_BOTH_ENGINES(TessalADOTest);

TEST(TessalADO, MoneyIsReadExactlyOrRefused) {
    const struct {
        const char *text;
        bool ok;
        qint64 units;
    } cases[] = {
        {"922337203685477.5807", true, std::numeric_limits<qint64>::max()}, // the widest amount
        {"-922337203685477.5807", true, -std::numeric_limits<qint64>::max()},
        {"922337203685477.5808", false, 0},
        {"999999999999999.9999", false, 0}, // numeric(19,4) would hold it; the program refuses it
        {"12,5", true, 125000},
        {"0.00005", true, 1},
        {"+3", true, 30000},
        {"abc", false, 0},
        {"1.2.3", false, 0},
        {"", false, 0},
        {"-", false, 0},
        {"1e3", false, 0},
    };
    for (const auto &c : cases) {
        bool ok = !c.ok;
        EXPECT_EQ(Money::toUnits(QString::fromUtf8(c.text), &ok), c.units) << c.text;
        EXPECT_EQ(ok, c.ok) << c.text;
    }
    bool ok = true;
    Money::toUnits(qint64(1) << 62, &ok);
    EXPECT_FALSE(ok) << "an integer whose units overflow";
    EXPECT_THROW(normalizeValue(FieldType::Money, QStringLiteral("12 руб")), AppError) << "not read as 0";
    EXPECT_EQ(normalizeValue(FieldType::Money, QStringLiteral("922337203685477.5807")).toString(),
              QStringLiteral("922337203685477.5807"));
}

TEST(TessalADO, IsEmptyValue) {
    struct Case {
        QVariant value;
        bool empty;
    };
    const Case cases[] = {
        {QVariant(), true},
        {0, true},
        {QVariant(qlonglong(0)), true},
        {0.0, true},
        {QDateTime(QDate(1899, 12, 30), QTime(0, 0)), true},
        {QString(), true},
        {false, true},
        {QVariantList{}, true},
        {QString(" "), false},
        {true, false},
        {7, false},
        {-0.5, false},
        {QDateTime(QDate(2020, 1, 1), QTime(0, 0)), false},
        {QVariantList{1}, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(IsEmptyValue(c.value), c.empty)
            << c.value.toString().toStdString() << " " << c.value.typeName();
    try {
        IsEmptyValue(QVariant::fromValue(QPointF(1, 2)));
        FAIL();
    } catch (const AppError &e) {
        EXPECT_EQ(e.message(),
                  QStringLiteral("Проверка пустого значения. Переменная неопределенного типа d."));
    }
}

TEST(TessalADO, DeleteByKeyStatementAndIfThenValue) {
    EXPECT_EQ(DeleteByKeyStatement("Trademark", "ID"),
              QStringLiteral("DELETE FROM Trademark WHERE ID = :Key"));
    EXPECT_EQ(IfThenValue(true, 1, "b"), QVariant(1));
    EXPECT_EQ(IfThenValue(false, 1, "b"), QVariant("b"));
}

TEST(SqlText, ParametersAndIdentifiers) {
    struct Case {
        const char *sql;
        Engine engine;
        const char *text;
        QStringList names;
    };
    const Case cases[] = {
        {"select * from Department where IdDepartment =:ID",
         Engine::SQLite,
         "select * from Department where IdDepartment =?",
         {"ID"}},
        {"SELECT * FROM [User] ORDER BY [Login]",
         Engine::PostgreSQL,
         "SELECT * FROM \"user\" ORDER BY \"login\"",
         {}},
        {"SELECT * FROM [User]", Engine::SQLite, "SELECT * FROM [User]", {}},
        {"select ':x [y]' , :a, :b, :a -- :c\n",
         Engine::PostgreSQL,
         "select ':x [y]' , ?, ?, ? -- :c\n",
         {"a", "b", "a"}},
        {"select 'it''s :no', x::text from t where y = :Y",
         Engine::PostgreSQL,
         "select 'it''s :no', x::text from t where y = ?",
         {"Y"}},
    };
    for (const Case &c : cases) {
        const PreparedSql p = prepareSql(QString::fromUtf8(c.sql), c.engine);
        EXPECT_EQ(p.text, QString::fromUtf8(c.text)) << c.sql;
        EXPECT_EQ(p.markNames, c.names) << c.sql;
    }
    EXPECT_EQ(prepareSql(":a :b :A", Engine::SQLite).uniqueNames(), (QStringList{"a", "b"}));
    // libpq's numbered marks, one per place, past literals and casts.
    EXPECT_EQ(prepareSql("select '?:x', :a::text, :b, :a", Engine::PostgreSQL, MarkStyle::Numbered).text,
              QStringLiteral("select '?:x', $1::text, $2, $3"));
}

} // namespace
