// The main window: its tabs, the views created on first show, the version label and the window
// settings, over a data module on a throwaway SQLite file.
#include "TestDatabase.h"
#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/Settings.h"
#include "data/TessalDialog.h"
#include "data/TessalVersionInfo.h"
#include "data/dmTessalData.h"
#include "network/fmNetComputer.h"
#include "network/fmNetUser.h"
#include "placement/fmLayout.h"
#include "server/Server.h"
#include "shell/fmMain.h"
#include "shell/fmSplash.h"
#include "views/fmChangeList.h"
#include "views/fmDocumentList.h"
#include "views/fmModelList.h"
#include "views/fmSearch.h"

#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>

#include <functional>
#include <memory>

namespace {

QString settingsFileName() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Korvant"),
                     QStringLiteral("Velmora"))
        .fileName();
}

// The views the main window hosts, by the accessor that returns them (null until created).
using ViewOf = std::function<HostedView *(const TMainFM &)>;

const std::vector<std::pair<const char *, ViewOf>> &allViews() {
    static const std::vector<std::pair<const char *, ViewOf>> views{
        {"layout", [](const TMainFM &m) -> HostedView * { return m.layoutView(); }},
        {"model", [](const TMainFM &m) -> HostedView * { return m.modelView(); }},
        {"document", [](const TMainFM &m) -> HostedView * { return m.documentView(); }},
        {"change", [](const TMainFM &m) -> HostedView * { return m.changeView(); }},
        {"net", [](const TMainFM &m) -> HostedView * { return m.netView(); }},
        {"user", [](const TMainFM &m) -> HostedView * { return m.userView(); }},
        {"search", [](const TMainFM &m) -> HostedView * { return m.searchView(); }},
    };
    return views;
}

// Names of the views that exist, in tab order.
QStringList existingViews(const TMainFM &fm) {
    QStringList names;
    for (const auto &[name, view] : allViews())
        if (view(fm))
            names << QString::fromLatin1(name);
    return names;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        // main() points the configuration folder at a temporary one; make sure of it before
        // anything is written, and start every test with no saved settings.
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        ASSERT_FALSE(config.isEmpty());
        ASSERT_TRUE(settingsFileName().startsWith(config + u'/')) << settingsFileName().toStdString();
        QFile::remove(settingsFileName());

        ASSERT_TRUE(dir.isValid());
        previous = SetMessageHandler([this](const MessageRequest &r) {
            boxes << r;
            return true;
        });
        InstallServer(); // the views call the server's procedures, as in the program
        dm = std::make_unique<TdmTessal>(QStringLiteral("sqlite:") +
                                         dir.filePath(QStringLiteral("Velmora.db")));
        ASSERT_TRUE(dm->cnGeneral.isOpen());
        ASSERT_TRUE(boxes.isEmpty()) << boxes.first().text.toStdString();
    }

    void TearDown() override {
        dm.reset();
        SetMessageHandler(previous);
        SetFileVersionTextForTesting(QString());
        SetBuildDateForTesting(QDateTime());
    }

    QTemporaryDir dir;
    std::unique_ptr<TdmTessal> dm;
    QList<MessageRequest> boxes;
    MessageHandler previous;
};

TEST_F(MainWindowTest, CaptionAndTabsInOrder) {
    TMainFM fm;
    EXPECT_EQ(fm.windowTitle(), QStringLiteral("Вычислительная техника"));
    EXPECT_EQ(fm.findChild<QTabWidget *>(QStringLiteral("pcMain")), fm.pcMain);

    const struct {
        const char *name;
        QString caption;
        QWidget *page;
    } tabs[] = {
        {"tsLayout", QStringLiteral("Размещение техники"), fm.tsLayout},
        {"tsModel", QStringLiteral("Модель"), fm.tsModel},
        {"tsDocument", QStringLiteral("Документ"), fm.tsDocument},
        {"tsChage", QStringLiteral("Расходные материалы"), fm.tsChage},
        {"tsNet", QStringLiteral("Сеть компьютеров"), fm.tsNet},
        {"tsUser", QStringLiteral("Пользователи"), fm.tsUser},
        {"tsSearch", QStringLiteral("Поиск"), fm.tsSearch},
        {"tsVersioan", QStringLiteral("Версия"), fm.tsVersioan},
        {"tsJournal", QStringLiteral("Журнал изменений"), fm.tsJournal},
        {"tsOverview", QStringLiteral("Сводка"), fm.tsOverview},
    };
    ASSERT_EQ(fm.pcMain->count(), int(std::size(tabs)));
    for (int i = 0; i < fm.pcMain->count(); ++i) {
        SCOPED_TRACE(tabs[i].name);
        EXPECT_EQ(fm.pcMain->tabText(i), tabs[i].caption);
        EXPECT_EQ(fm.pcMain->widget(i)->objectName(), QString::fromLatin1(tabs[i].name));
        EXPECT_EQ(fm.pcMain->widget(i), tabs[i].page);
    }
    // Nothing is created before the window is shown.
    EXPECT_EQ(existingViews(fm), QStringList());
}

TEST_F(MainWindowTest, ShowingTheWindowOpensThePlacementView) {
    TMainFM fm;
    fm.show();
    ASSERT_NE(fm.layoutView(), nullptr);
    EXPECT_EQ(fm.layoutView()->parentWidget(), fm.tsLayout);
    EXPECT_TRUE(fm.layoutView()->isVisible());
    EXPECT_EQ(fm.layoutView()->windowTitle(), QStringLiteral("Вычислительная техника"));
    EXPECT_EQ(fm.pcMain->currentWidget(), fm.tsLayout);
    EXPECT_EQ(existingViews(fm), QStringList{QStringLiteral("layout")});
    EXPECT_EQ(fm.layoutView()->calls, QStringList());
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(MainWindowTest, FirstVisitOfATabCreatesItsViewLaterVisitsRereadItAfterWrites) {
    const struct {
        const char *tab;
        const char *view;
        QString caption;
        QStringList calls;
    } cases[] = {
        {"tsModel", "model", QStringLiteral("Размещение моделей"), {}},
        {"tsDocument",
         "document",
         QStringLiteral("Приходные документы"),
         {QStringLiteral("RefreshDoc(-1, -1)")}},
        {"tsChage", "change", QStringLiteral("Расходные материалы"), {}},
        {"tsNet", "net", QStringLiteral("Сеть"), {QStringLiteral("RefreshNet(-1)")}},
        {"tsUser", "user", QStringLiteral("Сеть"), {QStringLiteral("RefreshDCUser(-1)")}},
        {"tsSearch", "search", QStringLiteral("Поиск"), {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.tab);
        TMainFM fm;
        fm.show();
        auto *page = fm.pcMain->findChild<QWidget *>(QString::fromLatin1(c.tab));
        ASSERT_NE(page, nullptr);
        ViewOf viewOf;
        for (const auto &[name, view] : allViews())
            if (qstrcmp(name, c.view) == 0)
                viewOf = view;

        fm.pcMain->setCurrentWidget(page);
        HostedView *view = viewOf(fm);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->parentWidget(), page);
        EXPECT_TRUE(view->isVisible());
        EXPECT_EQ(view->windowTitle(), c.caption);
        EXPECT_EQ(view->calls, c.calls);
        EXPECT_EQ(existingViews(fm), (QStringList{QStringLiteral("layout"), QString::fromLatin1(c.view)}));

        // Coming back shows the same view again, not created or positioned anew; with nothing
        // written meanwhile it does not read its lists again.
        fm.pcMain->setCurrentWidget(fm.tsLayout);
        fm.pcMain->setCurrentWidget(fm.tsVersioan);
        fm.pcMain->setCurrentWidget(page);
        EXPECT_EQ(viewOf(fm), view);
        EXPECT_TRUE(view->isVisible());
        EXPECT_EQ(view->calls, c.calls);

        // After a write it rereads them where it stands (the refresh command's call).
        fm.pcMain->setCurrentWidget(fm.tsVersioan);
        {
            Transaction tx(dm->cnGeneral);
            insertRow(dm->cnGeneral, "Trademark", {{"Name", QStringLiteral("Марка %1").arg(c.tab)}});
            tx.commit();
        }
        fm.pcMain->setCurrentWidget(page);
        EXPECT_EQ(view->calls, c.calls + c.calls);
        EXPECT_EQ(fm.layoutView()->calls, QStringList());
    }
    EXPECT_TRUE(boxes.isEmpty());
}

// A new database holds only the basic catalogue: every tab that shows nothing says in one line
// what to do first, and every toolbar button says what it does.
TEST_F(MainWindowTest, OnANewDatabaseEachEmptyTabSaysWhatToDoFirst) {
    const struct {
        const char *tab;
        const char *view;
        const char *says; // part of the note; nullptr: the tab has none
    } cases[] = {
        {"tsLayout", "layout", "«Подразделение»"}, {"tsModel", "model", "«Модель»"},
        {"tsDocument", "document", "«Добавить»"},  {"tsChage", "change", "«Размещение техники»"},
        {"tsNet", "net", "«Доменное имя»"},        {"tsUser", "user", "«Добавить»"},
        {"tsSearch", "search", nullptr},
    };
    TMainFM fm;
    fm.show();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.tab);
        fm.pcMain->setCurrentWidget(fm.pcMain->findChild<QWidget *>(QString::fromLatin1(c.tab)));
        // A view loads on a posted call and its note follows on another: let both run.
        for (int round = 0; round < 3; ++round)
            QCoreApplication::processEvents();
        HostedView *view = nullptr;
        for (const auto &[name, of] : allViews())
            if (qstrcmp(name, c.view) == 0)
                view = of(fm);
        ASSERT_NE(view, nullptr);
        QStringList shown;
        for (const QLabel *note : view->findChildren<QLabel *>(QStringLiteral("lbEmptyNote")))
            if (note->isVisible())
                shown << note->text();
        if (c.says) {
            ASSERT_EQ(shown.size(), 1) << shown.join(" | ").toStdString();
            EXPECT_TRUE(shown[0].contains(QString::fromUtf8(c.says))) << shown[0].toStdString();
            EXPECT_FALSE(shown[0].contains(u'\n'));
        } else {
            EXPECT_TRUE(shown.isEmpty());
        }
        for (const QToolBar *bar : view->findChildren<QToolBar *>())
            for (const QToolButton *button : bar->findChildren<QToolButton *>()) {
                if (!button->isVisible() ||
                    button->objectName().startsWith(u"qt_")) // Qt's own overflow arrow
                    continue;
                EXPECT_FALSE(button->toolTip().trimmed().isEmpty())
                    << bar->objectName().toStdString() << ": " << button->text().toStdString();
            }
    }
    EXPECT_TRUE(boxes.isEmpty()) << (boxes.isEmpty() ? "" : boxes.first().text.toStdString());
}

TEST_F(MainWindowTest, AViewShownAgainShowsWhatChangedMeanwhile) {
    Connection &cn = dm->cnGeneral;
    const QVariant doc = insertRow(cn, "Document", {{"DocKind", "N"}, {"DocNumber", "1"}});
    TMainFM fm;
    fm.show();
    fm.pcMain->setCurrentWidget(fm.tsDocument);
    TDocumentListFM *view = fm.documentView();
    ASSERT_TRUE(view->taDoc->locate("ID", doc));
    EXPECT_EQ(view->taSpec->recordCount(), 0);

    // Meanwhile an element of that document is added on the placement tab.
    fm.pcMain->setCurrentWidget(fm.tsLayout);
    Transaction tx(cn); // as the element dialog saves
    const QVariant dep = insertRow(cn, "Department", {{"DprtName", "Склад"}});
    const QVariant wp = insertRow(cn, "Workplace", {{"WrkpIdDepartment", dep}, {"WrkpName", "Стол"}});
    const QVariant pc = insertRow(cn, "DeviceUnit", {{"DevcIdWorkplace", wp}, {"DevcName", "ПК"}});
    const QVariant kind = insertRow(cn, "Kind", {{"KindType", "H"}, {"KindName", "Диск"}});
    const QVariant model =
        insertRow(cn, "Model", {{"ModlKind", kind}, {"ModlName", "WD"}, {"ModlNumber", "WD"}});
    insertRow(cn, "CompleteSet",
              {{"CmplIdDevice", pc},
               {"CmplIdModel", model},
               {"ModelKind", kind},
               {"DocumentId", doc},
               {"DocumentPosition", 1}});
    tx.commit();

    fm.pcMain->setCurrentWidget(fm.tsDocument);
    EXPECT_EQ(view->taDoc->value("ID"), doc) << "still on the same document";
    EXPECT_EQ(view->taSpec->recordCount(), 1);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(MainWindowTest, VersionLabels) {
    const struct {
        QString version;
        QString expected;
    } cases[] = {
        // A development build has no version to show.
        {QStringLiteral("0.0.0.0"), QStringLiteral("Версия ")},
        {QStringLiteral("2.15.7.321"), QStringLiteral("Версия 2.7.01500321 от 05.03.2014")},
    };
    SetBuildDateForTesting(QDateTime(QDate(2014, 3, 5), QTime(17, 45)));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.version.toStdString());
        SetFileVersionTextForTesting(c.version);

        TMainFM fm; // the label is set while the window is created
        EXPECT_EQ(fm.laVersion->objectName(), QStringLiteral("laVersion"));
        EXPECT_EQ(fm.laVersion->parentWidget(), fm.tsVersioan);
        EXPECT_EQ(fm.laVersion->text(), c.expected);

        TSplashFM splash; // the splash window sets its label when shown
        splash.show();
        EXPECT_EQ(splash.laVersion->text(), c.expected);
        splash.hide();
    }
}

TEST_F(MainWindowTest, WindowGeometryIsSavedOnCloseAndRestored) {
    const PropertyStore stored(QStringLiteral("Main.Form"));
    {
        TMainFM fm;
        fm.show();
        // Never saved: the design size.
        EXPECT_EQ(fm.size(), QSize(1107, 695));
        fm.resize(700, 500);
        fm.move(30, 40);
        fm.close();
        EXPECT_EQ(stored.read(QStringLiteral("<P>.Width")).toInt(), 700);
        EXPECT_EQ(stored.read(QStringLiteral("<P>.Height")).toInt(), 500);
        EXPECT_EQ(stored.read(QStringLiteral("<P>.Left")).toInt(), 30);
        EXPECT_EQ(stored.read(QStringLiteral("<P>.Top")).toInt(), 40);
        EXPECT_GT(stored.read(QStringLiteral("<P>.PixelsPerInch")).toInt(), 0);
    }
    TMainFM fm;
    fm.show();
    EXPECT_EQ(fm.size(), QSize(700, 500));
    EXPECT_EQ(fm.pos(), QPoint(30, 40));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(MainWindowTest, WindowDestroyedWithoutCloseStillSavesItsSize) {
    {
        TMainFM fm;
        fm.show();
        fm.resize(640, 480);
    }
    const PropertyStore stored(QStringLiteral("Main.Form"));
    EXPECT_EQ(stored.read(QStringLiteral("<P>.Width")).toInt(), 640);
    EXPECT_EQ(stored.read(QStringLiteral("<P>.Height")).toInt(), 480);
}

TEST_F(MainWindowTest, ExceptionInAHandlerShowsOneBoxAndGoesOn) {
    const struct {
        std::function<void()> raise;
        QString shown;
    } cases[] = {
        {[] { throw AppError(QStringLiteral("abc")); }, QStringLiteral("abc.")},
        {[] { throw AppError(QStringLiteral("abc.")); }, QStringLiteral("abc.")},
        {[] { throw DatabaseError(QStringLiteral("Неопределённый тип параметра (5).")); },
         QStringLiteral("Неопределённый тип параметра (5).")},
        // Only text ending above "." in code order gets the full stop.
        {[] { throw AppError(QStringLiteral("Ошибка (5)")); }, QStringLiteral("Ошибка (5)")},
        {[] { throw AppError(QStringLiteral("Нет доступа!")); }, QStringLiteral("Нет доступа!")},
        {[] { throw AppError(QStringLiteral("Сбой")); }, QStringLiteral("Сбой.")},
        {[] { throw std::runtime_error("disk full"); }, QStringLiteral("disk full.")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.shown.toStdString());
        boxes.clear();
        bool after = false;
        EXPECT_FALSE(Guarded([&] {
            c.raise();
            after = true;
        }));
        EXPECT_FALSE(after);
        ASSERT_EQ(boxes.size(), 1);
        EXPECT_EQ(boxes[0].kind, MessageKind::Exception);
        EXPECT_EQ(boxes[0].title, QStringLiteral("Velmora"));
        EXPECT_EQ(boxes[0].text, c.shown);
        EXPECT_FALSE(boxes[0].hasCancel);
    }

    // A handler that does not throw shows nothing.
    boxes.clear();
    EXPECT_TRUE(Guarded([] {}));
    EXPECT_TRUE(boxes.isEmpty());
}

} // namespace
