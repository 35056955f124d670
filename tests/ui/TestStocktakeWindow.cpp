// The stocktaking window over a real database: codes typed as a scanner types them, the result line
// and the row colours, a window closed midway and opened again, moving a device here, finishing and
// the report; and "Инвентаризация" on the placement tree.

#include "AppTest.h"
#include "model/Reports.h"
#include "placement/fmLayout.h"
#include "placement/fmStocktake.h"
#include "ui/Actions.h"
#include "ui/DataGrid.h"

#include <QCheckBox>
#include <QInputDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTreeView>

namespace {

class StocktakeWindowTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        if (HasFatalFailure())
            return;
        previousSignal = TStocktakeFM::SetResultSignal([this](const QString &r) { heard << r; });
        previousViewer = TStocktakeFM::ReportViewer();
        TStocktakeFM::ReportViewer() = [this](const ReportTable &r) { reports.push_back(r); };
        const int kind = insert("Kind", {{"KindType", "D"}, {"KindName", "Компьютер"}});
        office = insert("Department", {{"DprtName", "Бухгалтерия"}});
        const int store = insert("Department", {{"DprtName", "Склад"}});
        room = insert("Workplace", {{"WrkpIdDepartment", office}, {"WrkpName", "Кабинет 1"}});
        second = insert("Workplace", {{"WrkpIdDepartment", office}, {"WrkpName", "Кабинет 2"}});
        shelf = insert("Workplace", {{"WrkpIdDepartment", store}, {"WrkpName", "Стеллаж"}});
        auto device = [&](int w, const char *name, const char *number) {
            return insert("DeviceUnit",
                          {{"DevcIdWorkplace", w},
                           {"DevcName", QString::fromUtf8(name)},
                           {"DevcIdKind", kind},
                           {"DevcNumber", number ? QVariant(QString::fromUtf8(number)) : QVariant()}});
        };
        pc = device(room, "ПК бухгалтера", "INV-001");
        printer = device(room, "Принтер", "INV-002");
        laptop = device(shelf, "Ноутбук", "INV-004");
    }
    void TearDown() override {
        delete window.data();
        TStocktakeFM::SetResultSignal(previousSignal);
        TStocktakeFM::ReportViewer() = previousViewer;
        AppTest::TearDown();
    }

    TStocktakeFM *open(const QString &kind, int place) {
        window = TStocktakeFM::Open(cn(), kind, place, QStringLiteral("место"));
        return window;
    }
    // Types the code and Enter into the input line, as a USB scanner does.
    void scanned(const QString &code) {
        window->edScan->setFocus();
        typeInto(window->edScan, code);
        QTest::keyClick(window->edScan, Qt::Key_Return);
    }
    // The background of the list's row of a code.
    QColor rowColour(const QString &code) {
        DataSet &ds = *window->taList;
        if (!ds.locate(QStringLiteral("Code"), code))
            return {};
        return window->grList->model()->index(ds.recNo(), 0).data(Qt::BackgroundRole).value<QColor>();
    }
    bool trigger(Action *a) {
        if (!a->updateEnabled())
            return false;
        a->trigger();
        return true;
    }

    TStocktakeFM::ResultSignal previousSignal;
    std::function<void(const ReportTable &)> previousViewer;
    QStringList heard;
    std::vector<ReportTable> reports;
    QPointer<TStocktakeFM> window;
    int office = 0, room = 0, second = 0, shelf = 0, pc = 0, printer = 0, laptop = 0;
};

TEST_F(StocktakeWindowTest, ScansMarkRowsAndAreKeptWhenTheWindowIsClosedMidway) {
    open(QStringLiteral("W"), room);
    EXPECT_TRUE(window->btStart->isVisible());
    EXPECT_FALSE(window->edScan->isEnabled()) << "nothing is scanned before the count starts";
    QTest::mouseClick(window->btStart, Qt::LeftButton);
    ASSERT_GT(window->stocktake(), 0);
    EXPECT_FALSE(window->btStart->isVisible());
    EXPECT_TRUE(window->edScan->isEnabled());

    const struct {
        QString code;
        const char *signal;
        const char *line; // the start of the result line
    } scans[] = {
        {"INV-001", "F", "Найдено: ПК бухгалтера"},
        {"INV-004", "P", "Не на своём месте: Ноутбук (по базе: Склад / Стеллаж)"},
        {"ZZZ-9", "U", "Нет в базе: ZZZ-9"},
        {"INV-001", "R", "Найдено: ПК бухгалтера — уже отсканировано"},
    };
    for (const auto &s : scans) {
        scanned(s.code);
        EXPECT_EQ(heard.value(heard.size() - 1), QString::fromLatin1(s.signal)) << s.code.toStdString();
        EXPECT_TRUE(window->laResult->text().startsWith(QString::fromUtf8(s.line)))
            << window->laResult->text().toStdString();
        EXPECT_TRUE(window->edScan->text().isEmpty()) << "ready for the next scan";
    }
    EXPECT_EQ(rowColour("INV-001"), QColor(0xC8, 0xF0, 0xC8));
    EXPECT_EQ(rowColour("INV-004"), QColor(0xFF, 0xE0, 0x99));
    EXPECT_EQ(rowColour("ZZZ-9"), QColor(0xFF, 0xC0, 0xC0));
    EXPECT_FALSE(rowColour("INV-002").isValid()) << "not found yet: no colour";

    // A refused scan keeps what was typed and opens no box.
    scanned(QString(60, u'7'));
    EXPECT_EQ(window->edScan->text(), QString(60, u'7'));
    EXPECT_TRUE(window->laResult->text().startsWith("Код длиннее 50 символов"));
    EXPECT_TRUE(boxes.isEmpty());

    const int count = window->stocktake();
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(window.isNull());
    open(QStringLiteral("W"), room);
    EXPECT_EQ(window->stocktake(), count) << "the open count is resumed";
    EXPECT_FALSE(window->btStart->isVisible());
    EXPECT_EQ(window->taList->recordCount(), 4);
    EXPECT_EQ(rowColour("INV-001"), QColor(0xC8, 0xF0, 0xC8));
    EXPECT_EQ(window->grList->footerText(0), QStringLiteral("Найдено 1 из 2"));
}

TEST_F(StocktakeWindowTest, MovesADeviceHereFinishesAndReports) {
    open(QStringLiteral("D"), office);
    QTest::mouseClick(window->btStart, Qt::LeftButton);
    scanned("INV-004");
    ASSERT_EQ(window->taList->value(QStringLiteral("Code")).toString(), QStringLiteral("INV-004"));
    // A department's count asks which of its workplaces takes the device.
    QString asked;
    SetModalHandler([&](QDialog &d) {
        asked = d.findChild<QLabel *>() ? d.findChild<QLabel *>()->text() : QString();
        if (auto *input = qobject_cast<QInputDialog *>(&d))
            input->setTextValue(QStringLiteral("Кабинет 2"));
        return int(QDialog::Accepted);
    });
    ASSERT_TRUE(trigger(window->acMoveHere));
    EXPECT_EQ(asked, QStringLiteral("На какое рабочее место переместить «Ноутбук»?"));
    EXPECT_EQ(scalar("SELECT DevcIdWorkplace FROM DeviceUnit WHERE IdDevice = :V", {{"V", laptop}}).toInt(),
              second);
    window->taList->locate(QStringLiteral("Code"), QStringLiteral("INV-004"));
    EXPECT_EQ(window->taList->value(QStringLiteral("Result")).toString(), QStringLiteral("F"));
    EXPECT_FALSE(window->acMoveHere->updateEnabled());

    answer = false; // "Отмена" leaves the count open
    EXPECT_TRUE(trigger(window->acFinish));
    EXPECT_TRUE(window->edScan->isEnabled());
    answer = true;
    EXPECT_TRUE(trigger(window->acFinish));
    EXPECT_TRUE(texts(MessageKind::Warning).value(0).contains("Найдено: 1, не найдено: 2"));
    EXPECT_FALSE(window->edScan->isEnabled());
    EXPECT_FALSE(window->acFinish->updateEnabled());

    ASSERT_TRUE(trigger(window->acReport));
    ASSERT_EQ(reports.size(), 1u);
    const ReportTable &r = reports.front();
    EXPECT_EQ(r.rows.size(), 3u);
    EXPECT_EQ(r.totals.value(0),
              QStringLiteral("Найдено: 1, не найдено: 2, не на своём месте: 0, нет в базе: 0"));
    EXPECT_TRUE(r.totals.join('\n').contains("Проверил: ____"));
    EXPECT_TRUE(r.lines.value(2).startsWith("Завершена: "));
}

TEST_F(StocktakeWindowTest, ACountFinishedOnAnotherWorkstationTakesNoMoreScans) {
    open(QStringLiteral("W"), room);
    QTest::mouseClick(window->btStart, Qt::LeftButton);
    scanned("INV-001");
    Connection other;
    other.open(url());
    QVector<Parameter> params = procedureParameters(QStringLiteral("StocktakeFinish;1"));
    params[1].value = window->stocktake();
    callProcedure(other, QStringLiteral("StocktakeFinish;1"), params);

    scanned("INV-002");
    EXPECT_TRUE(window->laResult->text().startsWith("Инвентаризация уже завершена"));
    EXPECT_EQ(window->edScan->text(), QStringLiteral("INV-002")) << "the code is kept";
    EXPECT_FALSE(window->edScan->isEnabled());
    EXPECT_FALSE(window->acFinish->updateEnabled());
    EXPECT_TRUE(window->laPlace->text().contains("Завершена"));
}

TEST_F(StocktakeWindowTest, ThePlacementTreeOpensItForADepartmentOrWorkplace) {
    TLayoutMainFM view;
    view.show();
    view.ReloadTree();
    const struct {
        const char *kind;
        int id;
        bool enabled;
    } nodes[] = {{"D", office, true}, {"W", room, true}, {"V", pc, false}};
    for (const auto &n : nodes) {
        view.FindNode(QString::fromLatin1(n.kind), n.id);
        EXPECT_EQ(view.acStocktake->updateEnabled(), n.enabled) << n.kind;
    }
    view.FindNode(QStringLiteral("W"), room);
    ASSERT_TRUE(trigger(view.acStocktake));
    window = view.findChild<TStocktakeFM *>();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->windowTitle().startsWith("Инвентаризация: "));
    // Asked again, the same window comes up.
    ASSERT_TRUE(trigger(view.acStocktake));
    EXPECT_EQ(view.findChildren<TStocktakeFM *>().size(), 1);
    delete window.data();
}

} // namespace
