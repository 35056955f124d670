// The widget toolkit the views are drawn with: actions with enabling rules and guarded handlers, the
// busy cursor. The data grid has tests of its own (TestDataGrid.cpp).
#include "TestDatabase.h"
#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalDialog.h"
#include "ui/Actions.h"
#include "ui/BusyCursor.h"
#include "ui/DataGrid.h"

#include <QAbstractEventDispatcher>
#include <QActionGroup>
#include <QApplication>
#include <QEventLoop>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <functional>
#include <memory>
#include <stdexcept>

namespace {

void runEventLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// ---------------------------------------------------------------------------------------------
// Actions

class ToolkitActions : public ::testing::Test {
protected:
    void SetUp() override {
        previous = SetMessageHandler([this](const MessageRequest &r) {
            boxes << r;
            return true;
        });
    }
    void TearDown() override { SetMessageHandler(previous); }

    QList<MessageRequest> boxes;
    MessageHandler previous;
};

TEST_F(ToolkitActions, RulesDecideTheEnabledState) {
    struct Case {
        const char *name;
        std::function<bool()> rule;
        bool before, after;
    };
    const std::vector<Case> cases{
        {"true", [] { return true; }, false, true},
        {"false", [] { return false; }, true, false},
        {"throws an application error", []() -> bool { throw AppError(QStringLiteral("нет набора")); }, true,
         false},
        {"throws a standard exception", []() -> bool { throw std::runtime_error("broken"); }, true, false},
        {"no rule keeps its state", nullptr, false, false},
    };
    ActionList list;
    for (const Case &c : cases) {
        Action *a = list.action(QString::fromLatin1(c.name), QStringLiteral("Команда"));
        a->setEnabledWhen(c.rule);
        a->setEnabled(c.before);
    }
    list.updateAll();
    for (const Case &c : cases)
        EXPECT_EQ(list.findChild<Action *>(QString::fromLatin1(c.name))->isEnabled(), c.after) << c.name;
    EXPECT_TRUE(boxes.isEmpty()) << "a failing rule shows nothing";

    // A rule follows the state it reads; an action deleted elsewhere leaves the list working.
    bool open = false;
    Action *acEdit = list.action(QStringLiteral("acEdit"), QStringLiteral("Изменить"));
    acEdit->setEnabledWhen([&] { return open; });
    list.updateAll();
    EXPECT_FALSE(acEdit->isEnabled());
    open = true;
    delete list.findChild<Action *>(QStringLiteral("true"));
    list.updateAll();
    EXPECT_TRUE(acEdit->isEnabled());
    EXPECT_EQ(list.actions().size(), int(cases.size()));

    // A parentless action added to the list becomes its child; one with a parent keeps it.
    QObject owner;
    Action *own = list.add(new Action(&owner, QStringLiteral("acOwn"), QStringLiteral("Своя")));
    Action *adopted = list.add(new Action(nullptr, QStringLiteral("acAdopted"), QStringLiteral("Приёмная")));
    EXPECT_EQ(own->parent(), &owner);
    EXPECT_EQ(adopted->parent(), &list);
    EXPECT_TRUE(list.actions().contains(own));
}

TEST_F(ToolkitActions, HandlersRunGuardedAndOnlyWhenTheRuleAllows) {
    ActionList list;
    int runs = 0;
    bool allowed = true;
    Action *acBoom = list.action(QStringLiteral("acBoom"), QStringLiteral("Взрыв"));
    acBoom->onTrigger([&] {
        ++runs;
        throw AppError(QStringLiteral("Нет связи с сервером"));
    });
    Action *acQuiet = list.action(QStringLiteral("acQuiet"), QStringLiteral("Тихо"));
    acQuiet->setEnabledWhen([&] { return allowed; });
    acQuiet->onTrigger([&] { ++runs; });

    acBoom->trigger();
    EXPECT_EQ(runs, 1);
    ASSERT_EQ(boxes.size(), 1) << "one exception box";
    EXPECT_EQ(boxes[0].kind, MessageKind::Exception);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Velmora"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("Нет связи с сервером."));
    acBoom->trigger();
    EXPECT_EQ(boxes.size(), 2) << "the program went on";

    runs = 0;
    list.updateAll();
    acQuiet->trigger();
    EXPECT_EQ(runs, 1);
    // The state changed after the last update: the trigger asks the rule again and does nothing.
    allowed = false;
    acQuiet->trigger();
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(acQuiet->isEnabled());
    EXPECT_EQ(boxes.size(), 2);
}

TEST_F(ToolkitActions, IdleProgramAsksOnceAndThenSleeps) {
    int asked = 0, askedHidden = 0;
    ActionList list;
    list.action(QStringLiteral("acIdle"), QStringLiteral("Ждать"))->setEnabledWhen([&] {
        ++asked;
        return true;
    });
    QWidget window;
    ActionList windowList(&window);
    windowList.action(QStringLiteral("acHidden"), QStringLiteral("Скрыта"))->setEnabledWhen([&] {
        ++askedHidden;
        return true;
    });
    int wakes = 0;
    QObject counter;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, &counter,
                     [&] { ++wakes; });

    runEventLoop(250);
    EXPECT_GE(asked, 1) << "rules are asked when the program goes idle";
    EXPECT_LE(asked, 3) << "and not again and again while nothing happens";
    EXPECT_LE(wakes, 10) << "an idle program sleeps";
    EXPECT_EQ(askedHidden, 0) << "the rules of a hidden window wait";

    window.show();
    runEventLoop(100);
    EXPECT_GE(askedHidden, 1);
}

TEST_F(ToolkitActions, ToolButtonsMirrorTheirAction) {
    QToolBar bar;
    Action acUp(&bar, QStringLiteral("acUp"), QStringLiteral("Вверх"),
                QStringLiteral("Поднять на одну\r\nстрочку вверх"));
    QToolButton *btUp = addToolButton(&bar, &acUp);
    ASSERT_NE(btUp, nullptr);
    btUp->setObjectName(QStringLiteral("btUp"));
    EXPECT_EQ(bar.findChild<QToolButton *>(QStringLiteral("btUp")), btUp);
    EXPECT_EQ(btUp->defaultAction(), &acUp);
    EXPECT_EQ(btUp->toolTip(), QStringLiteral("Поднять на одну\nстрочку вверх"));

    bool enabled = false;
    acUp.setEnabledWhen([&] { return enabled; });
    acUp.updateEnabled();
    EXPECT_FALSE(btUp->isEnabled());
    enabled = true;
    acUp.updateEnabled();
    EXPECT_TRUE(btUp->isEnabled());
    acUp.setCheckable(true);
    acUp.setChecked(true);
    EXPECT_TRUE(btUp->isChecked());
}

TEST_F(ToolkitActions, ExclusiveGroupKeepsExactlyOneChecked) {
    QObject owner;
    Action acH(&owner, "acH", "H"), acM(&owner, "acM", "M"), acS(&owner, "acS", "S");
    auto checked = [&] {
        QString s;
        for (Action *a : {&acH, &acM, &acS})
            s += a->isChecked() ? a->text() : QStringLiteral("-");
        return s;
    };
    QActionGroup *group = exclusiveGroup(&owner, {&acH, &acM, &acS});
    EXPECT_EQ(group->parent(), &owner);
    EXPECT_EQ(checked(), QStringLiteral("H--")) << "the first when none was";
    acS.trigger();
    EXPECT_EQ(checked(), QStringLiteral("--S"));
    acS.trigger();
    EXPECT_EQ(checked(), QStringLiteral("--S")) << "a second press keeps it";

    Action acA(&owner, "acA", "A"), acB(&owner, "acB", "B");
    acB.setCheckable(true);
    acB.setChecked(true);
    exclusiveGroup(&owner, {&acA, &acB});
    EXPECT_FALSE(acA.isChecked()) << "one already checked stays the one";
    EXPECT_TRUE(acB.isChecked());
}

// ---------------------------------------------------------------------------------------------
// Busy cursor

TEST(ToolkitBusyCursor, RestoresTheCursorHoweverTheScopeEnds) {
    const QCursor *normal = QGuiApplication::overrideCursor();
    {
        BusyCursor outer;
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        { BusyCursor inner; }
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor)
            << "an inner scope leaves the outer one busy";
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), normal);

    EXPECT_THROW(
        {
            BusyCursor busy;
            throw AppError(QStringLiteral("ошибка сортировки"));
        },
        AppError);
    EXPECT_EQ(QGuiApplication::overrideCursor(), normal);
}

} // namespace
