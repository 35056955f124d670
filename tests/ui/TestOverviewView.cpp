// The overview tab over a real database: the department chooser, a click on a bar or slice
// opening the rows behind it, and the page written as PDF with its chart titles readable.

#include "AppTest.h"
#include "data/Errors.h"
#include "ui/DataGrid.h"
#include "views/OverviewPage.h"
#include "views/fmOverview.h"

#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QHorizontalBarSeries>
#include <QLabel>
#include <QPieSeries>
#include <QPieSlice>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

namespace {

QDateTime daysFromNow(int days) {
    return QDateTime(QDate::currentDate().addDays(days), QTime(10, 0));
}

class OverviewViewTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        if (HasFatalFailure())
            return;
        const int pc = insert("Kind", {{"KindType", "D"}, {"KindName", "Компьютер"}});
        const int printer = insert("Kind", {{"KindType", "D"}, {"KindName", "Принтер"}});
        const int toner = insert("Kind", {{"KindType", "M"}, {"KindName", "Картридж"}});
        const int disk = insert("Kind", {{"KindType", "H"}, {"KindName", "Диск"}});
        cartridge = insert("Model", {{"ModlKind", toner}, {"ModlName", "HP 12A"}});
        ssd = insert("Model", {{"ModlKind", disk}, {"ModlName", "SSD"}});
        org = insert("Department", {{"DprtName", "Организация"}});
        acc = insert("Department", {{"DprtName", "Бухгалтерия"}, {"DprtIdHigher", org}});
        store = insert("Department", {{"DprtName", "Склад"}, {"DprtIdHigher", org}});
        const int wAcc = insert("Workplace", {{"WrkpIdDepartment", acc}, {"WrkpName", "Стол"}});
        const int wStore = insert("Workplace", {{"WrkpIdDepartment", store}, {"WrkpName", "Полка"}});
        pcAcc = insert("DeviceUnit", {{"DevcIdWorkplace", wAcc},
                                      {"DevcName", "ПК-1"},
                                      {"DevcIdKind", pc},
                                      {"Domain", "pc1"},
                                      {"OnLine", false}});
        pcStore = insert("DeviceUnit", {{"DevcIdWorkplace", wStore},
                                        {"DevcName", "ПК-2"},
                                        {"DevcIdKind", pc},
                                        {"Domain", "pc2"},
                                        {"OnLine", true}});
        printerStore = insert("DeviceUnit",
                              {{"DevcIdWorkplace", wStore}, {"DevcName", "Лазер"}, {"DevcIdKind", printer}});
        // A cartridge changed every 40 days, due in about a month.
        insert(
            "CompleteSet",
            {{"CmplIdDevice", printerStore}, {"CmplIdModel", cartridge}, {"CmplDateSet", daysFromNow(-50)}});
        insert(
            "CompleteSet",
            {{"CmplIdDevice", printerStore}, {"CmplIdModel", cartridge}, {"CmplDateSet", daysFromNow(-10)}});
        disk1 = insert("CompleteSet",
                       {{"CmplIdDevice", pcAcc},
                        {"CmplIdModel", ssd},
                        {"Warranty", 12},
                        {"DateSeller", QDateTime(QDate::currentDate().addYears(-2), QTime(0, 0))}});
    }
    void TearDown() override {
        view.reset();
        AppTest::TearDown();
    }

    TOverviewFM &open() {
        view = std::make_unique<TOverviewFM>();
        view->resize(1200, 800);
        view->show();
        view->Refresh();
        return *view;
    }
    template <class Series> Series *series(const char *chart) {
        QChartView *v = view->pnCharts->chartView(QString::fromLatin1(chart));
        return v ? qobject_cast<Series *>(v->chart()->series().value(0)) : nullptr;
    }

    std::unique_ptr<TOverviewFM> view;
    int cartridge = 0, ssd = 0, org = 0, acc = 0, store = 0, pcAcc = 0, pcStore = 0, printerStore = 0,
        disk1 = 0;
};

TEST_F(OverviewViewTest, TheChooserLimitsEveryChartToABranch) {
    TOverviewFM &fm = open();
    QStringList items;
    for (int i = 0; i < fm.cbDepartment->count(); ++i)
        items << fm.cbDepartment->itemText(i);
    EXPECT_EQ(items, (QStringList{"Все подразделения", "Организация", "   Бухгалтерия", "   Склад"}));
    EXPECT_TRUE(fm.laHeading->text().startsWith(QStringLiteral("Сводка: Все подразделения на ")));
    EXPECT_EQ(fm.pnCharts->data().chart("kinds")->total(), 3);

    fm.cbDepartment->setCurrentIndex(fm.cbDepartment->findData(acc));
    EXPECT_TRUE(fm.laHeading->text().startsWith(QStringLiteral("Сводка: Бухгалтерия на ")));
    EXPECT_EQ(fm.pnCharts->data().chart("kinds")->total(), 1);
    EXPECT_EQ(series<QPieSeries>("network")->slices().value(1)->value(), 1.0)
        << "the accountant's PC is off line";
    EXPECT_EQ(series<QPieSeries>("network")->slices().value(0)->value(), 0.0);
}

TEST_F(OverviewViewTest, AClickOpensTheRowsBehindTheBar) {
    TOverviewFM &fm = open();
    QStringList jumps;
    fm.links.placementNode = [&](const QString &k, int id) {
        jumps << QStringLiteral("node %1%2").arg(k).arg(id);
    };
    fm.links.placementAny = [&](const QString &k, int id) {
        jumps << QStringLiteral("any %1%2").arg(k).arg(id);
    };
    fm.links.change = [&](int model, int row) {
        jumps << QStringLiteral("change %1 %2").arg(model).arg(row);
    };

    const struct {
        const char *what;
        std::function<void()> click;
        QString caption; // of the list window; empty: no window
        QList<int> ids;  // the list's rows
        QString jump;    // where a double click on its first row leads
    } cases[] = {
        {"a kind's bar lists its devices",
         [&] { emit series<QBarSeries>("kinds")->barSets()[0]->clicked(0); },
         "Устройства по типам: Компьютер",
         {pcAcc, pcStore},
         QStringLiteral("node V%1").arg(pcAcc)},
        {"the off-line slice lists the silent computers",
         [&] { emit series<QPieSeries>("network")->slices()[1]->clicked(); },
         "Последняя проверка сети: Не в сети",
         {pcAcc},
         QStringLiteral("node V%1").arg(pcAcc)},
        {"a month of forecasts leads to the consumables view",
         [&] {
             const QDate due = QDate::currentDate().addDays(30), now = QDate::currentDate();
             const int month = (due.year() * 12 + due.month()) - (now.year() * 12 + now.month());
             emit series<QBarSeries>("forecast")->barSets()[0]->clicked(month);
         },
         "",
         {printerStore},
         QStringLiteral("change %1 %2").arg(cartridge).arg(printerStore)},
        {"a year's elements lead to the tree's element",
         [&] {
             const OverviewChart *age = fm.pnCharts->data().chart("age");
             emit series<QBarSeries>("age")->barSets()[1]->clicked(int(age->categories.size()) - 1);
         },
         "Возраст техники: без документа, элементы",
         {},
         QString()},
        // The largest department stands on top, which is the last bar of a horizontal series.
        {"a department's bar goes to its node",
         [&] { emit series<QHorizontalBarSeries>("departments")->barSets()[0]->clicked(0); },
         "",
         {},
         QStringLiteral("node D%1").arg(acc)},
    };
    for (const auto &cs : cases) {
        SCOPED_TRACE(cs.what);
        jumps.clear();
        TOverviewListFM *before = fm.lastList;
        cs.click();
        if (QString::fromUtf8(cs.what).startsWith(QStringLiteral("a department"))) {
            EXPECT_EQ(fm.lastList.data(), before) << "no list for a department";
            EXPECT_EQ(jumps, QStringList{cs.jump});
            continue;
        }
        ASSERT_NE(fm.lastList.data(), before);
        TOverviewListFM *list = fm.lastList;
        if (!cs.caption.isEmpty()) {
            EXPECT_EQ(list->windowTitle(), cs.caption);
        }
        if (!cs.ids.isEmpty()) {
            QList<int> ids;
            for (list->taList->first(); !list->taList->eof(); list->taList->next())
                ids << list->taList->value(QStringLiteral("ID")).toInt();
            std::sort(ids.begin(), ids.end());
            EXPECT_EQ(ids, cs.ids);
        }
        EXPECT_TRUE(list->grList->acExportCsv != nullptr && list->grList->acCopyRows != nullptr);
        list->taList->first();
        list->GoRow();
        if (!cs.jump.isEmpty())
            EXPECT_EQ(jumps, QStringList{cs.jump});
        else
            EXPECT_EQ(jumps, QStringList{QStringLiteral("any H%1").arg(list->taList->value("ID").toInt())});
        list->close();
    }
}

TEST_F(OverviewViewTest, ThePageIsWrittenAsPdfWithReadableTitles) {
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        GTEST_SKIP() << "pdftotext is not installed";
    TOverviewFM &fm = open();
    const QString pdf = dir.filePath(QStringLiteral("Сводка.pdf")),
                  png = dir.filePath(QStringLiteral("s.png"));
    fm.askSavePath = [&] { return pdf; };
    fm.btSave->click();
    fm.SaveAs(png);
    EXPECT_FALSE(QImage(png).isNull());
    QProcess p;
    p.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(p.waitForFinished(20000));
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    for (const char *title :
         {"Сводка: Все подразделения", "Устройства по типам", "Возраст техники", "Окончание гарантии",
          "Замена расходных материалов", "Последняя проверка сети", "Подразделения", "Компьютер"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(title))) << title;
    EXPECT_TRUE(texts(MessageKind::Error).isEmpty());

    EXPECT_THROW(fm.SaveAs(QStringLiteral("/nonexistent-folder/s.pdf")), AppError);
    EXPECT_THROW(fm.SaveAs(QStringLiteral("/nonexistent-folder/s.png")), AppError);
}

} // namespace
