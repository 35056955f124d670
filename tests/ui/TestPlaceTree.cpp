// The placement tree model: where every row hangs, and that it stays a well-formed item model.
#include "placement/PlaceTree.h"

#include <QAbstractItemModelTester>
#include <gtest/gtest.h>

namespace {

struct Row {
    const char *caption;
    int id;
    int higher;
    const char *kind;
};

ResultSet rows(std::initializer_list<Row> list) {
    ResultSet rs;
    rs.columns = {{"Caption"}, {"ID"}, {"Higher"}, {"Kind"}, {"ImageType"}};
    for (const Row &r : list)
        rs.rows.push_back({QString::fromUtf8(r.caption), r.id, r.higher ? QVariant(r.higher) : QVariant(),
                           QString::fromLatin1(r.kind), 0});
    return rs;
}

// The tree as text: "caption(child, child)" in order.
QString dump(const PlaceTreeModel &m, const QModelIndex &parent = {}) {
    QStringList parts;
    for (int r = 0; r < m.rowCount(parent); ++r) {
        const QModelIndex i = m.index(r, 0, parent);
        QString s = m.data(i).toString();
        if (m.rowCount(i) > 0)
            s += u'(' + dump(m, i) + u')';
        parts << s;
    }
    return parts.join(QStringLiteral(", "));
}

TEST(PlaceTree, EachRowHangsUnderTheLastLoadedNodeOfItsParentKind) {
    struct Case {
        const char *what;
        ResultSet data;
        const char *tree;
    };
    const Case cases[] = {
        {"nesting and sibling order",
         rows({{"Отдел", 1, 0, "D"},
               {"Группа", 2, 1, "D"},
               {"Стол 1", 1, 1, "W"},
               {"Стол 2", 2, 1, "W"},
               {"ПК", 1, 1, "V"},
               {"Принтер", 2, 1, "V"},
               {"Ноутбук", 3, 2, "V"}}),
         "Отдел(Группа, Стол 1(ПК, Принтер), Стол 2(Ноутбук))"},
        {"the same key in two kinds: a department never hangs under a workplace",
         rows({{"Стол 5", 5, 0, "W"}, {"Отдел 5", 5, 0, "D"}, {"Подотдел", 6, 5, "D"}}),
         "Стол 5, Отдел 5(Подотдел)"},
        {"orphans go to the top level",
         rows({{"Стол", 7, 99, "W"}, {"ПК", 1, 3, "V"}, {"Рабочее место позже", 3, 0, "W"}}),
         "Стол, ПК, Рабочее место позже"},
        {"a row without a kind is skipped",
         rows({{"Отдел", 1, 0, "D"}, {"пусто", 2, 1, ""}, {"Стол", 1, 1, "W"}}), "Отдел(Стол)"},
        {"the last loaded node of a key is the parent",
         rows({{"Первый", 1, 0, "D"}, {"Второй", 1, 0, "D"}, {"Стол", 1, 1, "W"}}), "Первый, Второй(Стол)"},
        {"a parent loaded before other nodes of its kind",
         rows({{"Отдел", 1, 0, "D"},
               {"Группа", 2, 1, "D"},
               {"Стол 1", 1, 1, "W"},
               {"Стол 2", 2, 2, "W"},
               {"ПК", 1, 1, "V"},
               {"Сканер", 2, 2, "V"}}),
         "Отдел(Группа(Стол 2(Сканер)), Стол 1(ПК))"},
        {"kinds in lower case", rows({{"отдел", 1, 0, "d"}, {"стол", 1, 1, "w"}, {"пк", 1, 1, "v"}}),
         "отдел(стол(пк))"},
        {"empty", rows({}), ""},
    };
    for (const Case &c : cases) {
        PlaceTreeModel m;
        QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::Fatal);
        m.load(c.data);
        EXPECT_EQ(dump(m).toStdString(), c.tree) << c.what;
    }
}

TEST(PlaceTree, FindAndReferences) {
    PlaceTreeModel m;
    m.load(rows({{"Отдел", 1, 0, "D"}, {"Стол", 1, 1, "W"}, {"ПК", 4, 1, "V"}}));
    const QModelIndex pc = m.find("V", 4);
    ASSERT_TRUE(pc.isValid());
    const TReference r = m.reference(pc);
    EXPECT_EQ(r.Kind, QStringLiteral("V"));
    EXPECT_EQ(r.Id, 4);
    EXPECT_EQ(r.Higher, 1);
    EXPECT_EQ(m.caption(m.parent(pc)), QStringLiteral("Стол"));
    EXPECT_FALSE(m.find("V", 1).isValid());
    EXPECT_FALSE(m.find("", 1).isValid());
    EXPECT_EQ(m.caption(m.firstNode()), QStringLiteral("Отдел"));
    EXPECT_GT(m.bytesPerNode(), 0u);
    m.clear();
    EXPECT_FALSE(m.firstNode().isValid());
}

// Keys are usually small and dense, but nothing guarantees it: a key far above the others, a
// negative one, a kind the tree does not draw, and the same key in every kind must all be found,
// parents included, and a removed node must no longer be.
TEST(PlaceTree, FindsEveryKindOfKey) {
    PlaceTreeModel m;
    m.load(rows({{"Отдел", 3, 0, "D"},
                 {"Дальний отдел", 2000000000, 0, "D"},
                 {"Стол", 3, 2000000000, "W"},
                 {"Стол с минусом", -5, 3, "W"},
                 {"ПК", 3, 3, "V"},
                 {"Сканер", 2147483647, -5, "V"},
                 {"Чужой", 3, 0, "X"}}));
    EXPECT_EQ(dump(m).toStdString(), "Отдел(Стол с минусом(Сканер)), Дальний отдел(Стол(ПК)), Чужой");
    struct Case {
        const char *kind;
        int id;
        const char *caption;
    };
    const Case cases[] = {{"D", 3, "Отдел"},
                          {"D", 2000000000, "Дальний отдел"},
                          {"W", 3, "Стол"},
                          {"W", -5, "Стол с минусом"},
                          {"V", 3, "ПК"},
                          {"V", 2147483647, "Сканер"},
                          {"X", 3, "Чужой"},
                          {"D", 4, nullptr},
                          {"W", 2000000000, nullptr},
                          {"V", -5, nullptr}};
    for (const Case &c : cases) {
        const QModelIndex i = m.find(QString::fromLatin1(c.kind), c.id);
        EXPECT_EQ(i.isValid(), c.caption != nullptr) << c.kind << c.id;
        if (c.caption) {
            EXPECT_EQ(m.caption(i), QString::fromUtf8(c.caption)) << c.kind << c.id;
            EXPECT_EQ(m.findKey(PlaceTreeModel::nodeKey(m.reference(i))), i) << c.kind << c.id;
        }
    }
    for (const Case &c : {Case{"V", 2147483647, nullptr}, Case{"V", 3, nullptr}, Case{"X", 3, nullptr}}) {
        ASSERT_TRUE(m.removeNode(m.find(QString::fromLatin1(c.kind), c.id))) << c.kind << c.id;
        EXPECT_FALSE(m.find(QString::fromLatin1(c.kind), c.id).isValid()) << c.kind << c.id;
    }
    EXPECT_TRUE(m.find("W", 3).isValid());
}

} // namespace
