// The widget toolkit the views are drawn with: the data grid and its model over a dataset on a
// throwaway SQLite file, actions with enabling rules and guarded handlers, the busy cursor.
#include "Actions.h"
#include "BusyCursor.h"
#include "DataGrid.h"
#include "DataSet.h"
#include "Errors.h"
#include "TessalDialog.h"
#include "TestDatabase.h"

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

#if __has_include(<QAbstractItemModelTester>)
#include <QAbstractItemModelTester>
#define VELMORA_HAVE_MODEL_TESTER 1
#endif

#include <functional>
#include <memory>
#include <stdexcept>

namespace {

// ---------------------------------------------------------------------------------------------
// Input as a user gives it

void sendMouse(QWidget *w, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMouseEvent e(type, pos, w->mapToGlobal(pos), Qt::LeftButton, buttons, modifiers);
    QApplication::sendEvent(w, &e);
}

void click(QWidget *w, QPoint pos, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    sendMouse(w, QEvent::MouseButtonPress, pos, Qt::LeftButton, modifiers);
    sendMouse(w, QEvent::MouseButtonRelease, pos, Qt::NoButton, modifiers);
}

void doubleClick(QWidget *w, QPoint pos) {
    click(w, pos);
    sendMouse(w, QEvent::MouseButtonDblClick, pos, Qt::LeftButton);
    sendMouse(w, QEvent::MouseButtonRelease, pos, Qt::NoButton);
}

void pressKey(QWidget *w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(w, &release);
}

void clickTitle(DataGrid &grid, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QHeaderView *h = grid.horizontalHeader();
    click(h->viewport(),
          QPoint(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2),
          modifiers);
}

QPoint cellCentre(const DataGrid &grid, int row, int column) {
    return grid.visualRect(grid.model()->index(row, column)).center();
}

void runEventLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int selectedRow(const DataGrid &grid) {
    const QModelIndexList rows = grid.selectionModel()->selectedRows();
    return rows.size() == 1 ? rows.front().row() : -rows.size() - 1;
}

QStringList titles(const QAbstractItemModel &m) {
    QStringList out;
    for (int c = 0; c < m.columnCount(); ++c)
        out << m.headerData(c, Qt::Horizontal).toString();
    return out;
}

// ---------------------------------------------------------------------------------------------
// A grid over five items: ids 1..5, names А..Д, quantities out of order, a weight for sorting,
// a date on the first two rows (one with a time) and a flag.

class ToolkitGrid : public ::testing::Test {
protected:
    void SetUp() override {
        QString why;
        ASSERT_TRUE(db.available(&why)) << why.toStdString();
        db.exec("CREATE TABLE GridItem (GrId INTEGER PRIMARY KEY AUTOINCREMENT, GrName VARCHAR(20), "
                "GrQty INTEGER, GrWeight INTEGER, GrMade DATETIME, GrFlag BIT)");
        db.exec("INSERT INTO GridItem (GrName, GrQty, GrWeight, GrMade, GrFlag) VALUES "
                "('А', 3, 50, '2024-03-05 00:00:00', 1), ('Б', 9, 40, '2024-03-06 14:30:00', 0), "
                "('В', 1, 30, NULL, 1), ('Г', 7, 20, NULL, 0), ('Д', 5, 10, NULL, NULL)");
        ds.setCommand(QStringLiteral("select GrId, GrName, GrQty, GrWeight, GrMade, GrFlag from GridItem "
                                     "order by GrId"));
        ds.setUpdateTable(QStringLiteral("GridItem"), QStringLiteral("GrId"));
        for (auto [name, type] : {std::pair{"GrId", FieldType::Integer},
                                  {"GrName", FieldType::String},
                                  {"GrQty", FieldType::Integer},
                                  {"GrWeight", FieldType::Integer},
                                  {"GrMade", FieldType::DateTime},
                                  {"GrFlag", FieldType::Boolean}})
            ds.addField({QString::fromLatin1(name), type});
        ds.open();
        ASSERT_EQ(ds.recordCount(), 5);
        grid.setDataSet(&ds);
        grid.resize(420, 240);
    }

    void show() {
        grid.show();
        QCoreApplication::processEvents();
    }

    QString name() const { return ds.value(QStringLiteral("GrName")).toString(); }

    TestDatabase db{Engine::SQLite};
    DataSet ds{&db.cn()};
    DataGrid grid;
};

TEST_F(ToolkitGrid, SelectionAndTheDataSetsCurrentRowFollowEachOther) {
    show();
    int scrolls = 0;
    QObject::connect(&ds, &DataSet::scrolled, [&] { ++scrolls; });
    EXPECT_EQ(selectedRow(grid), 0) << "the first row is selected when the data arrives";

    ds.setRecNo(3);
    EXPECT_EQ(selectedRow(grid), 3);
    EXPECT_EQ(grid.currentIndex().row(), 3);

    struct Move {
        const char *how;
        std::function<void()> act;
        int row;
    };
    const std::vector<Move> moves{
        {"current index set", [&] { grid.setCurrentIndex(grid.model()->index(1, 2)); }, 1},
        {"key down", [&] { pressKey(&grid, Qt::Key_Down); }, 2},
        {"ctrl+end", [&] { pressKey(&grid, Qt::Key_End, Qt::ControlModifier); }, 4},
        {"key up", [&] { pressKey(&grid, Qt::Key_Up); }, 3},
        {"click", [&] { click(grid.viewport(), cellCentre(grid, 0, 1)); }, 0},
        {"ctrl+click on the selected row",
         [&] { click(grid.viewport(), cellCentre(grid, 0, 1), Qt::ControlModifier); }, 0},
    };
    for (const Move &m : moves) {
        scrolls = 0;
        const int before = ds.recNo();
        m.act();
        EXPECT_EQ(ds.recNo(), m.row) << m.how;
        EXPECT_EQ(selectedRow(grid), m.row) << m.how;
        EXPECT_EQ(scrolls, before == m.row ? 0 : 1) << m.how << ": one move, no echo";
    }
    EXPECT_EQ(grid.currentIndex().column(), 1) << "following the dataset keeps the column";

    ds.last();
    EXPECT_EQ(selectedRow(grid), 4);
}

TEST_F(ToolkitGrid, TitlesWidthsAndTheLastStretchedColumn) {
    grid.setColumns({
        {.field = "GrName", .title = "Название", .width = 120},
        {.field = "GrQty", .width = 50, .stretch = true},
        {.field = "GrWeight",
         .title = "Вес",
         .width = 70,
         .stretch = true,
         .titleAlignment = Qt::AlignLeft | Qt::AlignVCenter,
         .alignment = Qt::AlignRight | Qt::AlignVCenter},
        {.field = "GrMade", .title = "Дата", .width = 90},
    });
    show();
    const QAbstractItemModel &m = *grid.model();
    EXPECT_EQ(titles(m), (QStringList{"Название", "GrQty", "Вес", "Дата"}))
        << "an empty title shows the field";
    EXPECT_EQ(m.headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).toInt(), int(Qt::AlignCenter));
    EXPECT_EQ(m.headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
              int(Qt::AlignLeft | Qt::AlignVCenter));
    EXPECT_EQ(m.data(m.index(0, 2), Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(m.data(m.index(0, 0), Qt::TextAlignmentRole).toInt(), int(Qt::AlignLeft | Qt::AlignVCenter));

    QHeaderView *h = grid.horizontalHeader();
    const QList<QHeaderView::ResizeMode> modes{QHeaderView::Interactive, QHeaderView::Interactive,
                                               QHeaderView::Stretch, QHeaderView::Interactive};
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(h->sectionResizeMode(c), modes[c]) << "column " << c;
    EXPECT_EQ(h->sectionSize(0), 120);
    EXPECT_EQ(h->sectionSize(1), 50) << "a stretch that lost keeps its width";
    // "06.03.2024 14:30" does not fit in 90: the column widens to show it whole.
    const int dates = h->sectionSize(3);
    EXPECT_GT(dates, grid.fontMetrics().horizontalAdvance(QStringLiteral("06.03.2024 14:30")));
    EXPECT_LE(dates, 3 * 90);
    EXPECT_EQ(h->sectionSize(2), grid.viewport()->width() - 120 - 50 - dates)
        << "the stretched column fills the rest";

    // The widths survive a reload of the same columns, and a user's resizing too.
    h->resizeSection(0, 150);
    h->resizeSection(3, 80);
    ds.refresh();
    QCoreApplication::processEvents();
    EXPECT_EQ(h->sectionSize(0), 150);
    EXPECT_EQ(h->sectionSize(3), 80);

    // No columns: every field, titled by its name, 64 wide, numbers to the right.
    grid.setColumns({});
    EXPECT_EQ(titles(m), (QStringList{"GrId", "GrName", "GrQty", "GrWeight", "GrMade", "GrFlag"}));
    for (int c = 0; c < m.columnCount(); ++c)
        EXPECT_EQ(h->sectionSize(c), 64) << "column " << c;
    EXPECT_EQ(m.data(m.index(0, 2), Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(m.data(m.index(0, 1), Qt::TextAlignmentRole).toInt(), int(Qt::AlignLeft | Qt::AlignVCenter));

    // The selected row keeps its colours when the grid loses the focus, also after a palette change.
    QPalette p = grid.palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight, Qt::gray);
    p.setColor(QPalette::Active, QPalette::Highlight, Qt::darkBlue);
    grid.setPalette(p);
    EXPECT_EQ(grid.palette().color(QPalette::Inactive, QPalette::Highlight), QColor(Qt::darkBlue));
    EXPECT_EQ(grid.palette().color(QPalette::Inactive, QPalette::HighlightedText),
              grid.palette().color(QPalette::Active, QPalette::HighlightedText));
    EXPECT_FALSE(m.flags(m.index(0, 0)) & Qt::ItemIsEditable);
}

TEST_F(ToolkitGrid, CellsShowTheFieldsAsLabelsDo) {
    ds.fieldByName(QStringLiteral("GrWeight"))->setDisplayFormat(QStringLiteral("ignored for numbers"));
    grid.setColumns({{"GrName"}, {"GrMade"}, {"GrFlag"}, {"GrWeight"}, {"NoSuchField", "Пусто"}});
    const QAbstractItemModel &m = *grid.model();
    struct Case {
        int row, column;
        QString text;
    };
    const std::vector<Case> cases{
        {0, 0, "А"}, {0, 1, "05.03.2024"}, {1, 1, "06.03.2024 14:30"},
        {2, 1, ""},  {0, 2, "Да"},         {1, 2, "Нет"},
        {4, 2, ""},  {4, 3, "10"},         {0, 4, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(m.data(m.index(c.row, c.column)).toString(), c.text)
            << "row " << c.row << ", column " << c.column;
    // Every row's value, not the current one's.
    ds.setRecNo(3);
    EXPECT_EQ(m.data(m.index(1, 0)).toString(), QStringLiteral("Б"));
    EXPECT_EQ(m.data(m.index(1, 3), DataSetModel::ValueRole).toInt(), 40);

    ds.fieldByName(QStringLiteral("GrMade"))->setDisplayFormat(QStringLiteral("dd.MM.yy"));
    EXPECT_EQ(m.data(m.index(1, 1)).toString(), QStringLiteral("06.03.24"));
    EXPECT_EQ(gridDisplayText(QVariant(QDate(2024, 1, 2))), QStringLiteral("02.01.2024"));

    // A row being edited shows its edit buffer; cancelling brings back the stored values.
    int changed = 0;
    QObject::connect(&m, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex &from, const QModelIndex &to) {
                         if (from.row() == 3 && to.row() == 3)
                             ++changed;
                     });
    ds.edit();
    ds.fieldByName(QStringLiteral("GrName"))->setValue(QStringLiteral("Ж"));
    EXPECT_EQ(m.data(m.index(3, 0)).toString(), QStringLiteral("Ж"));
    EXPECT_GE(changed, 1) << "the edited row is repainted";
    changed = 0;
    ds.cancel();
    EXPECT_EQ(m.data(m.index(3, 0)).toString(), QStringLiteral("Г"));
    EXPECT_GE(changed, 1);
}

TEST_F(ToolkitGrid, CellStyleCallbackColoursAndFontsCells) {
    const int qty = ds.fieldByName(QStringLiteral("GrQty"))->index();
    QString familySeen;
    grid.setColumns({{"GrName", "Название", 100}, {"GrQty", "Кол.", 100}});
    grid.setCellStyle([&](const DataSet &d, int row, const GridColumn &column, QFont &font,
                          QColor &foreground, QColor &background) {
        familySeen = font.family();
        if (row == 4)
            throw AppError(QStringLiteral("сбой оформления"));
        if (d.valueAt(row, qty).toInt() > 5)
            background = Qt::red;
        if (column.field == QLatin1String("GrName")) {
            font.setBold(true);
            foreground = Qt::blue;
        }
    });
    const QAbstractItemModel &m = *grid.model();
    // Row 1 has 9: red; row 0 has 3: plain.
    EXPECT_EQ(m.data(m.index(1, 1), Qt::BackgroundRole).value<QColor>(), QColor(Qt::red));
    EXPECT_FALSE(m.data(m.index(0, 1), Qt::BackgroundRole).isValid())
        << "an untouched cell keeps the grid's colours";
    EXPECT_FALSE(m.data(m.index(0, 1), Qt::FontRole).isValid());
    EXPECT_TRUE(m.data(m.index(0, 0), Qt::FontRole).value<QFont>().bold());
    EXPECT_EQ(m.data(m.index(0, 0), Qt::ForegroundRole).value<QColor>(), QColor(Qt::blue));
    EXPECT_EQ(familySeen, grid.font().family()) << "the callback starts from the grid's font";
    for (int role : {Qt::FontRole, Qt::ForegroundRole, Qt::BackgroundRole})
        EXPECT_FALSE(m.data(m.index(4, 0), role).isValid()) << "a failing callback leaves the cell plain";

    // What the callback says reaches the screen: the empty right part of a red cell is red.
    show();
    grid.setCurrentIndex(m.index(0, 0));
    const QImage shot = grid.viewport()->grab().toImage();
    const QRect red = grid.visualRect(m.index(3, 1)), plain = grid.visualRect(m.index(2, 1));
    EXPECT_EQ(shot.pixelColor(red.right() - 4, red.center().y()), QColor(Qt::red));
    EXPECT_NE(shot.pixelColor(plain.right() - 4, plain.center().y()), QColor(Qt::red));
}

TEST_F(ToolkitGrid, TitleClicksCycleSortMarkersInTheOrderOfMarking) {
    grid.setColumns({
        {.field = "GrName", .title = "Название", .width = 100},
        {.field = "GrQty", .title = "Кол.", .width = 100, .sortField = "GrWeight"},
        {.field = "GrMade", .title = "Дата", .width = 100, .sortable = false},
    });
    show();
    int signals_ = 0;
    QObject::connect(&grid, &DataGrid::sortMarkersChanged, [&] { ++signals_; });

    clickTitle(grid, 1);
    EXPECT_TRUE(grid.sortMarkers().isEmpty()) << "markers are off until enabled";
    EXPECT_EQ(signals_, 0);
    EXPECT_FALSE(grid.horizontalHeader()->isSortIndicatorShown());

    grid.setSortMarkersEnabled(true);
    const auto A = Qt::AscendingOrder, D = Qt::DescendingOrder;
    // Control held adds to the sort; a plain click sorts by its column alone.
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, plain = Qt::NoModifier;
    struct Step {
        int column;
        Qt::KeyboardModifiers modifiers;
        SortMarkers markers;
        QString sortText;
    };
    const std::vector<Step> steps{
        {1, plain, {{1, A}}, "GrWeight;"},
        {0, ctrl, {{1, A}, {0, A}}, "GrWeight;GrName;"},
        {1, ctrl, {{1, D}, {0, A}}, "GrWeight DESC;GrName;"},
        {0, ctrl, {{1, D}, {0, D}}, "GrWeight DESC;GrName DESC;"},
        {1, ctrl, {{0, D}}, "GrName DESC;"},
        {2, ctrl, {{0, D}}, "GrName DESC;"}, // not sortable
        {1, ctrl, {{0, D}, {1, A}}, "GrName DESC;GrWeight;"},
        {0, plain, {}, ""}, // was descending: off, and the others with it
        {0, plain, {{0, A}}, "GrName;"},
        {1, plain, {{1, A}}, "GrWeight;"},
        {1, plain, {{1, D}}, "GrWeight DESC;"},
        {2, plain, {{1, D}}, "GrWeight DESC;"}, // not sortable
        {1, plain, {}, ""},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step &s = steps[i];
        const int before = signals_;
        clickTitle(grid, s.column, s.modifiers);
        EXPECT_EQ(grid.sortMarkers(), s.markers) << "step " << i;
        EXPECT_EQ(grid.sortText(), s.sortText) << "step " << i;
        EXPECT_EQ(signals_ - before, s.column == 2 ? 0 : 1) << "step " << i;
        QHeaderView *h = grid.horizontalHeader();
        EXPECT_EQ(h->isSortIndicatorShown(), !s.markers.isEmpty()) << "step " << i;
        if (!s.markers.isEmpty()) {
            EXPECT_EQ(h->sortIndicatorSection(), s.markers.front().first) << "step " << i;
            EXPECT_EQ(h->sortIndicatorOrder(), s.markers.front().second) << "step " << i;
        }
    }

    // Set from code: shown at once, no signal, duplicates dropped.
    grid.setSortMarkers({{1, A}, {1, D}, {0, D}});
    EXPECT_EQ(grid.sortMarkers(), (SortMarkers{{1, A}, {0, D}}));
    EXPECT_EQ(grid.horizontalHeader()->sortIndicatorSection(), 1);
    EXPECT_EQ(signals_, 11);

    // What a view does with them: the dataset sorts by weight, the current item stays selected.
    ds.locate(QStringLiteral("GrName"), QStringLiteral("Г"));
    ASSERT_EQ(grid.sortText(), QStringLiteral("GrWeight;GrName DESC;"));
    ds.setSort(grid.sortText());
    EXPECT_EQ(name(), QStringLiteral("Г"));
    EXPECT_EQ(ds.recNo(), 1);
    EXPECT_EQ(selectedRow(grid), 1);
    EXPECT_EQ(grid.model()->data(grid.model()->index(0, 0)).toString(), QStringLiteral("Д"));
}

TEST_F(ToolkitGrid, NewDataKeepsTheCurrentRowSelected) {
    show();
    const QAbstractItemModel &m = *grid.model();
    int resets = 0;
    QObject::connect(&m, &QAbstractItemModel::modelReset, [&] { ++resets; });
    ds.locate(QStringLiteral("GrName"), QStringLiteral("В")); // row 2, quantity 1

    ds.setSort(QStringLiteral("GrQty DESC;"));
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(ds.recNo(), 4);
    EXPECT_EQ(selectedRow(grid), 4);
    EXPECT_EQ(m.data(m.index(4, 1)).toString(), QStringLiteral("В"));

    // While notifications are off the model keeps the rows it announced; one reset at the end.
    resets = 0;
    ds.disableControls();
    ds.append();
    ds.fieldByName(QStringLiteral("GrName"))->setValue(QStringLiteral("Е"));
    ds.post();
    EXPECT_EQ(ds.recordCount(), 6);
    EXPECT_EQ(m.rowCount(), 5);
    EXPECT_EQ(resets, 0);
    ds.enableControls();
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(m.rowCount(), 6);
    EXPECT_EQ(name(), QStringLiteral("Е"));
    EXPECT_EQ(selectedRow(grid), ds.recNo());

    ds.remove();
    EXPECT_EQ(m.rowCount(), 5);
    EXPECT_EQ(selectedRow(grid), ds.recNo());

    ds.close();
    EXPECT_EQ(m.rowCount(), 0);
    EXPECT_EQ(m.columnCount(), 6) << "a closed dataset keeps its columns";
    EXPECT_EQ(selectedRow(grid), -1) << "nothing selected";
    ds.open();
    EXPECT_EQ(m.rowCount(), 5);
    EXPECT_EQ(selectedRow(grid), 0);
}

TEST_F(ToolkitGrid, DoubleClickOnARowSignals) {
    grid.setColumns({{"GrName", "Название", 100}});
    show();
    int doubleClicks = 0;
    QObject::connect(&grid, &DataGrid::rowDoubleClicked, [&] { ++doubleClicks; });
    doubleClick(grid.viewport(), cellCentre(grid, 2, 0));
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_EQ(ds.recNo(), 2) << "the row double-clicked is current";

    const QRect last = grid.visualRect(grid.model()->index(4, 0));
    ASSERT_LT(last.bottom() + 10, grid.viewport()->height());
    doubleClick(grid.viewport(), QPoint(last.center().x(), last.bottom() + 10));
    EXPECT_EQ(doubleClicks, 1) << "below the last row is no row";
}

// The grid over a large dataset reads only what it shows: nothing per row when the data changes.
TEST_F(ToolkitGrid, LargeDataSetIsReadOnlyWhereShown) {
    db.exec("DELETE FROM GridItem");
    db.exec("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 20000) "
            "INSERT INTO GridItem (GrName, GrQty, GrWeight) SELECT 'item ' || x, x % 97, x FROM n");
    int computed = 0, styled = 0;
    ds.close();
    ds.addField({QStringLiteral("Twice"), FieldType::Integer, 0, false, {}, [&](const DataSet &d) {
                     ++computed;
                     return QVariant(d.value(QStringLiteral("GrQty")).toInt() * 2);
                 }});
    ds.open();
    ASSERT_EQ(ds.recordCount(), 20000);
    grid.setColumns({{"GrName", "Название", 100}, {"Twice", "Дважды", 60}});
    grid.setCellStyle(
        [&](const DataSet &, int, const GridColumn &, QFont &, QColor &, QColor &) { ++styled; });
    show();

    const int visibleRows = grid.viewport()->height() / grid.verticalHeader()->defaultSectionSize() + 2;
    for (auto step : std::vector<std::function<void()>>{
             [&] { ds.setSort(QStringLiteral("GrQty DESC;GrName;")); },
             [&] { ds.last(); },
             [&] { ds.refresh(); },
         }) {
        computed = styled = 0;
        step();
        grid.viewport()->grab();
        EXPECT_LE(computed, 2 * visibleRows + 2);
        EXPECT_LE(styled, 2 * 2 * visibleRows);
    }
    EXPECT_EQ(
        grid.model()->data(grid.model()->index(19999, 1)).toString(),
        QString::number(ds.valueAt(19999, ds.fieldByName(QStringLiteral("GrQty"))->index()).toInt() * 2));
}

// The model keeps the item-model contract through every kind of change of its dataset.
TEST_F(ToolkitGrid, ModelKeepsTheItemModelContract) {
    DataSetModel model(&ds, {{"GrName", "Название"}, {"GrMade", "Дата"}});
#ifdef VELMORA_HAVE_MODEL_TESTER
    QStringList failures;
    static QStringList *sink = nullptr;
    sink = &failures;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &c, const QString &m) {
            if (sink && c.category && QByteArray(c.category) == "qt.modeltest")
                *sink << m;
        });
    auto tester = std::make_unique<QAbstractItemModelTester>(
        &model, QAbstractItemModelTester::FailureReportingMode::Warning);
#endif
    // Without the tester: the count a model reports may change only between the two reset signals.
    int announced = model.rowCount(), mismatches = 0;
    QObject::connect(&model, &QAbstractItemModel::modelAboutToBeReset,
                     [&] { mismatches += model.rowCount() != announced; });
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { announced = model.rowCount(); });

    auto checkShape = [&](const char *when) {
        SCOPED_TRACE(when);
        EXPECT_EQ(model.rowCount(), ds.isActive() ? ds.recordCount() : 0);
        EXPECT_EQ(model.columnCount(), 2);
        EXPECT_FALSE(model.index(model.rowCount(), 0).isValid());
        EXPECT_FALSE(model.index(0, 2).isValid());
        for (int r = 0; r < model.rowCount(); ++r) {
            const QModelIndex i = model.index(r, 1);
            ASSERT_TRUE(i.isValid());
            EXPECT_FALSE(i.parent().isValid());
            EXPECT_FALSE(static_cast<const QAbstractItemModel &>(model).hasChildren(i));
            EXPECT_EQ(model.rowCount(i), 0);
            EXPECT_EQ(model.data(i).typeId(), QMetaType::QString);
        }
    };
    checkShape("open");
    const std::vector<std::pair<const char *, std::function<void()>>> changes{
        {"sort", [&] { ds.setSort(QStringLiteral("GrName DESC;")); }},
        {"append",
         [&] {
             ds.append();
             ds.fieldByName(QStringLiteral("GrName"))->setValue(QStringLiteral("Е"));
             ds.post();
         }},
        {"edit",
         [&] {
             ds.edit();
             ds.fieldByName(QStringLiteral("GrName"))->setValue(QStringLiteral("Ё"));
             ds.post();
         }},
        {"delete", [&] { ds.remove(); }},
        {"suspended",
         [&] {
             ds.disableControls();
             ds.setSort(QString());
             ds.remove();
             ds.enableControls();
         }},
        {"close", [&] { ds.close(); }},
        {"open", [&] { ds.open(); }},
    };
    for (const auto &[when, change] : changes) {
        change();
        checkShape(when);
    }
    EXPECT_EQ(mismatches, 0);

    // The dataset going away leaves an empty model, not a dangling one.
    auto other = std::make_unique<DataSet>(&db.cn());
    other->setCommand(QStringLiteral("select GrName from GridItem"));
    other->open();
    model.setDataSet(other.get());
    EXPECT_EQ(model.rowCount(), ds.recordCount());
    const QModelIndex stale = model.index(0, 0); // as a view might still hold it
    other.reset();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.data(stale).isValid());
#ifdef VELMORA_HAVE_MODEL_TESTER
    tester.reset();
    qInstallMessageHandler(previous);
    sink = nullptr;
    EXPECT_TRUE(failures.isEmpty()) << failures.join(u'\n').toStdString();
#endif
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
