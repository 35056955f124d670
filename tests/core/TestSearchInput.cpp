// GridSearch with texts a user may type: symbols only, wildcards of either engine, quotes,
// brackets and a text longer than the parameter. Each finds what it literally says, never errors.
#include "TestDatabase.h"
#include "data/DataSet.h"
#include "data/TessalADO.h"

namespace {

class SearchInputTest : public ServerTest {
protected:
    QStringList found(const QString &text) {
        DataSet ds(&cn());
        ds.setCommand(QStringLiteral("GridSearch;1"), CommandType::StoredProc);
        OpenWithParams(ds, {TypedValue::Text(text)});
        QStringList names;
        for (ds.first(); !ds.eof(); ds.next())
            names << ds.value(QStringLiteral("Name")).toString();
        names.sort();
        return names;
    }
};

TEST_P(SearchInputTest, SymbolsFindOnlyWhatTheyLiterallySay) {
    for (const char *name : {"Скидка 100%", "Склад 1000", "a_b", "axb", "Отдел \"Кадры\"", "O'Brien",
                             "[ИТ] отдел", "(резерв)", "Касса\\2"})
        insert("Department", {{"DprtName", QString::fromUtf8(name)}});

    const struct {
        const char *text;
        QStringList names;
    } cases[] = {
        {"0%", {QStringLiteral("Скидка 100%")}},
        {"%%", {}},
        {"a_", {QStringLiteral("a_b")}},
        {"__", {}},
        {"\"Кадры\"", {QStringLiteral("Отдел \"Кадры\"")}},
        {"'B", {QStringLiteral("O'Brien")}},
        {"[ит]", {QStringLiteral("[ИТ] отдел")}},
        {"(р", {QStringLiteral("(резерв)")}},
        {"\\2", {QStringLiteral("Касса\\2")}},
        {"*?", {}},
        {"\");--", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(found(QString::fromUtf8(c.text)), c.names) << c.text;
}

TEST_P(SearchInputTest, ALongTextFindsNothingAndDoesNotFail) {
    insert("Department", {{"DprtName", QString(90, u'я')}});
    EXPECT_EQ(found(QString(500, u'я')), QStringList());
    EXPECT_EQ(found(QString(500, u'%')), QStringList());
    EXPECT_EQ(found(QString(60, u'я')), QStringList{QString(90, u'я')});
}

VELMORA_BOTH_ENGINES(SearchInputTest);

} // namespace
