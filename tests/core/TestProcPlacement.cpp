// The placement view's procedures: the tree, the complete set, deleting, moving and cloning nodes,
// and the bookmarks of each operating-system user.
#include "TestDatabase.h"
#include "ToolRun.h"
#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "server/OsUser.h"

#include <QDateTime>
#include <QHash>
#include <QStandardPaths>
#include <functional>
#include <thread>

namespace {

struct Node {
    QString kind;
    int id;
    QVariant higher;
    QString caption;
    int image;
};

class PlacementProcTest : public ServerTest {
protected:
    void TearDown() override {
        SetOsUserNameForTesting({});
        ServerTest::TearDown();
    }

    int dep(const QString &name, const QVariant &higher = {}) {
        return insert("Department", {{"DprtName", name}, {"DprtIdHigher", higher}}).toInt();
    }
    int place(int department, const QString &name, const QVariant &phone = {}) {
        return insert("Workplace", {{"WrkpIdDepartment", department}, {"WrkpName", name}, {"Phone", phone}})
            .toInt();
    }
    int device(int workplace, const QString &name, const QVariantMap &more = {}) {
        QVariantMap row = more;
        row.insert("DevcIdWorkplace", workplace);
        row.insert("DevcName", name);
        return insert("DeviceUnit", row).toInt();
    }
    int kind(const QString &type, const QString &name, const QVariant &shortName = {}) {
        return insert("Kind", {{"KindType", type}, {"KindName", name}, {"ShortName", shortName}}).toInt();
    }
    int model(int kindId, const QString &name) {
        return insert("Model", {{"ModlKind", kindId}, {"ModlName", name}, {"ModlNameOnly", true}}).toInt();
    }
    int element(int dev, int modelId, const QVariantMap &more = {}) {
        QVariantMap row = more;
        row.insert("CmplIdDevice", dev);
        row.insert("CmplIdModel", modelId);
        return insert("CompleteSet", row).toInt();
    }
    void setParent(int department, const QVariant &higher) {
        cn().execute("UPDATE Department SET DprtIdHigher = :H WHERE IdDepartment = :I",
                     {{"H", higher}, {"I", department}});
    }

    // Runs a procedure the way the program does: parameters by position after @RETURN_VALUE.
    void run(const char *proc, const QVariantList &args) {
        DataSet ds(&cn());
        ds.setCommand(QString::fromLatin1(proc), CommandType::StoredProc);
        for (int i = 0; i < args.size(); ++i)
            ds.parameters()[i + 1].value = args[i];
        ds.execProc();
    }
    // The message a refused call shows, empty when the call went through.
    QString refusal(const char *proc, const QVariantList &args) {
        try {
            run(proc, args);
        } catch (const AppError &e) {
            return e.message();
        }
        return {};
    }

    std::vector<Node> tree() {
        DataSet ds(&cn());
        ds.setCommand("LoadTree;1", CommandType::StoredProc);
        OpenWithParams(ds);
        std::vector<Node> out;
        for (ds.first(); !ds.eof(); ds.next())
            out.push_back({ds.value("Kind").toString(), ds.value("ID").toInt(), ds.value("Higher"),
                           ds.value("Caption").toString(), ds.value("ImageType").toInt()});
        return out;
    }

    // The tree as the view builds it from the rows: each row under the last row loaded before it of
    // the parent's kind with the key it names, else at the top; two spaces per level.
    static QStringList outline(const std::vector<Node> &rows) {
        QHash<QString, int> depth;
        QStringList out;
        for (const Node &n : rows) {
            int d = 0;
            if (!n.higher.isNull()) {
                const QString parent = (n.kind == u"V" ? QStringLiteral("W") : QStringLiteral("D")) +
                                       QString::number(n.higher.toInt());
                if (depth.contains(parent))
                    d = depth[parent] + 1;
            }
            depth[n.kind + QString::number(n.id)] = d;
            out << QString(d * 2, u' ') + n.caption;
        }
        return out;
    }

    // Captions of the rows of one kind directly under a parent, in the order they come.
    static QStringList children(const std::vector<Node> &rows, const QString &kind, int parent) {
        QStringList out;
        for (const Node &n : rows)
            if (n.kind == kind && !n.higher.isNull() && n.higher.toInt() == parent)
                out << n.caption;
        return out;
    }

    // One level of the tree from LoadTreeBranch;1 (an empty kind: the first level), with Children.
    std::vector<std::pair<Node, bool>> branch(const QString &kind, int id) {
        DataSet ds(&cn());
        ds.setCommand("LoadTreeBranch;1", CommandType::StoredProc);
        ds.parameters()[1].value = kind.isEmpty() ? QVariant() : QVariant(kind);
        ds.parameters()[2].value = kind.isEmpty() ? QVariant() : QVariant(id);
        ds.open();
        std::vector<std::pair<Node, bool>> out;
        for (ds.first(); !ds.eof(); ds.next())
            out.push_back({{ds.value("Kind").toString(), ds.value("ID").toInt(), ds.value("Higher"),
                            ds.value("Caption").toString(), ds.value("ImageType").toInt()},
                           ds.value("Children").toInt() != 0});
        return out;
    }

    // The whole tree put together a branch at a time, as the view does when every node is
    // opened: the first level, then under each node with Children its branch, after the rows that
    // came with the level above. The rows come depth first, as LoadTree returns them.
    std::vector<Node> treeByBranches() {
        struct Item {
            Node node;
            bool more;
            std::vector<int> children;
        };
        std::vector<Item> items;
        std::vector<int> top;
        QHash<QString, int> byKey;
        auto add = [&](const Node &n, bool more, int parent) {
            const int i = int(items.size());
            items.push_back({n, more, {}});
            byKey[n.kind + QString::number(n.id)] = i;
            (parent < 0 ? top : items[size_t(parent)].children).push_back(i);
        };
        for (const auto &[n, more] : branch({}, 0)) {
            const int parent =
                n.higher.isNull() ? -1 : byKey.value("D" + QString::number(n.higher.toInt()), -1);
            add(n, more, parent);
        }
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i].more)
                for (const auto &[n, more] : branch(items[i].node.kind, items[i].node.id))
                    add(n, more, int(i));
        std::vector<Node> out;
        std::function<void(int)> walk = [&](int i) {
            out.push_back(items[size_t(i)].node);
            for (int c : items[size_t(i)].children)
                walk(c);
        };
        for (int i : top)
            walk(i);
        return out;
    }
    static QStringList rowsText(const std::vector<Node> &rows) {
        QStringList out;
        for (const Node &n : rows)
            out << QStringLiteral("%1%2<%3 %4 %5")
                       .arg(n.kind)
                       .arg(n.id)
                       .arg(n.higher.toString(), n.caption)
                       .arg(n.image);
        return out;
    }

    static const Node *find(const std::vector<Node> &rows, const QString &kind, int id) {
        for (const Node &n : rows)
            if (n.kind == kind && n.id == id)
                return &n;
        return nullptr;
    }
};

// ---- LoadTree -------------------------------------------------------------------------------

TEST_P(PlacementProcTest, TreeComesParentsFirstAfterMovingUnderALaterDepartment) {
    const int a = dep("А-отдел");
    const int wa = place(a, "Стол А");
    device(wa, "ПК-А");
    const int b = dep("Б-отдел");
    const int c = dep("В-отдел"); // created after A
    setParent(a, c);
    // A chain created top-down by key but nested bottom-up: each level under a later one.
    std::vector<int> chain;
    for (int i = 0; i < 12; ++i)
        chain.push_back(dep(QStringLiteral("Ур%1").arg(i, 2, 10, QChar(u'0'))));
    for (int i = 0; i + 1 < int(chain.size()); ++i)
        setParent(chain[size_t(i)], chain[size_t(i) + 1]);
    setParent(chain.back(), b);
    place(chain.front(), "Стол на дне");

    QStringList expected{"Б-отдел"};
    for (int i = int(chain.size()) - 1; i >= 0; --i)
        expected << QString((int(chain.size()) - i) * 2, u' ') +
                        QStringLiteral("Ур%1").arg(i, 2, 10, QChar(u'0'));
    expected << QString(int(chain.size() + 1) * 2, u' ') + QStringLiteral("Стол на дне");
    expected << "В-отдел"
             << "  А-отдел"
             << "    Стол А"
             << "      ПК-А";
    EXPECT_EQ(outline(tree()), expected);
}

TEST_P(PlacementProcTest, CyclesAndMissingParentsGoToTheTopWithoutLosingRows) {
    const int a = dep("А");
    const int b = dep("Б");
    const int self = dep("Сам себе");
    const int underA = dep("Под А", a);
    const int plain = dep("Обычный");
    allowDepartmentCycles(cn());
    setParent(a, b);
    setParent(b, a);
    setParent(self, self);
    place(underA, "Стол");

    int lostDep = 0, lostPlace = 0, lostDevice = 0;
    {
        // Rows whose owner is gone can only be made with the references switched off.
        if (pg()) {
            cn().execute("ALTER TABLE Department DROP CONSTRAINT department_dprtidhigher_fkey");
            cn().execute("ALTER TABLE Workplace DROP CONSTRAINT workplace_wrkpiddepartment_fkey");
            cn().execute("ALTER TABLE DeviceUnit DROP CONSTRAINT deviceunit_devcidworkplace_fkey");
        } else {
            cn().execute("PRAGMA foreign_keys = OFF");
        }
        lostDep = dep("Без родителя", 999001);
        lostPlace = place(999002, "Ничей стол");
        lostDevice = device(999003, "Ничей ПК");
    }

    const std::vector<Node> rows = tree();
    ASSERT_EQ(rows.size(), size_t(9)) << "every row comes exactly once";
    EXPECT_EQ(rowsText(treeByBranches()), rowsText(rows)) << "a branch at a time";
    struct Case {
        const char *what;
        QString kind;
        int id;
        QVariant higher;
    };
    const Case cases[] = {
        {"member of a two-department cycle", "D", a, {}},
        {"other member of that cycle", "D", b, {}},
        {"its own parent", "D", self, {}},
        {"child of a cycle member stays under it", "D", underA, a},
        {"ordinary top department", "D", plain, {}},
        {"parent missing", "D", lostDep, {}},
        {"department missing", "W", lostPlace, {}},
        {"workplace missing", "V", lostDevice, {}},
    };
    for (const Case &c : cases) {
        const Node *n = find(rows, c.kind, c.id);
        ASSERT_TRUE(n) << c.what;
        EXPECT_EQ(n->higher.isNull(), c.higher.isNull()) << c.what;
        if (!c.higher.isNull()) {
            EXPECT_EQ(n->higher.toInt(), c.higher.toInt()) << c.what;
        }
    }
    const QStringList shape = outline(rows);
    EXPECT_EQ(shape.indexOf("  Под А"), shape.indexOf("А") + 1) << shape.join('|').toStdString();
    EXPECT_EQ(shape.indexOf("    Стол"), shape.indexOf("А") + 2) << shape.join('|').toStdString();
}

TEST_P(PlacementProcTest, BranchesPutTogetherMakeTheWholeTree) {
    // Deep and wide: a chain of departments nested bottom-up by key, a department with many
    // workplaces in a set order, a workplace with many devices whose names differ in case and
    // kind, phones and network names in the captions, and empty departments and workplaces.
    const int pcKind = kind("H", "Системный блок", "ПК");
    const int monitorKind = kind("H", "Монитор");
    std::vector<int> chain;
    for (int i = 0; i < 25; ++i)
        chain.push_back(dep(QStringLiteral("Уровень %1").arg(i)));
    for (size_t i = 0; i + 1 < chain.size(); ++i)
        setParent(chain[i], chain[i + 1]);
    const int deepPlace = place(chain.front(), "Стол на дне", "101");
    device(deepPlace, "ПК-дно", {{"DevcIdKind", pcKind}, {"Domain", "deep01"}});
    const int wide = dep("Широкий");
    dep("Пустой", wide);
    for (int i = 0; i < 60; ++i) {
        const int w = place(wide, QStringLiteral("Место %1").arg(i % 7));
        cn().execute("UPDATE Workplace SET WrkpOrder = :O WHERE IdWorkplace = :I",
                     {{"O", i % 3 == 0 ? QVariant() : QVariant(60 - i)}, {"I", w}});
        if (i % 10 == 0)
            for (const char *name : {"бета", "Альфа", "альфа", "Бета", "гамма"})
                device(w, QString::fromUtf8(name), {{"DevcIdKind", i % 20 == 0 ? pcKind : monitorKind}});
    }
    const std::vector<Node> whole = tree();
    EXPECT_EQ(rowsText(treeByBranches()), rowsText(whole));

    // The first level holds the departments alone, and says which have more below them.
    const auto first = branch({}, 0);
    ASSERT_EQ(first.size(), chain.size() + 2);
    for (const auto &[n, more] : first) {
        EXPECT_EQ(n.kind, "D");
        EXPECT_EQ(more, n.id == chain.front() || n.id == wide) << n.caption.toStdString();
    }
}

// Whether a department can be opened follows every write of its workplaces, whoever makes it:
// after each case the first level marks exactly the departments that hold a workplace.
TEST_P(PlacementProcTest, TheFirstLevelMarksTheDepartmentsThatHoldWorkplaces) {
    const int a = dep("Бухгалтерия"), b = dep("Склад"), c = dep("Архив");
    const int desk = place(a, "Стол");
    struct Case {
        const char *what, *sql; // %A, %B, %C: the departments; %W: the first workplace
    };
    const Case cases[] = {
        {"a second workplace", "INSERT INTO Workplace (WrkpIdDepartment, WrkpName) VALUES (%A, 'Касса')"},
        {"one of two deleted", "DELETE FROM Workplace WHERE WrkpName = 'Касса'"},
        {"moved away from its department",
         "UPDATE Workplace SET WrkpIdDepartment = %B WHERE IdWorkplace = %W"},
        {"written again over itself",
         "UPDATE Workplace SET WrkpIdDepartment = %B, WrkpName = 'Стол' WHERE IdWorkplace = %W"},
        {"two added and moved together",
         "INSERT INTO Workplace (WrkpIdDepartment, WrkpName) VALUES (%A, 'Окно 1'), (%A, 'Окно 2'); "
         "UPDATE Workplace SET WrkpIdDepartment = %C WHERE WrkpName LIKE 'Окно%'"},
        {"the last one deleted", "DELETE FROM Workplace WHERE IdWorkplace = %W"},
        {"every one deleted", "DELETE FROM Workplace"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.what);
        for (const QString &statement : QString::fromUtf8(k.sql).split(u';', Qt::SkipEmptyParts))
            cn().execute(QString(statement)
                             .replace("%A", QString::number(a))
                             .replace("%B", QString::number(b))
                             .replace("%C", QString::number(c))
                             .replace("%W", QString::number(desk)));
        for (const auto &[n, more] : branch({}, 0))
            EXPECT_EQ(
                more,
                scalar("SELECT count(*) FROM Workplace WHERE WrkpIdDepartment = :D", {{"D", n.id}}).toInt() >
                    0)
                << n.caption.toStdString();
    }
}

// Two workstations at once: one deletes a department's last workplace while the other adds one
// there. Whichever commits first, the department stays marked as holding a workplace.
TEST_P(PlacementProcTest, AWorkplaceAddedWhileTheLastOneGoesKeepsItsDepartmentMarked) {
    if (!pg())
        GTEST_SKIP() << "SQLite has one writer at a time";
    const int d = dep("Склад");
    for (const bool deleteFirst : {true, false}) {
        SCOPED_TRACE(deleteFirst ? "the delete first" : "the insert first");
        const int last = place(d, "Последний стол");
        const auto work = [&](Connection &cn, bool deleting) {
            if (deleting)
                cn.execute("DELETE FROM Workplace WHERE IdWorkplace = :W", {{"W", last}});
            else
                cn.execute("INSERT INTO Workplace (WrkpIdDepartment, WrkpName) VALUES (:D, 'Новый стол')",
                           {{"D", d}});
        };
        auto first = db->connect();
        first->execute("BEGIN");
        work(*first, deleteFirst);
        // The other workstation waits for the department's row; it goes on once the first commits.
        QString failed;
        std::thread other([&] {
            try {
                auto second = db->connect();
                second->execute("BEGIN");
                work(*second, !deleteFirst);
                second->execute("COMMIT");
            } catch (const AppError &e) {
                failed = e.message();
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        first->execute("COMMIT");
        other.join();
        EXPECT_EQ(failed, QString());
        const auto level = branch({}, 0);
        ASSERT_EQ(level.size(), size_t(1));
        EXPECT_TRUE(level[0].second);
        cn().execute("DELETE FROM Workplace");
    }
}

// Every way a client with the references switched off can leave a workplace or device without its
// owner (on SQLite the sqlite3 shell, whose references are off unless it is told otherwise; on
// PostgreSQL only with the constraints dropped): the first level of the tree shows exactly the
// loose rows LoadTree shows, each one as it comes, and none that has its owner again.
TEST_P(PlacementProcTest, RowsThatLostTheirOwnerAnyWayComeAtTheTopOfTheFirstLevel) {
    const QString shell = pg() ? QString() : QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (pg()) {
        cn().execute("ALTER TABLE Workplace DROP CONSTRAINT workplace_wrkpiddepartment_fkey");
        cn().execute("ALTER TABLE DeviceUnit DROP CONSTRAINT deviceunit_devcidworkplace_fkey");
    }
    // The statements, run by another client where there is one.
    const auto withoutReferences = [&](const QString &sql) {
        if (!shell.isEmpty()) {
            const ToolRun r =
                RunProgram(shell, {QStringLiteral("-bail"), DatabaseUrl::parse(db->url()).path, sql});
            ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
            return;
        }
        if (!pg())
            cn().execute("PRAGMA foreign_keys = OFF");
        for (const QString &statement : sql.split(u';', Qt::SkipEmptyParts))
            cn().execute(statement);
        if (!pg())
            cn().execute("PRAGMA foreign_keys = ON");
    };
    const auto looseRows = [](const std::vector<Node> &rows) {
        QStringList out;
        for (const Node &n : rows)
            if (n.kind != u"D" && n.higher.isNull())
                out << n.kind + n.caption;
        return out;
    };
    const auto firstLevel = [&] {
        std::vector<Node> rows;
        for (const auto &[n, more] : branch({}, 0))
            rows.push_back(n);
        return rows;
    };

    struct Case {
        const char *what;
        const char *sqlite, *pg; // %D, %W, %V: the case's department, workplace and device
        QStringList loose, kept; // kind and caption of rows that come at the top, and that do not
    };
    const Case cases[] = {
        {"a workplace written with a department that is not there",
         "INSERT INTO Workplace (WrkpIdDepartment, WrkpName) VALUES (990001, 'Стол без отдела')",
         nullptr,
         {"WСтол без отдела"},
         {"WСтол 0"}},
        {"a device written with a workplace that is not there",
         "INSERT INTO DeviceUnit (DevcIdWorkplace, DevcName) VALUES (990002, 'ПК без места')",
         nullptr,
         {"VПК без места"},
         {"VПК 1"}},
        {"a department deleted while a workplace points at it",
         "DELETE FROM Department WHERE IdDepartment = %D",
         nullptr,
         {"WСтол 2"},
         {"VПК 2"}},
        {"a workplace deleted while a device points at it",
         "DELETE FROM Workplace WHERE IdWorkplace = %W",
         nullptr,
         {"VПК 3"},
         {}},
        {"a workplace moved to a department that is not there",
         "UPDATE Workplace SET WrkpIdDepartment = 990004 WHERE IdWorkplace = %W",
         nullptr,
         {"WСтол 4"},
         {"VПК 4"}},
        {"a device moved to a workplace that is not there",
         "UPDATE DeviceUnit SET DevcIdWorkplace = 990005 WHERE IdDevice = %V",
         nullptr,
         {"VПК 5"},
         {}},
        {"a department given another key",
         "UPDATE Department SET IdDepartment = 990006 WHERE IdDepartment = %D",
         nullptr,
         {"WСтол 6"},
         {}},
        {"a workplace given another key",
         "UPDATE Workplace SET IdWorkplace = 990007 WHERE IdWorkplace = %W",
         nullptr,
         {"VПК 7"},
         {"WСтол 7"}},
        {"a department deleted and made again under its key",
         "DELETE FROM Department WHERE IdDepartment = %D; "
         "INSERT INTO Department (IdDepartment, DprtName) VALUES (%D, 'Отдел 8')",
         nullptr,
         {},
         {"WСтол 8"}},
        {"a workplace that lost its department and got one again",
         "UPDATE Workplace SET WrkpIdDepartment = 990009 WHERE IdWorkplace = %W; "
         "UPDATE Workplace SET WrkpIdDepartment = %D WHERE IdWorkplace = %W",
         nullptr,
         {},
         {"WСтол 9"}},
        {"a department written again over itself",
         "INSERT OR REPLACE INTO Department (IdDepartment, DprtName) VALUES (%D, 'Отдел 10')",
         "INSERT INTO Department (IdDepartment, DprtName) VALUES (%D, 'Отдел 10') "
         "ON CONFLICT (IdDepartment) DO UPDATE SET DprtName = EXCLUDED.DprtName",
         {},
         {"WСтол 10"}},
        {"a workplace deleted with its devices",
         "DELETE FROM DeviceUnit WHERE DevcIdWorkplace = %W; DELETE FROM Workplace WHERE IdWorkplace = %W",
         nullptr,
         {},
         {"VПК 11"}},
    };
    for (int i = 0; i < int(std::size(cases)); ++i) {
        const Case &c = cases[i];
        SCOPED_TRACE(c.what);
        const int d = dep(QStringLiteral("Отдел %1").arg(i));
        const int w = place(d, QStringLiteral("Стол %1").arg(i));
        const int v = device(w, QStringLiteral("ПК %1").arg(i));
        withoutReferences(QString::fromUtf8(pg() && c.pg ? c.pg : c.sqlite)
                              .replace("%D", QString::number(d))
                              .replace("%W", QString::number(w))
                              .replace("%V", QString::number(v)));
        if (HasFatalFailure())
            return;
        const QStringList loose = looseRows(firstLevel());
        EXPECT_EQ(loose, looseRows(tree())) << "as LoadTree shows them";
        for (const QString &row : c.loose)
            EXPECT_TRUE(loose.contains(row)) << row.toStdString();
        for (const QString &row : c.kept)
            EXPECT_FALSE(loose.contains(row)) << row.toStdString();
    }
    EXPECT_EQ(rowsText(treeByBranches()), rowsText(tree())) << "a branch at a time";
}

TEST_P(PlacementProcTest, TreePathNamesTheBranchesThatHoldANode) {
    const int top = dep("Верх");
    const int sub = dep("Низ", top);
    const int wp = place(sub, "Стол");
    const int pc = device(wp, "ПК");
    struct Case {
        const char *what;
        const char *kind;
        int id;
        QStringList path;
    };
    const Case cases[] = {
        {"a device", "V", pc, {QStringLiteral("D%1").arg(sub), QStringLiteral("W%1").arg(wp)}},
        {"a workplace", "W", wp, {QStringLiteral("D%1").arg(sub)}},
        {"a department comes with the first level", "D", sub, {}},
        {"a device that is not there", "V", pc + 1000, {}},
        {"a workplace that is not there", "W", wp + 1000, {}},
    };
    for (const Case &c : cases) {
        DataSet ds(&cn());
        ds.setCommand("TreePath;1", CommandType::StoredProc);
        ds.parameters()[1].value = QString::fromLatin1(c.kind);
        ds.parameters()[2].value = c.id;
        ds.open();
        QStringList path;
        for (ds.first(); !ds.eof(); ds.next())
            path << ds.value("Kind").toString().trimmed() + ds.value("ID").toString();
        EXPECT_EQ(path, c.path) << c.what;
    }
}

TEST_P(PlacementProcTest, DepartmentSiblingsComeByOrderThenNameThenKey) {
    struct Case {
        const char *what;
        std::vector<std::pair<QString, QVariant>> departments; // name and DprtOrder, in creation order
        QStringList expected;
    };
    const Case cases[] = {
        {"order first", {{"В", 1}, {"А", 3}, {"Б", 2}}, {"В", "Б", "А"}},
        {"equal orders: name, ignoring case", {{"б", 5}, {"А", 5}, {"В", 5}}, {"А", "б", "В"}},
        {"without an order: after the numbered ones", {{"А", {}}, {"Б", 7}, {"В", 8}}, {"Б", "В", "А"}},
        {"same order and name: by key", {{"Х", 1}, {"Х", 1}}, {"Х", "Х"}},
    };
    std::vector<int> parents;
    std::vector<std::vector<int>> keys;
    for (const Case &c : cases) {
        parents.push_back(dep(QString::fromUtf8(c.what)));
        keys.emplace_back();
        for (const auto &[name, order] : c.departments) {
            keys.back().push_back(dep(name, parents.back()));
            cn().execute("UPDATE Department SET DprtOrder = :O WHERE IdDepartment = :I",
                         {{"O", order}, {"I", keys.back().back()}});
        }
    }
    const std::vector<Node> rows = tree();
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(children(rows, "D", parents[i]), cases[i].expected) << cases[i].what;
    // The last case tells the two "Х" apart by key.
    std::vector<int> order;
    for (const Node &n : rows)
        if (n.kind == u"D" && !n.higher.isNull() && n.higher.toInt() == parents.back())
            order.push_back(n.id);
    EXPECT_EQ(order, keys.back());
}

TEST_P(PlacementProcTest, UnderADepartmentSubDepartmentsThenWorkplacesByOrderThenDevicesByName) {
    const int root = dep("Корень");
    const int w1 = place(root, "Стол 1");
    const int w2 = place(root, "Стол 2");
    const int w3 = place(root, "Стол 3");
    dep("Подотдел", root); // created after the workplaces
    cn().execute("UPDATE Workplace SET WrkpOrder = 2 WHERE IdWorkplace IN (:A, :B)", {{"A", w1}, {"B", w3}});
    cn().execute("UPDATE Workplace SET WrkpOrder = 1 WHERE IdWorkplace = :A", {{"A", w2}});
    for (const char *name : {"принтер", "Монитор", "ПК", "ПК", "монитор"})
        device(w2, QString::fromUtf8(name));

    const std::vector<Node> rows = tree();
    EXPECT_EQ(outline(rows), (QStringList{"Корень", "  Подотдел", "  Стол 2", "    Монитор", "    монитор",
                                          "    ПК", "    ПК", "    принтер", "  Стол 1", "  Стол 3"}));
    std::vector<int> pcs;
    for (const Node &n : rows)
        if (n.caption == u"ПК")
            pcs.push_back(n.id);
    ASSERT_EQ(pcs.size(), size_t(2));
    EXPECT_LT(pcs[0], pcs[1]) << "devices of the same name come by key";
}

TEST_P(PlacementProcTest, CaptionsAndImagesTellTheNodesApart) {
    const int pc = kind("D", "Компьютер", "ПК");
    const int printer = kind("D", "Принтер");
    const int d = dep("Бухгалтерия");
    const int w = place(d, "Стол главбуха", "123");
    const int w2 = place(d, "Стол кассира");
    const QString longName(50, u'н'), longDomain(50, u'D');
    struct Case {
        const char *what;
        QString kind;
        int id;
        QString caption;
        int image;
        QVariant higher;
    };
    const Case cases[] = {
        {"department", "D", d, "Бухгалтерия", 0, {}},
        {"workplace with a phone", "W", w, "Стол главбуха (тел. 123)", 1, d},
        {"workplace without a phone", "W", w2, "Стол кассира", 1, d},
        {"device: short kind name", "V", device(w, "Главбух", {{"DevcIdKind", pc}}), "ПК Главбух", 2, w},
        {"device: kind without a short name", "V", device(w, "HP 1020", {{"DevcIdKind", printer}}),
         "Принтер HP 1020", 2, w},
        {"device without a kind", "V", device(w, "Сканер"), "Сканер", 2, w},
        {"network device", "V", device(w, "Кассир", {{"DevcIdKind", pc}, {"Domain", "KASSA-01"}}),
         "ПК Кассир [KASSA-01]", 3, w},
        {"long caption cut to 100", "V", device(w2, longName, {{"DevcIdKind", pc}, {"Domain", longDomain}}),
         ("ПК " + longName + " [" + longDomain).left(100), 3, w2},
    };
    const std::vector<Node> rows = tree();
    for (const Case &c : cases) {
        const Node *n = find(rows, c.kind, c.id);
        ASSERT_TRUE(n) << c.what;
        EXPECT_EQ(n->caption, c.caption) << c.what;
        EXPECT_EQ(n->image, c.image) << c.what;
        EXPECT_EQ(n->higher.isNull(), c.higher.isNull()) << c.what;
        EXPECT_EQ(n->higher.toInt(), c.higher.toInt()) << c.what;
    }
}

// ---- GridCompleteSet ---------------------------------------------------------------------------

TEST_P(PlacementProcTest, CompleteSetListsOneTypeByKindOrderThenModel) {
    const int memory = kind("H", "Оперативная память ПК"); // 21 characters
    const int disk = kind("H", "Диск");
    const int cartridge = kind("M", "Картридж");
    const int os = kind("S", "ОС");
    const int w = place(dep("Отдел"), "Стол");
    const int pc = device(w, "ПК");
    const int other = device(w, "Другой");
    const int doc = insert("Document", {{"DocNumber", "7"}}).toInt();
    const int ssd = element(pc, model(disk, "SSD"), {{"NumberManufact", "SN1"}});
    const int m8 =
        element(pc, model(memory, "DDR4 8Gb"), {{"CmplNumber", "ОИТ-5"}, {"NumberManufact", "SN2"}});
    const int m16 = element(pc, model(memory, "DDR4 16Gb"));
    const int toner = element(pc, model(cartridge, "12A"));
    const int win = element(pc, model(os, "Windows"), {{"DocumentId", doc}, {"DocumentPosition", 4}});
    element(other, model(disk, "HDD"));

    struct Row {
        int id;
        QString kindText, model;
        QVariant number;
        QVariant document, position;
    };
    struct Case {
        const char *type;
        std::vector<Row> rows;
    };
    const Case cases[] = {
        {"H",
         {{m16, "Оперативная память П", "DDR4 16Gb", {}, {}, {}},
          {m8, "Оперативная память П", "DDR4 8Gb", "ОИТ-5", {}, {}},
          {ssd, "Диск", "SSD", "SN1", {}, {}}}},
        {"M", {{toner, "Картридж", "12A", {}, {}, {}}}},
        {"S", {{win, "ОС", "Windows", {}, doc, 4}}},
        {"D", {}},
    };
    DataSet ds(&cn());
    ds.setCommand("GridCompleteSet;1", CommandType::StoredProc);
    for (const Case &c : cases) {
        OpenWithParams(ds, {TypedValue::Int(pc), TypedValue::Text(c.type)});
        ASSERT_EQ(ds.recordCount(), int(c.rows.size())) << c.type;
        for (const Row &r : c.rows) {
            EXPECT_EQ(ds.value("ID").toInt(), r.id) << c.type;
            EXPECT_EQ(ds.value("Kind").toString(), r.kindText) << c.type;
            EXPECT_EQ(ds.value("Model").toString(), r.model) << c.type;
            EXPECT_EQ(ds.value("Number").toString(), r.number.toString()) << c.type;
            EXPECT_EQ(ds.value("Type").toString(), QString::fromLatin1(c.type));
            EXPECT_EQ(ds.value("Document").isNull(), r.document.isNull()) << c.type;
            EXPECT_EQ(ds.value("Document").toInt(), r.document.toInt()) << c.type;
            EXPECT_EQ(ds.value("DocumentPosition").toInt(), r.position.toInt()) << c.type;
            EXPECT_GT(ds.value("IDKind").toInt(), 0);
            EXPECT_GT(ds.value("IDModel").toInt(), 0);
            ds.next();
        }
    }
}

// ---- Deleting -----------------------------------------------------------------------------------

TEST_P(PlacementProcTest, DeletingRefusesANodeThatStillHoldsSomething) {
    const int full = dep("Склад");
    dep("Полка", full);
    const int office = dep("Офис");
    const int desk = place(office, "Стол");
    const int pc = device(desk, "ПК");
    element(pc, model(kind("H", "Диск"), "SSD"));

    struct Case {
        const char *proc, *table, *key;
        int id;
        QString message;
    };
    const Case cases[] = {
        {"DeleteDepartment;1", "Department", "IdDepartment", full,
         "Подразделение «Склад» содержит подразделения или рабочие места, удаление невозможно"},
        {"DeleteDepartment;1", "Department", "IdDepartment", office,
         "Подразделение «Офис» содержит подразделения или рабочие места, удаление невозможно"},
        {"DeleteWorkPlace;1", "Workplace", "IdWorkplace", desk,
         "Рабочее место «Стол» содержит устройства, удаление невозможно"},
        {"DeleteDeviceUnit;1", "DeviceUnit", "IdDevice", pc,
         "Устройство «ПК» содержит комплектующие, удаление невозможно"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(refusal(c.proc, {c.id}), c.message) << c.proc;
        EXPECT_EQ(
            scalar(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = :I").arg(c.table, c.key), {{"I", c.id}})
                .toInt(),
            1)
            << c.proc << " keeps the row";
    }
}

TEST_P(PlacementProcTest, DeletingSeesAChildAddedByAnotherConnection) {
    const int d = dep("Склад");
    const int w = place(dep("Офис"), "Стол");
    const int pc = device(w, "ПК");
    const int disk = model(kind("H", "Диск"), "SSD");
    ASSERT_EQ(tree().size(), size_t(4)); // this workstation has seen them all empty

    auto other = db->connect();
    other->execute("INSERT INTO Workplace (WrkpIdDepartment, WrkpName) VALUES (:D, 'Новый стол')",
                   {{"D", d}});
    other->execute("INSERT INTO CompleteSet (CmplIdDevice, CmplIdModel) VALUES (:V, :M)",
                   {{"V", pc}, {"M", disk}});

    EXPECT_EQ(refusal("DeleteDepartment;1", {d}),
              QStringLiteral(
                  "Подразделение «Склад» содержит подразделения или рабочие места, удаление невозможно"));
    EXPECT_EQ(refusal("DeleteDeviceUnit;1", {pc}),
              QStringLiteral("Устройство «ПК» содержит комплектующие, удаление невозможно"));
    EXPECT_EQ(scalar("SELECT count(*) FROM Department WHERE IdDepartment = :I", {{"I", d}}).toInt(), 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM DeviceUnit WHERE IdDevice = :I", {{"I", pc}}).toInt(), 1);
}

TEST_P(PlacementProcTest, DeletingEmptyNodesTakesWhatHangsOnThem) {
    const int top = dep("Склад");
    const int shelf = dep("Полка", top);
    const int desk = place(shelf, "Стол");
    const int pc = device(desk, "ПК");
    const int el = element(pc, model(kind("H", "Диск"), "SSD"));
    cn().execute("INSERT INTO ElementMove (IdComponent, Moving, Place) VALUES (:E, :T, 'Склад')",
                 {{"E", el}, {"T", QDateTime(QDate(2024, 1, 2), QTime(10, 0))}});
    const int user = insert("User", {{"Login", "ivanov"}}).toInt();
    insert("UseComputer", {{"Computer", pc}, {"User", user}});
    SetOsUserNameForTesting("ivanov");
    run("ExecFavorite;1", {1, QStringLiteral("W%1").arg(desk), "Стол"});
    run("ExecFavorite;1", {1, QStringLiteral("D%1").arg(top), "Склад"});

    struct Case {
        const char *proc;
        int id;
        const char *gone;  // count that must be 0 afterwards
        const char *stays; // count that must not change, if any
    };
    const Case cases[] = {
        {"DeleteCompleteSet;1", el, "SELECT count(*) FROM ElementMove", "SELECT count(*) FROM DeviceUnit"},
        {"DeleteDeviceUnit;1", pc, "SELECT count(*) FROM UseComputer", "SELECT count(*) FROM [User]"},
        {"DeleteWorkPlace;1", desk, "SELECT count(*) FROM Favorite WHERE KeyObject LIKE 'W%'",
         "SELECT count(*) FROM Favorite WHERE KeyObject LIKE 'D%'"},
        {"DeleteDepartment;1", shelf, "SELECT count(*) FROM Department WHERE DprtIdHigher IS NOT NULL",
         nullptr},
        {"DeleteDepartment;1", top, "SELECT count(*) FROM Favorite", "SELECT count(*) FROM Kind"},
    };
    for (const Case &c : cases) {
        const int before = c.stays ? scalar(c.stays).toInt() : 0;
        EXPECT_EQ(refusal(c.proc, {c.id}), QString()) << c.proc;
        EXPECT_EQ(scalar(c.gone).toInt(), 0) << c.proc;
        if (c.stays) {
            EXPECT_EQ(scalar(c.stays).toInt(), before) << c.proc;
        }
        EXPECT_EQ(refusal(c.proc, {c.id}), QString()) << c.proc << " of a key already gone does nothing";
    }
    EXPECT_TRUE(tree().empty());
}

// ---- MoveTree -----------------------------------------------------------------------------------

TEST_P(PlacementProcTest, MovingSwapsWithTheNeighbourAmongSiblings) {
    struct Case {
        const char *what;
        QVariantList orders; // of А, Б, В (created in that order)
        int moved;           // index into А, Б, В
        int dr;
        QStringList expected;
    };
    const Case cases[] = {
        {"middle up", {1, 2, 3}, 1, -1, {"Б", "А", "В"}},
        {"middle down", {1, 2, 3}, 1, 1, {"А", "В", "Б"}},
        {"first up stays", {1, 2, 3}, 0, -1, {"А", "Б", "В"}},
        {"last down stays", {1, 2, 3}, 2, 1, {"А", "Б", "В"}},
        {"equal orders move as shown", {5, 5, 5}, 2, -1, {"А", "В", "Б"}},
        {"no orders at all", {QVariant(), QVariant(), QVariant()}, 0, 1, {"Б", "А", "В"}},
        {"gaps and a missing order", {10, QVariant(), 3}, 1, -1, {"В", "Б", "А"}},
    };
    const QStringList names{"А", "Б", "В"};
    for (const char *k : {"D", "W"}) {
        const QString nodeKind = QString::fromLatin1(k);
        const QString table = nodeKind == u"D" ? "Department" : "Workplace";
        const QString key = nodeKind == u"D" ? "IdDepartment" : "IdWorkplace";
        const QString order = nodeKind == u"D" ? "DprtOrder" : "WrkpOrder";
        for (const Case &c : cases) {
            const int parent = dep(QStringLiteral("%1 %2").arg(k, c.what));
            const int bystander = dep("Сосед", dep("Другой родитель"));
            std::vector<int> ids;
            for (int i = 0; i < 3; ++i) {
                ids.push_back(nodeKind == u"D" ? dep(names[i], parent) : place(parent, names[i]));
                cn().execute(QStringLiteral("UPDATE %1 SET %2 = :O WHERE %3 = :I").arg(table, order, key),
                             {{"O", c.orders[i]}, {"I", ids.back()}});
            }
            EXPECT_EQ(refusal("MoveTree;1", {nodeKind, ids[size_t(c.moved)], c.dr}), QString())
                << k << ' ' << c.what;
            EXPECT_EQ(children(tree(), nodeKind, parent), c.expected) << k << ' ' << c.what;
            EXPECT_EQ(scalar("SELECT DprtOrder FROM Department WHERE IdDepartment = :I", {{"I", bystander}})
                          .toInt(),
                      1)
                << "a node of another parent is not renumbered";
        }
    }
    EXPECT_EQ(refusal("MoveTree;1", {"D", 999999, -1}), QString()) << "a key that is gone moves nothing";
    EXPECT_EQ(refusal("MoveTree;1", {"V", 1, -1}), QString()) << "devices keep no order";
}

// ---- Cloning ------------------------------------------------------------------------------------

TEST_P(PlacementProcTest, CloningCopiesTheDeviceAndItsSetButNotWhatIdentifiesTheItem) {
    const int pcKind = kind("D", "Компьютер", "ПК");
    const int diskKind = kind("H", "Диск");
    const int w = place(dep("Бухгалтерия"), "Стол");
    const int src = device(w, "Главбух",
                           {{"DevcIdKind", pcKind},
                            {"DevcPrinting", true},
                            {"DevcDescription", "под столом"},
                            {"Used", 2},
                            {"Domain", "BUH-01"},
                            {"Depreciation", "акт 5"},
                            {"DevcNumber", "ИНВ-1"},
                            {"Prevention", QDateTime(QDate(2023, 5, 6), QTime(7, 8, 9))},
                            {"PreventionExpress", true},
                            {"PreventionNeed", false},
                            {"OnLine", true}});
    const int doc = insert("Document", {{"DocNumber", "12"}}).toInt();
    const int disk = model(diskKind, "SSD");
    const int full = element(src, disk,
                             {{"CmplDateSet", QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5))},
                              {"CmplNumber", "ОИТ-1"},
                              {"NumberManufact", "SN-1"},
                              {"DateManufact", QDateTime(QDate(2019, 12, 1), QTime())},
                              {"NumberSeller", "S-1"},
                              {"DateSeller", QDateTime(QDate(2019, 12, 20), QTime())},
                              {"Warranty", 36},
                              {"DocumentId", doc},
                              {"DocumentPosition", 3},
                              {"Price", "1234.5600"},
                              {"ModelKind", diskKind}});
    element(src, disk);
    element(device(w, "Чужой"), disk);
    insert("UseComputer", {{"Computer", src}, {"User", insert("User", {{"Login", "ivanov"}})}});

    run("CloneDevice;1", {src});
    const int copy = scalar("SELECT max(IdDevice) FROM DeviceUnit").toInt();
    ASSERT_GT(copy, src);

    // Columns compared between the source and the copy; the others must be empty in the copy.
    struct Case {
        const char *table, *key, *owner;
        QStringList copied, notCopied;
    };
    const Case cases[] = {
        {"DeviceUnit",
         "IdDevice",
         "IdDevice",
         {"DevcIdWorkplace", "DevcName", "DevcPrinting", "DevcDescription", "Used", "DevcIdKind",
          "Prevention", "PreventionExpress", "PreventionNeed"},
         {"Domain", "DevcNumber", "Depreciation", "OnLine"}},
        {"CompleteSet",
         "IdComponent",
         "CmplIdDevice",
         {"CmplDateSet", "CmplIdModel", "DateManufact", "DateSeller", "Warranty", "DocumentId",
          "DocumentPosition", "Price", "ModelKind"},
         {"CmplNumber", "NumberManufact", "NumberSeller"}},
    };
    for (const Case &c : cases) {
        const QString sql =
            QStringLiteral("SELECT * FROM %1 WHERE %2 = :D ORDER BY %3").arg(c.table, c.owner, c.key);
        const ResultSet a = cn().query(sql, {{"D", src}}), b = cn().query(sql, {{"D", copy}});
        ASSERT_EQ(b.rows.size(), a.rows.size()) << c.table;
        for (size_t r = 0; r < a.rows.size(); ++r) {
            for (const QString &col : c.copied)
                EXPECT_EQ(b.value(r, col), a.value(r, col)) << c.table << '.' << col.toStdString();
            for (const QString &col : c.notCopied)
                EXPECT_TRUE(b.value(r, col).isNull()) << c.table << '.' << col.toStdString();
        }
    }
    EXPECT_EQ(scalar("SELECT count(*) FROM UseComputer WHERE Computer = :D", {{"D", copy}}).toInt(), 0);
    const std::vector<Node> rows = tree();
    EXPECT_EQ(children(rows, "V", w), (QStringList{"ПК Главбух [BUH-01]", "ПК Главбух", "Чужой"}))
        << "the copy comes right after its source";

    // One element copied within its device, by the same rule.
    run("CloneComponents;1", {full});
    const int elementCopy = scalar("SELECT max(IdComponent) FROM CompleteSet").toInt();
    const ResultSet e =
        cn().query("SELECT * FROM CompleteSet WHERE IdComponent IN (:A, :B) ORDER BY IdComponent",
                   {{"A", full}, {"B", elementCopy}});
    ASSERT_EQ(e.rows.size(), size_t(2));
    EXPECT_EQ(e.value(1, "CmplIdDevice").toInt(), src);
    for (const QString &col : cases[1].copied)
        EXPECT_EQ(e.value(1, col), e.value(0, col)) << col.toStdString();
    for (const QString &col : cases[1].notCopied)
        EXPECT_TRUE(e.value(1, col).isNull()) << col.toStdString();

    struct Refused {
        const char *proc;
        QVariant id;
        QString message;
    };
    const Refused refused[] = {
        {"CloneDevice;1", 999999,
         "Устройство для клонирования не найдено: возможно, его удалил другой пользователь"},
        {"CloneDevice;1", {}, "Не указано значение параметра @ID процедуры CloneDevice"},
        {"CloneComponents;1", 999999,
         "Комплектующее для клонирования не найдено: возможно, его удалил другой пользователь"},
    };
    for (const Refused &r : refused)
        EXPECT_EQ(refusal(r.proc, {r.id}), r.message) << r.proc;
}

// ---- Bookmarks --------------------------------------------------------------------------------

TEST_P(PlacementProcTest, BookmarksAreKeptPerUserNewestFirst) {
    struct Step {
        const char *what;
        const char *user;
        int op;
        const char *key, *name;
        QStringList expected; // the user's list afterwards, "key name", newest first
    };
    const Step steps[] = {
        {"add", "ivanov", 1, "V1", "ПК", {"V1 ПК"}},
        {"add another", "ivanov", 1, "W2", "Стол", {"W2 Стол", "V1 ПК"}},
        {"add again: one row, new text, on top", "ivanov", 1, "V1", "ПК новый", {"V1 ПК новый", "W2 Стол"}},
        {"call: on top, text kept", "ivanov", 2, "W2", "мусор", {"W2 Стол", "V1 ПК новый"}},
        {"call of a node not bookmarked", "ivanov", 2, "D9", "мусор", {"W2 Стол", "V1 ПК новый"}},
        {"another user starts empty", "petrov", 1, "D1", "Склад", {"D1 Склад"}},
        {"the first user's list is his own", "ivanov", 2, "D1", "", {"W2 Стол", "V1 ПК новый"}},
        {"delete, text ignored", "ivanov", 3, "V1", "мусор", {"W2 Стол"}},
        {"the other user's list is untouched", "petrov", 3, "V1", "", {"D1 Склад"}},
    };
    DataSet grid(&cn());
    grid.setCommand("GridFavorite;1", CommandType::StoredProc);
    for (const Step &s : steps) {
        SetOsUserNameForTesting(QString::fromLatin1(s.user));
        run("ExecFavorite;1", {s.op, s.key, QString::fromUtf8(s.name)});
        OpenWithParams(grid);
        QStringList got;
        for (grid.first(); !grid.eof(); grid.next())
            got << grid.value("KeyObject").toString() + u' ' + grid.value("Name").toString();
        EXPECT_EQ(got, s.expected) << s.what;
    }

    const QString longName(80, u'ж');
    run("ExecFavorite;1", {1, "V77", longName});
    OpenWithParams(grid);
    EXPECT_EQ(grid.value("Name").toString(), longName.left(50));
    EXPECT_EQ(refusal("ExecFavorite;1", {7, "V1", QVariant()}),
              QStringLiteral("Неизвестная операция с закладками (7)"));
    // A name longer than the stored width is refused, not cut.
    EXPECT_EQ(refusal("ExecFavorite;1", {1, "V78", QString(101, u'ж')}),
              QStringLiteral("Имя закладки длиннее 100 символов"));
}

TEST(OsUser, NameComesFromTheEnvironment) {
    const QByteArray user = qgetenv("USER"), logname = qgetenv("LOGNAME");
    const bool hadUser = qEnvironmentVariableIsSet("USER"), hadLogname = qEnvironmentVariableIsSet("LOGNAME");
    struct Case {
        const char *user, *logname, *expected;
    };
    const Case cases[] = {{"anna", "boris", "anna"},
                          {nullptr, "boris", "boris"},
                          {"", "boris", "boris"},
                          {nullptr, nullptr, "user"}};
    SetOsUserNameForTesting({});
    for (const Case &c : cases) {
        c.user ? qputenv("USER", c.user) : qunsetenv("USER");
        c.logname ? qputenv("LOGNAME", c.logname) : qunsetenv("LOGNAME");
        EXPECT_EQ(OsUserName(), QString::fromLatin1(c.expected));
    }
    SetOsUserNameForTesting("tester");
    EXPECT_EQ(OsUserName(), QStringLiteral("tester"));
    SetOsUserNameForTesting({});
    hadUser ? qputenv("USER", user) : qunsetenv("USER");
    hadLogname ? qputenv("LOGNAME", logname) : qunsetenv("LOGNAME");
}

VELMORA_BOTH_ENGINES(PlacementProcTest);

} // namespace
