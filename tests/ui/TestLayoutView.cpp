// The placement view over a real database: loading and selecting the tree, the bookmarks, the
// complete set of the selected device, and the lookup and chain modules it relies on.
#include "AppTest.h"
#include "TestDatabase.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalDialog.h"
#include "data/dmTessalData.h"
#include "model/dmChainData.h"
#include "model/dmLookUpData.h"
#include "placement/fmLayout.h"
#include "server/OsUser.h"
#include "ui/Actions.h"
#include "ui/DataGrid.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <memory>

namespace {

// Acts as the OS user "tester"; the modal seam is left as it is.
class LayoutViewTest : public AppTest {
protected:
    LayoutViewTest() : AppTest({.modal = false}) {}
    void SetUp() override {
        SetOsUserNameForTesting(QStringLiteral("tester"));
        AppTest::SetUp();
    }
    void TearDown() override {
        view.reset();
        AppTest::TearDown();
        SetOsUserNameForTesting(QString());
    }
    TLayoutMainFM &open() {
        view = std::make_unique<TLayoutMainFM>();
        return *view;
    }
    int favorites() { return cn().scalar("select count(*) from Favorite").toInt(); }
    QString favoriteKey() { return view->taFavorite->value("KeyObject").toString(); }

    // A small organisation: department 1 with a sub-department and a workplace with two devices.
    void fill() {
        dep = insert("Department", {{"DprtName", "Управление"}});
        sub = insert("Department", {{"DprtName", "Бухгалтерия"}, {"DprtIdHigher", dep}});
        wp = insert("Workplace", {{"WrkpIdDepartment", sub}, {"WrkpName", "Кассир"}});
        kindH = insert("Kind", {{"KindType", "H"}, {"KindName", "Диск"}});
        kindM = insert("Kind", {{"KindType", "M"}, {"KindName", "Картридж"}});
        modelH = insert("Model", {{"ModlKind", kindH}, {"ModlName", "WD Blue"}});
        modelM = insert("Model", {{"ModlKind", kindM}, {"ModlName", "HP 12A"}});
        pc = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "ПК"}});
        printer = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "Принтер"}});
        insert("CompleteSet",
               {{"IdComponent", 10}, {"CmplIdDevice", pc}, {"CmplIdModel", modelH}, {"ModelKind", kindH}});
        insert(
            "CompleteSet",
            {{"IdComponent", 255}, {"CmplIdDevice", printer}, {"CmplIdModel", modelM}, {"ModelKind", kindM}});
        insert("CompleteSet", {{"IdComponent", 65536},
                               {"CmplIdDevice", printer},
                               {"CmplIdModel", modelH},
                               {"ModelKind", kindH}});
    }

    std::unique_ptr<TLayoutMainFM> view;
    int dep = 0, sub = 0, wp = 0, kindH = 0, kindM = 0, modelH = 0, modelM = 0, pc = 0, printer = 0;
};

TEST_F(LayoutViewTest, AnEmptyDatabaseLoadsAgainOnEveryRequest) {
    TLayoutMainFM &v = open();
    EXPECT_EQ(v.SelectedKind(), QString());
    EXPECT_EQ(v.treeModel->nodeCount(), 0);
    insert("Department", {{"DprtName", "Новый"}});
    EXPECT_EQ(v.SelectedKind(), QString()) << "this request loads the tree and picks the start node";
    EXPECT_EQ(v.treeModel->nodeCount(), 1);
    EXPECT_EQ(v.SelectedKind(), QStringLiteral("D"));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(LayoutViewTest, StartsOnTheCurrentBookmarkOrOnTheFirstNode) {
    fill();
    insert("Favorite", {{"OsUser", "tester"},
                        {"KeyObject", QStringLiteral("W%1").arg(wp)},
                        {"Name", "Кассир"},
                        {"Stamp", 5}});
    {
        TLayoutMainFM &v = open();
        v.SelectedKind();
        EXPECT_EQ(v.SelectedKind(), QStringLiteral("W"));
        EXPECT_EQ(v.SelectedId(), wp);
        EXPECT_EQ(v.SelectedHigher(), sub);
    }
    cn().execute("delete from Favorite");
    insert("Favorite", {{"OsUser", "tester"}, {"KeyObject", "V999"}, {"Name", "Пропавший"}, {"Stamp", 9}});
    TLayoutMainFM &v = open();
    v.SelectedKind();
    EXPECT_EQ(v.SelectedKind(), QStringLiteral("D"))
        << "a bookmark whose node is gone starts on the first node";
    EXPECT_EQ(v.SelectedId(), dep);
}

TEST_F(LayoutViewTest, SelectingADeviceShowsItsEquipmentAndAddsABookmark) {
    fill();
    TLayoutMainFM &v = open();
    v.SelectedKind();
    v.FindNode("V", printer);
    EXPECT_EQ(v.setType(), QStringLiteral("H"));
    EXPECT_TRUE(v.acSetH->isChecked());
    ASSERT_TRUE(v.taSet->isActive());
    ASSERT_EQ(v.taSet->recordCount(), 1);
    EXPECT_EQ(v.taSet->value("HEXCode").toString(), QStringLiteral("10000"));
    v.ShowSetType("M");
    EXPECT_TRUE(v.acSetM->isChecked());
    EXPECT_EQ(v.taSet->value("HEXCode").toString(), QStringLiteral("00FF"));
    EXPECT_EQ(cn().scalar("select count(*) from Favorite where KeyObject = :K",
                          {{"K", QStringLiteral("V%1").arg(printer)}})
                  .toInt(),
              1);
    EXPECT_EQ(favoriteKey(), QStringLiteral("V%1").arg(printer))
        << "the list's highlight follows the selected node";

    v.FindNode("V", pc);
    EXPECT_EQ(v.setType(), QStringLiteral("H")) << "another device starts on the equipment again";
    EXPECT_EQ(v.taSet->value("HEXCode").toString(), QStringLiteral("000A"));
    v.actions->updateAll();
    EXPECT_TRUE(v.acSetClone->isEnabled());
    EXPECT_TRUE(v.acSetDelete->isEnabled());

    v.FindNode("W", wp);
    EXPECT_FALSE(v.taSet->isActive()) << "a workplace closes the set grid";
    v.actions->updateAll();
    for (Action *a : {v.acSetH, v.acSetM, v.acSetS, v.acSetClone, v.acSetDelete, v.acSetEdit, v.acSetMove})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
}

TEST_F(LayoutViewTest, SelectionAddsBookmarksOnlyWhileThereAreFewerThanTwenty) {
    fill();
    for (int i = 0; i < 19; ++i)
        insert("Favorite", {{"OsUser", "tester"},
                            {"KeyObject", QStringLiteral("D%1").arg(1000 + i)},
                            {"Name", "x"},
                            {"Stamp", i}});
    TLayoutMainFM &v = open();
    v.SelectedKind(); // the first node is selected and bookmarked: 20 now
    EXPECT_EQ(favorites(), 20);
    v.FindNode("V", pc);
    EXPECT_EQ(favorites(), 20) << "with 20 bookmarks a selection adds none";
    v.acAddToFavorite->trigger();
    EXPECT_EQ(favorites(), 21) << "the command still adds";
}

TEST_F(LayoutViewTest, ReloadKeepsTheSelectionAndCommandsChangeTheTree) {
    fill();
    TLayoutMainFM &v = open();
    v.SelectedKind();
    v.FindNode("V", pc);
    cn().execute("update DeviceUnit set DevcName = 'Новое имя' where IdDevice = :D", {{"D", pc}});
    v.ReloadTree();
    EXPECT_EQ(v.SelectedKind(), QStringLiteral("V"));
    EXPECT_EQ(v.SelectedId(), pc);
    EXPECT_TRUE(v.SelectedCaption().contains(QStringLiteral("Новое имя")));

    // Deleting a device that still holds components is refused with the type of its first one.
    answer = true;
    boxes.clear();
    v.acDelete->trigger();
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[1].title, QStringLiteral("Ошибка"));
    EXPECT_TRUE(
        boxes[1].text.startsWith(QStringLiteral("Сначала нужно удалить Оборудование\rкомпонента \"")));
    EXPECT_EQ(cn().scalar("select count(*) from DeviceUnit").toInt(), 2);

    // Cloning keeps the source selected.
    v.acDevClone->trigger();
    EXPECT_EQ(cn().scalar("select count(*) from DeviceUnit").toInt(), 3);
    EXPECT_EQ(v.SelectedId(), pc);
}

TEST_F(LayoutViewTest, FindAnyPutsTheGridOnAComponent) {
    fill();
    TLayoutMainFM &v = open();
    v.SelectedKind();
    v.FindAny("M", 255);
    EXPECT_EQ(v.SelectedKind(), QStringLiteral("V"));
    EXPECT_EQ(v.SelectedId(), printer);
    EXPECT_EQ(v.setType(), QStringLiteral("M"));
    EXPECT_TRUE(v.acSetM->isChecked());
    EXPECT_EQ(v.taSet->value("ID").toInt(), 255);
    v.FindAny("D", sub);
    EXPECT_EQ(v.SelectedKind(), QStringLiteral("D"));
    EXPECT_EQ(v.SelectedId(), sub);
    v.FindNode("V", 4242);
    EXPECT_EQ(v.SelectedId(), sub) << "a node that is not in the tree leaves the selection alone";
}

TEST_F(LayoutViewTest, DeletingBookmarks) {
    fill();
    TLayoutMainFM &v = open();
    v.SelectedKind(); // bookmarks the first node
    v.FindNode("W", wp);
    ASSERT_EQ(v.taFavorite->recordCount(), 2);
    v.taFavorite->first();
    const QString second =
        v.taFavorite->valueAt(1, v.taFavorite->fieldByName("KeyObject")->index()).toString();
    v.caFavoriteDelete->trigger();
    EXPECT_EQ(v.taFavorite->recordCount(), 1);
    EXPECT_EQ(favoriteKey(), second) << "deleting the first bookmark leaves the list on the first row";
    v.caFavoriteDelete->trigger();
    EXPECT_EQ(v.taFavorite->recordCount(), 0);
    v.actions->updateAll();
    EXPECT_FALSE(v.acCall->isEnabled());
    EXPECT_FALSE(v.caFavoriteDelete->isEnabled());
    v.FindNode("V", pc);
    emit v.grFavorite->rowDoubleClicked(); // an empty list's double click goes to the first node
    EXPECT_EQ(v.SelectedId(), dep);
}

TEST_F(LayoutViewTest, ChainAndLookupProperties) {
    fill();
    struct Case {
        int kind;
        int expectKind;
        const char *type;
    };
    const Case kinds[] = {{kindM, kindM, "M"}, {-1, 0, "D"}, {30000, 0, "D"}};
    for (const Case &c : kinds) {
        chain->setKind(c.kind);
        EXPECT_EQ(chain->Kind(), c.expectKind);
        EXPECT_EQ(chain->KindType(), QString::fromLatin1(c.type));
    }
    chain->setComponent(255);
    EXPECT_EQ(chain->Device(), printer);
    EXPECT_EQ(chain->Model(), modelM);
    EXPECT_EQ(chain->KindType(), QStringLiteral("M"));
    chain->setDevice(-1);
    EXPECT_EQ(chain->Workplace(), 0);
    EXPECT_EQ(chain->Department(), 0);
    chain->setDevice(pc);
    EXPECT_EQ(chain->Workplace(), wp);
    EXPECT_EQ(chain->Department(), sub);
    chain->setModel(9999);
    EXPECT_EQ(chain->Model(), 0) << "the argument is stored first and then overwritten from the row";

    lookup->SetKindType("H");
    EXPECT_EQ(lookup->taKind->recordCount(), 1);
    lookup->SetWorkplace(sub);
    EXPECT_EQ(lookup->taWork->value("Name").toString(), QStringLiteral("Кассир"));
    lookup->SetKind(kindM);
    EXPECT_EQ(lookup->taModel->value("Name").toString(), QStringLiteral("HP 12A"));
}

TEST_F(LayoutViewTest, TreeCommandsKeepOrMoveTheSelection) {
    fill();
    TLayoutMainFM &v = open();
    // Dialogs stand in as plain inserts: each "saves" a new row under the parent it was given.
    v.runDepartmentEdit = [this](int dprt, int higher, int *key) {
        if (dprt != -1)
            return true;
        *key = insert("Department", {{"DprtName", "Новый отдел"}, {"DprtIdHigher", higher}});
        return true;
    };
    v.runWorkplaceEdit = [this](int work, int dprt, int *key) {
        if (work != -1)
            return true;
        *key = insert("Workplace", {{"WrkpIdDepartment", dprt}, {"WrkpName", "Новое место"}});
        return true;
    };
    int deviceParent = 0;
    v.runDeviceEdit = [&](int device, int place) {
        if (device == -1) {
            deviceParent = place;
            insert("DeviceUnit", {{"DevcIdWorkplace", place}, {"DevcName", "Новое устройство"}});
        }
        return true;
    };
    v.SelectedKind();

    v.FindNode("W", wp);
    v.actions->updateAll();
    EXPECT_FALSE(v.acAddDprt->isEnabled());
    ASSERT_TRUE(v.acAddPlace->isEnabled());
    v.acAddPlace->trigger();
    EXPECT_EQ(v.SelectedKind(), QStringLiteral("W"));
    EXPECT_EQ(v.SelectedHigher(), sub) << "a workplace added beside a workplace goes to the same department";
    const int newWp = v.SelectedId();
    EXPECT_NE(newWp, wp);

    v.FindNode("V", pc);
    v.actions->updateAll();
    v.acAddDevice->trigger();
    EXPECT_EQ(deviceParent, wp);
    EXPECT_EQ(v.SelectedKind(), QStringLiteral("V"));
    EXPECT_EQ(v.SelectedId(), cn().scalar("select max(IdDevice) from DeviceUnit").toInt())
        << "the new device is shown and selected at once";
    EXPECT_EQ(v.SelectedHigher(), wp);

    v.FindNode("D", sub);
    v.actions->updateAll();
    v.acAddDprt->trigger();
    EXPECT_EQ(v.SelectedKind(), QStringLiteral("D"));
    EXPECT_EQ(v.SelectedHigher(), sub);

    // An empty department: delete asks with its name, then selects the parent.
    const int empty = v.SelectedId();
    v.actions->updateAll();
    ASSERT_TRUE(v.acDelete->isEnabled());
    boxes.clear();
    answer = false;
    v.acDelete->trigger();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].text,
              QStringLiteral("Вы действительно хотите удалить подразделение\r\"Новый отдел\"?"));
    EXPECT_EQ(v.SelectedId(), empty) << "Cancel changes nothing";
    answer = true;
    v.acDelete->trigger();
    EXPECT_EQ(v.SelectedKind(), QStringLiteral("D"));
    EXPECT_EQ(v.SelectedId(), sub);
    EXPECT_EQ(cn().scalar("select count(*) from Department where IdDepartment = :D", {{"D", empty}}).toInt(),
              0);

    // A node with children cannot be deleted; the hint and the status tip say why, and go back to
    // the plain hint on a node that can.
    const struct {
        const char *kind;
        int id;
        bool enabled;
        const char *reason;
    } deletable[] = {
        {"D", dep, false, "пока в нём есть рабочие места или подразделения"},
        {"W", wp, false, "пока на нём есть устройства"},
        {"V", pc, true, nullptr},
    };
    for (const auto &c : deletable) {
        v.FindNode(c.kind, c.id);
        v.actions->updateAll();
        EXPECT_EQ(v.acDelete->isEnabled(), c.enabled) << c.kind;
        if (c.reason) {
            EXPECT_TRUE(v.acDelete->toolTip().contains(QString::fromUtf8(c.reason)))
                << v.acDelete->toolTip().toStdString();
            EXPECT_TRUE(v.acDelete->statusTip().contains(QString::fromUtf8(c.reason)));
        } else {
            EXPECT_EQ(v.acDelete->toolTip(), QStringLiteral("Удаление"));
        }
    }

    // Moving keeps the node selected.
    v.FindNode("W", newWp);
    v.actions->updateAll();
    v.acUp->trigger();
    EXPECT_EQ(v.SelectedId(), newWp);
    EXPECT_EQ(v.treeModel->caption(v.tvPlace->currentIndex().siblingAtRow(0)), v.SelectedCaption())
        << "the moved workplace is now the first among the department's workplaces";
}

TEST_F(LayoutViewTest, DeviceWithComponentsIsRefusedNamingTheTypeOfTheFirstOne) {
    fill();
    struct Case {
        const char *type;
        const char *word;
    };
    const Case cases[] = {{"S", "Программы"}, {"M", "Материалы"}, {"H", "Оборудование"}};
    TLayoutMainFM &v = open();
    v.SelectedKind();
    for (const Case &c : cases) {
        const int kind = insert("Kind", {{"KindType", c.type}, {"KindName", "вид"}});
        const int model = insert("Model", {{"ModlKind", kind}, {"ModlName", "модель"}});
        const int device = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "Устройство"}});
        insert("CompleteSet", {{"CmplIdDevice", device}, {"CmplIdModel", model}});
        v.ReloadTree();
        v.FindNode("V", device);
        v.actions->updateAll();
        boxes.clear();
        v.acDelete->trigger();
        ASSERT_EQ(boxes.size(), 2);
        EXPECT_TRUE(boxes[1].text.startsWith(QStringLiteral("Сначала нужно удалить ") +
                                             QString::fromUtf8(c.word) + QStringLiteral("\rкомпонента \"")))
            << boxes[1].text.toStdString();
        EXPECT_EQ(v.SelectedId(), device);
    }
}

TEST_F(LayoutViewTest, TheFirstDepartmentCanBeAddedToAnEmptyTree) {
    TLayoutMainFM &v = open();
    int parent = -5;
    v.runDepartmentEdit = [&](int dprt, int higher, int *key) {
        parent = higher;
        *key = insert("Department", {{"DprtName", "Первый отдел"}});
        return dprt == -1;
    };
    v.actions->updateAll();
    EXPECT_FALSE(v.acAddDprt->isEnabled()) << "a tree not loaded yet is not known to be empty";
    auto *note = v.tvPlace->viewport()->findChild<QLabel *>("lbEmptyNote");
    ASSERT_TRUE(note);
    EXPECT_TRUE(note->isHidden()) << "nothing said before the tree is read";
    v.SelectedKind();
    QCoreApplication::processEvents();
    EXPECT_FALSE(note->isHidden()) << "an empty tree says where to start";
    EXPECT_TRUE(note->text().contains(QStringLiteral("«Подразделение»")));
    v.actions->updateAll();
    ASSERT_TRUE(v.acAddDprt->isEnabled());
    EXPECT_FALSE(v.acAddPlace->isEnabled());
    v.acAddDprt->trigger();
    EXPECT_EQ(parent, 0) << "a department at the top level";
    EXPECT_EQ(v.SelectedKind(), QStringLiteral("D"));
    EXPECT_EQ(v.SelectedCaption(), QStringLiteral("Первый отдел"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(note->isHidden()) << "a tree with a department says nothing";
}

TEST_F(LayoutViewTest, EnablingRulesNeverLoadTheTreeTheFirstShowDoes) {
    fill();
    TLayoutMainFM &v = open();
    v.runDepartmentEdit = [](int, int, int *) { return false; };
    int loads = 0;
    QObject::connect(v.treeModel, &QAbstractItemModel::modelReset, [&] { ++loads; });
    for (int i = 0; i < 3; ++i)
        v.actions->updateAll();
    EXPECT_EQ(loads, 0) << "a rule asked the database";
    EXPECT_EQ(v.treeModel->nodeCount(), 0);
    EXPECT_FALSE(v.acAddDprt->isEnabled()) << "an unknown tree is not an empty one";

    v.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(v.SelectedKind(), QStringLiteral("D"));
    EXPECT_EQ(v.SelectedId(), dep);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(LayoutViewTest, AFailingLoadIsShownOnceAndOffersNoFirstDepartment) {
    fill();
    TLayoutMainFM &v = open();
    v.runDepartmentEdit = [](int, int, int *) { return false; };
    cn().close(); // every statement fails from here on
    v.show();
    QCoreApplication::processEvents();
    for (int i = 0; i < 3; ++i) {
        v.actions->updateAll();
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].kind, MessageKind::Exception);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Velmora"));
    EXPECT_FALSE(v.acAddDprt->isEnabled()) << "the tree is not known to be empty";

    // The refresh button tries again.
    cn().open(url());
    v.actions->updateAll();
    v.acRefresh->trigger();
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_EQ(v.SelectedKind(), QStringLiteral("D"));
    EXPECT_EQ(v.treeModel->nodeCount(), 2) << "the departments; their branches come when opened";
    EXPECT_TRUE(v.treeModel->find("V", printer).isValid());
    EXPECT_EQ(v.treeModel->nodeCount(), 5);
}

TEST_F(LayoutViewTest, DeletingANodeTakesItOutAndSelectsTheNodeBefore) {
    fill();
    const int store = insert("Department", {{"DprtName", "Склад"}});
    const int archive = insert("Department", {{"DprtName", "Архив"}});
    const int emptyWp = insert("Workplace", {{"WrkpIdDepartment", sub}, {"WrkpName", "Пустое место"}});
    const int bare = insert("DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "Сканер"}});
    TLayoutMainFM &v = open();
    v.SelectedKind();
    int loads = 0;
    QObject::connect(v.treeModel, &QAbstractItemModel::modelReset, [&] { ++loads; });
    auto bookmarks = [this](const QString &except) {
        QStringList rows;
        for (const auto &row :
             cn().query("select KeyObject, Stamp from Favorite where KeyObject <> :K order by KeyObject",
                        {{"K", except}})
                 .rows)
            rows << row[0].toString() + u'=' + row[1].toString();
        return rows;
    };
    answer = true;
    struct Case {
        const char *name;
        QString kind;
        int id;
        QString afterKind;
        int afterId;
    } cases[] = {
        {"a device: its workplace", "V", bare, "W", wp},
        {"a workplace: its department", "W", emptyWp, "D", sub},
        {"the last top node: the one before", "D", archive, "D", store},
        // The node before in tree order is the last one of the previous branch, open or not.
        {"a top node after a branch", "D", store, "V", printer},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        v.FindNode(c.kind, c.id);
        ASSERT_EQ(v.SelectedId(), c.id);
        v.tvPlace->collapseAll();
        const QString key = c.kind + QString::number(c.id);
        const QStringList before = bookmarks(key);
        const int nodes = v.treeModel->nodeCount();
        v.actions->updateAll();
        ASSERT_TRUE(v.acDelete->isEnabled());
        v.acDelete->trigger();
        EXPECT_EQ(loads, 0) << "the tree was reloaded";
        EXPECT_EQ(v.treeModel->nodeCount(), nodes - 1);
        EXPECT_FALSE(v.treeModel->find(c.kind, c.id).isValid());
        EXPECT_EQ(v.SelectedKind(), c.afterKind);
        EXPECT_EQ(v.SelectedId(), c.afterId);
        EXPECT_EQ(bookmarks(key), before) << "a bookmark was added or called";
        EXPECT_EQ(v.taSet->isActive(), c.afterKind == u"V");
    }
}

TEST_F(LayoutViewTest, BranchesLoadWhenOpenedOrLookedFor) {
    // Deep and wide: a chain of departments under the first one with a workplace at the bottom,
    // a department with many workplaces, one of them with many devices, and a last top
    // department after it.
    fill();
    int bottom = sub;
    for (int i = 0; i < 15; ++i)
        bottom = insert("Department", {{"DprtName", QStringLiteral("Уровень %1").arg(i, 2, 10, QChar(u'0'))},
                                       {"DprtIdHigher", bottom}});
    const int deepWp = insert("Workplace", {{"WrkpIdDepartment", bottom}, {"WrkpName", "Стол на дне"}});
    const int deepPc = insert("DeviceUnit", {{"DevcIdWorkplace", deepWp}, {"DevcName", "ПК на дне"}});
    const int wide = insert("Department", {{"DprtName", "Склад"}});
    int crowded = 0, lastOfCrowded = 0, someOfCrowded = 0;
    for (int i = 0; i < 40; ++i)
        crowded = insert("Workplace",
                         {{"WrkpIdDepartment", wide}, {"WrkpName", QStringLiteral("Полка %1").arg(i)}});
    for (int i = 0; i < 30; ++i) {
        lastOfCrowded =
            insert("DeviceUnit", {{"DevcIdWorkplace", crowded},
                                  {"DevcName", QStringLiteral("Сканер %1").arg(i, 2, 10, QChar(u'0'))}});
        if (i == 17)
            someOfCrowded = lastOfCrowded;
    }
    const int last = insert("Department", {{"DprtName", "Ящик"}});
    const int departments = 2 + 15 + 2;

    TLayoutMainFM &v = open();
    v.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(v.treeModel->nodeCount(), departments)
        << "the first level is every department and nothing more";
    EXPECT_TRUE(v.treeModel->hasChildren(v.treeModel->find("D", wide))) << "its workplaces are still to come";

    // Opening a branch loads it.
    v.tvPlace->expand(v.treeModel->find("D", wide));
    QCoreApplication::processEvents();
    EXPECT_EQ(v.treeModel->rowCount(v.treeModel->find("D", wide)), 40);
    EXPECT_EQ(v.treeModel->nodeCount(), departments + 40);

    // A node deep down or among many is found, selected and shown with its path.
    struct Case {
        const char *what;
        const char *kind;
        int id, higher;
        QString caption;
    } cases[] = {
        {"a device at the bottom of the chain", "V", deepPc, deepWp, "ПК на дне"},
        {"a workplace at the bottom of the chain", "W", deepWp, bottom, "Стол на дне"},
        {"a device among many", "V", someOfCrowded, crowded, "Сканер 17"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        v.FindNode(QString::fromLatin1(c.kind), c.id);
        EXPECT_EQ(v.SelectedKind(), QString::fromLatin1(c.kind));
        EXPECT_EQ(v.SelectedId(), c.id);
        EXPECT_EQ(v.SelectedHigher(), c.higher);
        EXPECT_EQ(v.SelectedCaption(), c.caption);
    }
    EXPECT_EQ(v.treeModel->rowCount(v.treeModel->find("W", crowded)), 30);

    // Reloading brings back what was loaded, with the selection.
    const int nodes = v.treeModel->nodeCount();
    v.acRefresh->trigger();
    EXPECT_EQ(v.treeModel->nodeCount(), nodes);
    EXPECT_EQ(v.SelectedId(), someOfCrowded);

    // Deleting the last top node selects the node before it in tree order, in a branch never opened.
    v.tvPlace->collapseAll();
    answer = true;
    v.FindNode("D", last);
    v.actions->updateAll();
    ASSERT_TRUE(v.acDelete->isEnabled());
    v.acDelete->trigger();
    EXPECT_EQ(v.SelectedKind(), QStringLiteral("V"));
    EXPECT_EQ(v.SelectedId(), lastOfCrowded);

    // A department whose workplaces are not loaded yet cannot be deleted.
    v.FindNode("D", bottom);
    v.actions->updateAll();
    EXPECT_FALSE(v.acDelete->isEnabled());
    for (const MessageRequest &b : boxes)
        EXPECT_EQ(b.kind, MessageKind::Warning) << b.text.toStdString(); // only the delete question
}

TEST_F(LayoutViewTest, CommandsKeepTheExpandedBranches) {
    fill();
    const int store = insert("Department", {{"DprtName", "Склад"}});
    const int storeWp = insert("Workplace", {{"WrkpIdDepartment", store}, {"WrkpName", "Кладовщик"}});
    insert("DeviceUnit", {{"DevcIdWorkplace", storeWp}, {"DevcName", "Сканер"}});
    TLayoutMainFM &v = open();
    int newWorkplace = 0;
    v.runWorkplaceEdit = [&](int work, int dprt, int *key) {
        if (work == -1)
            newWorkplace = *key =
                insert("Workplace", {{"WrkpIdDepartment", dprt}, {"WrkpName", "Новое место"}});
        return work == -1;
    };
    v.runDeviceEdit = [&](int device, int place) {
        if (device == -1)
            insert("DeviceUnit", {{"DevcIdWorkplace", place}, {"DevcName", "Новое устройство"}});
        return device == -1;
    };
    v.SelectedKind();
    auto node = [&](const char *kind, int id) { return v.treeModel->find(QString::fromLatin1(kind), id); };
    // Three branches open: the department with its sub-department and workplace, and the store;
    // the store's workplace stays closed.
    for (const QModelIndex &i : {node("D", dep), node("D", sub), node("W", wp), node("D", store)})
        v.tvPlace->expand(i);

    answer = true;
    struct Case {
        const char *name;
        const char *kind;
        std::function<int()> id;
        Action *command;
    } cases[] = {
        {"refresh", "D", [&] { return dep; }, v.acRefresh},
        {"add a workplace", "D", [&] { return store; }, v.acAddPlace},
        {"delete it", "W", [&] { return newWorkplace; }, v.acDelete},
        {"add a device", "V", [&] { return pc; }, v.acAddDevice},
        {"clone a device", "V", [&] { return pc; }, v.acDevClone},
        {"move a workplace", "W", [&] { return wp; }, v.acDown},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        v.FindNode(QString::fromLatin1(c.kind), c.id());
        v.actions->updateAll();
        ASSERT_TRUE(c.command->isEnabled());
        boxes.clear();
        c.command->trigger();
        for (const MessageRequest &b : boxes)
            EXPECT_EQ(b.kind, MessageKind::Warning) << b.text.toStdString(); // only the delete question
        for (const auto &[kind, id] : {std::pair{"D", dep}, {"D", sub}, {"W", wp}, {"D", store}})
            EXPECT_TRUE(v.tvPlace->isExpanded(node(kind, id))) << kind << id;
        EXPECT_FALSE(v.tvPlace->isExpanded(node("W", storeWp)));
    }
}

TEST_F(LayoutViewTest, KeysRunTheCommandsOfTheirPanel) {
    fill();
    const int empty = insert("Department", {{"DprtName", "Пустой"}});
    TLayoutMainFM &v = open();
    v.runDepartmentEdit = [](int, int, int *) { return false; };
    v.runWorkplaceEdit = [](int, int, int *) { return false; };
    v.runDeviceEdit = [](int, int) { return false; };
    v.runElementEdit = [](int, int, const QString &) { return false; };
    v.SelectedKind();
    QStringList ran;
    for (Action *a : v.actions->actions())
        QObject::connect(a, &QAction::triggered, [&ran, a] { ran << a->objectName(); });
    answer = false; // every question is answered with Cancel

    struct Case {
        const char *name;
        QWidget *panel;
        const char *kind;
        int id;
        int key;
        QStringList expected;
    } cases[] = {
        {"insert on a department", v.tvPlace, "D", sub, Qt::Key_Insert, {"acAddPlace"}},
        {"insert on a workplace", v.tvPlace, "W", wp, Qt::Key_Insert, {"acAddDevice"}},
        {"insert on a device", v.tvPlace, "V", pc, Qt::Key_Insert, {"acAddDevice"}},
        {"F2", v.tvPlace, "V", pc, Qt::Key_F2, {"acEdit"}},
        {"Enter", v.tvPlace, "W", wp, Qt::Key_Return, {"acEdit"}},
        {"F5", v.tvPlace, "W", wp, Qt::Key_F5, {"acRefresh"}},
        {"Delete", v.tvPlace, "D", empty, Qt::Key_Delete, {"acDelete"}},
        {"Delete of a node with children", v.tvPlace, "D", dep, Qt::Key_Delete, {}},
        {"insert in the set", v.grSet, "V", printer, Qt::Key_Insert, {"acSetInset"}},
        {"F2 in the set", v.grSet, "V", printer, Qt::Key_F2, {"acSetEdit"}},
        {"Delete in the set", v.grSet, "V", printer, Qt::Key_Delete, {"acSetDelete"}},
        {"Enter in the bookmarks", v.grFavorite, "V", printer, Qt::Key_Enter, {"acCall"}},
        {"Insert in the bookmarks", v.grFavorite, "V", printer, Qt::Key_Insert, {"acAddToFavorite"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        v.FindNode(QString::fromLatin1(c.kind), c.id);
        ASSERT_EQ(v.SelectedId(), c.id);
        ran.clear();
        boxes.clear();
        QTest::keyClick(c.panel, Qt::Key(c.key));
        EXPECT_EQ(ran, c.expected);
    }
    EXPECT_EQ(cn().scalar("select count(*) from Department where IdDepartment = :D", {{"D", empty}}).toInt(),
              1)
        << "Delete asked first, and Cancel kept the department";

    v.FindNode("V", pc);
    ran.clear();
    emit v.tvPlace->doubleClicked(v.tvPlace->currentIndex());
    EXPECT_EQ(ran, QStringList{"acEdit"}) << "a double click edits the node";
}

TEST_F(LayoutViewTest, ContextMenusOfferTheToolbarsCommands) {
    TLayoutMainFM &v = open();
    const std::tuple<const char *, QToolBar *, QMenu *, QWidget *> menus[] = {
        {"tree", v.tbMain, v.pmPlace, v.tvPlace}, {"set", v.tbSet, v.pmSet, v.grSet}};
    for (const auto &[name, toolBar, menu, panel] : menus) {
        SCOPED_TRACE(name);
        EXPECT_EQ(panel->contextMenuPolicy(), Qt::CustomContextMenu);
        const QList<QAction *> offered = menu->actions();
        for (QAction *a : toolBar->actions()) {
            auto *button = qobject_cast<QToolButton *>(toolBar->widgetForAction(a));
            if (button && button->menu()) {
                EXPECT_TRUE(offered.contains(button->menu()->menuAction())) << button->text().toStdString();
            } else if (!a->isSeparator()) {
                EXPECT_TRUE(offered.contains(a)) << a->objectName().toStdString();
            }
        }
    }
    EXPECT_EQ(v.grFavorite->contextMenuPolicy(), Qt::CustomContextMenu);
    const QList<QAction *> favorite = v.pmFavorite->actions();
    ASSERT_EQ(favorite.size(), 7);
    EXPECT_EQ(favorite[0], v.acCall);
    EXPECT_TRUE(favorite[1]->isSeparator());
    EXPECT_EQ(favorite[2], v.acAddToFavorite);
    EXPECT_EQ(favorite[3], v.caFavoriteDelete);

    // Both grids' own menus end with the export commands every grid offers.
    const std::tuple<const char *, QMenu *, DataGrid *> grids[] = {{"favorite", v.pmFavorite, v.grFavorite},
                                                                   {"set", v.pmSet, v.grSet}};
    for (const auto &[name, menu, grid] : grids) {
        SCOPED_TRACE(name);
        const QList<QAction *> offered = menu->actions();
        ASSERT_GE(offered.size(), 3);
        EXPECT_TRUE(offered[offered.size() - 3]->isSeparator());
        EXPECT_EQ(offered[offered.size() - 2], grid->acCopyRows);
        EXPECT_EQ(offered[offered.size() - 1], grid->acExportCsv);
    }
}

TEST_F(LayoutViewTest, BookmarksAreCopiedAndSavedFromTheirOwnMenu) {
    fill();
    insert("Favorite",
           {{"OsUser", "tester"}, {"KeyObject", "D9001"}, {"Name", "Склад; \"главный\""}, {"Stamp", 2}});
    insert("Favorite", {{"OsUser", "tester"}, {"KeyObject", "D9002"}, {"Name", "Касса"}, {"Stamp", 1}});
    TLayoutMainFM &v = open();
    ASSERT_EQ(v.taFavorite->recordCount(), 2);
    v.taFavorite->locate(QStringLiteral("KeyObject"), QStringLiteral("D9002"));

    emit v.pmFavorite->aboutToShow();
    ASSERT_TRUE(v.grFavorite->acCopyRows->isEnabled());
    ASSERT_TRUE(v.grFavorite->acExportCsv->isEnabled());
    v.grFavorite->acCopyRows->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Касса\n"));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("закладки.csv"));
    const SaveFileNameHandler previous =
        SetSaveFileNameHandler([&](QWidget *, const QString &) { return path; });
    v.grFavorite->acExportCsv->trigger();
    SetSaveFileNameHandler(previous);
    EXPECT_TRUE(boxes.isEmpty());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF")) << "a byte-order mark lets spreadsheets read Cyrillic";
    const QString text = QString::fromUtf8(bytes);
    EXPECT_TRUE(text.contains(QStringLiteral("\"Склад; \"\"главный\"\"\""))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Касса"))) << text.toStdString();
}

TEST_F(LayoutViewTest, PanelsLayout) {
    fill();
    insert("Favorite", {{"OsUser", "tester"},
                        {"KeyObject", "D9001"},
                        {"Name", "Отдел снабжения и складского хозяйства филиала"},
                        {"Stamp", 1}});
    insert("Favorite", {{"OsUser", "tester"}, {"KeyObject", "D9002"}, {"Name", "Склад"}, {"Stamp", 2}});
    TLayoutMainFM &v = open();
    v.resize(1000, 700);
    v.show();
    QCoreApplication::processEvents();

    // The main toolbar: a separator right before "Отчёты".
    const QList<QAction *> tools = v.tbMain->actions();
    int reports = -1;
    for (int i = 0; i < tools.size(); ++i)
        if (auto *b = qobject_cast<QToolButton *>(v.tbMain->widgetForAction(tools[i]));
            b && b->menu() == v.pmReport)
            reports = i;
    ASSERT_GT(reports, 0);
    EXPECT_TRUE(tools[reports - 1]->isSeparator());

    // The set grid: "Тип" and "Код" keep their widths, "Модель" and "Номер" share the rest.
    v.FindNode("V", printer);
    QHeaderView *h = v.grSet->horizontalHeader();
    const int widths[] = {100, -1, -1, 46};
    for (int width : {1000, 700}) {
        SCOPED_TRACE(width);
        v.resize(width, 700);
        QCoreApplication::processEvents();
        int total = 0;
        for (int i = 0; i < 4; ++i) {
            if (widths[i] > 0) {
                EXPECT_EQ(h->sectionResizeMode(i), QHeaderView::Fixed);
                EXPECT_EQ(h->sectionSize(i), widths[i]);
            }
            total += h->sectionSize(i);
        }
        EXPECT_EQ(total, v.grSet->viewport()->width());
        EXPECT_GT(h->sectionSize(1), h->sectionSize(2)) << "as 300 to 120";
    }

    // The bookmarks: a title, and rows as high as their text.
    EXPECT_EQ(v.laFavorite->text(), QStringLiteral("Закладки"));
    EXPECT_TRUE(v.laFavorite->isVisible());
    v.pnStructure->setSizes({800, 120});
    QCoreApplication::processEvents();
    int longRow = -1, shortRow = -1;
    for (int r = 0; r < v.taFavorite->recordCount(); ++r) {
        const QString name = v.taFavorite->valueAt(r, v.taFavorite->fieldByName("Name")->index()).toString();
        if (name.startsWith(QStringLiteral("Отдел снабжения")))
            longRow = r;
        else if (name == u"Склад")
            shortRow = r;
    }
    ASSERT_GE(longRow, 0);
    ASSERT_GE(shortRow, 0);
    EXPECT_GT(v.grFavorite->rowHeight(longRow), v.grFavorite->rowHeight(shortRow)) << "a long name wraps";
    EXPECT_LE(v.grFavorite->rowHeight(shortRow), v.grFavorite->fontMetrics().height() + 8);
}

} // namespace
