// The data grid and its model over a dataset: selection and the current row, titles and widths,
// cell texts and looks, sort markers, new data, large datasets and the item model contract; and the
// grid's helpers: whole rows (GridSpareHeight, FitFormToGridRows), sorting by the title markers, the
// footer, and the export commands (CSV file, clipboard).
#include "AppTest.h"
#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalDialog.h"
#include "ui/DataGrid.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QVBoxLayout>

#if __has_include(<QAbstractItemModelTester>)
#include <QAbstractItemModelTester>
#define VELMORA_HAVE_MODEL_TESTER 1
#endif

#include <functional>
#include <memory>

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
// a date on the first two rows (one with a time) and a flag; and datasets of rows (Name, Weight)
// made by one statement with bound values, each in a grid of a window of its own.

class DataGridTest : public AppTest {
protected:
    DataGridTest() : AppTest({.chain = false, .lookup = false}) {}

    void SetUp() override {
        AppTest::SetUp();
        if (HasFatalFailure())
            return;
        exec("CREATE TABLE GridItem (GrId INTEGER PRIMARY KEY AUTOINCREMENT, GrName VARCHAR(20), "
             "GrQty INTEGER, GrWeight INTEGER, GrMade DATETIME, GrFlag BIT)");
        exec("INSERT INTO GridItem (GrName, GrQty, GrWeight, GrMade, GrFlag) VALUES "
             "('А', 3, 50, '2024-03-05 00:00:00', 1), ('Б', 9, 40, '2024-03-06 14:30:00', 0), "
             "('В', 1, 30, NULL, 1), ('Г', 7, 20, NULL, 0), ('Д', 5, 10, NULL, NULL)");
        ds.setConnection(&cn());
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
    void TearDown() override {
        window.reset();
        grid.setDataSet(nullptr);
        ds.close();
        ds.setConnection(nullptr);
        AppTest::TearDown();
    }

    void exec(const char *sql) { cn().execute(QString::fromUtf8(sql)); }

    void show() {
        grid.show();
        QCoreApplication::processEvents();
    }

    QString name() const { return ds.value(QStringLiteral("GrName")).toString(); }

    // A dataset of rows (Name, Weight) made by one statement with bound values.
    DataSet *rows(const QList<std::pair<QString, int>> &values) {
        QStringList selects;
        auto *ds = new DataSet(&cn(), window.get());
        for (int i = 0; i < values.size(); ++i)
            selects
                << QStringLiteral("SELECT %1 AS ID, :N%1 AS Name, %2 AS Weight").arg(i).arg(values[i].second);
        ds->setCommand(selects.join(QStringLiteral(" UNION ALL ")));
        for (int i = 0; i < values.size(); ++i)
            ds->setParameterValue(QStringLiteral("N%1").arg(i), values[i].first);
        ds->open();
        return ds;
    }

    // A window holding one grid over the dataset, columns "Название" (Name) and "Вес" (Weight).
    DataGrid &gridOver(DataSet *ds) {
        auto *layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(0, 0, 0, 0);
        auto *g = new DataGrid(window.get());
        g->setDataSet(ds);
        GridColumn weight = makeColumn(QStringLiteral("Weight"), QStringLiteral("Вес"), 60);
        g->setColumns({makeColumn(QStringLiteral("Name"), QStringLiteral("Название"), 200), weight});
        layout->addWidget(g);
        return *g;
    }

    QStringList names(const DataSet &ds) {
        QStringList out;
        for (int r = 0; r < ds.recordCount(); ++r)
            out << ds.valueAt(r, ds.fieldByName(QStringLiteral("Name"))->index()).toString();
        return out;
    }

    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();

    DataSet ds;
    DataGrid grid;
};

TEST_F(DataGridTest, SelectionAndTheDataSetsCurrentRowFollowEachOther) {
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

TEST_F(DataGridTest, TitlesWidthsAndTheLastStretchedColumn) {
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

TEST_F(DataGridTest, CellsShowTheFieldsAsLabelsDo) {
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

TEST_F(DataGridTest, CellStyleCallbackColoursAndFontsCells) {
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

TEST_F(DataGridTest, TitleClicksCycleSortMarkersInTheOrderOfMarking) {
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

TEST_F(DataGridTest, NewDataKeepsTheCurrentRowSelected) {
    show();
    const QAbstractItemModel &m = *grid.model();
    int resets = 0;
    // Counted only while the test runs: the fixture resets the model again when it ends.
    QObject counting;
    QObject::connect(&m, &QAbstractItemModel::modelReset, &counting, [&] { ++resets; });
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

TEST_F(DataGridTest, DoubleClickOnARowSignals) {
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
TEST_F(DataGridTest, LargeDataSetIsReadOnlyWhereShown) {
    exec("DELETE FROM GridItem");
    exec("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 20000) "
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
TEST_F(DataGridTest, ModelKeepsTheItemModelContract) {
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
    auto other = std::make_unique<DataSet>(&cn());
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

// Reads CSV as the grid writes it (";" between cells, quoted cells with doubled quotes).
QList<QStringList> parseCsv(const QString &text) {
    QList<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                cell += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u';') {
            row << cell;
            cell.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            row << cell;
            rows << row;
            row.clear();
            cell.clear();
            ++i;
        } else {
            cell += c;
        }
    }
    return rows;
}

TEST_F(DataGridTest, CsvRoundTripKeepsCyrillicQuotesSeparatorsAndLineBreaks) {
    const QStringList cells{
        QStringLiteral("Склад №1"),           QStringLiteral("Говорит \"да\""), QStringLiteral("a;b"),
        QStringLiteral("строка 1\nстрока 2"), QStringLiteral("  с пробелами "), QString(),
        QStringLiteral("Ёжик\r\nв тумане")};
    QList<std::pair<QString, int>> values;
    for (int i = 0; i < cells.size(); ++i)
        values << std::pair{cells[i], i};
    DataGrid &g = gridOver(rows(values));

    const QString path = dir.filePath(QStringLiteral("out.csv"));
    g.exportCsv(path);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF")) << "a byte-order mark lets spreadsheets read Cyrillic";
    const QList<QStringList> back = parseCsv(QString::fromUtf8(bytes.mid(3)));
    ASSERT_EQ(back.size(), cells.size() + 1);
    EXPECT_EQ(back[0], (QStringList{QStringLiteral("Название"), QStringLiteral("Вес")}));
    for (int i = 0; i < cells.size(); ++i)
        EXPECT_EQ(back[i + 1], (QStringList{cells[i], QString::number(i)})) << i;
}

TEST_F(DataGridTest, ExportToAFolderThatCannotBeWrittenSaysSoAndKeepsTheGrid) {
    DataGrid &g = gridOver(rows({{QStringLiteral("Склад"), 1}}));
    const QString path = dir.filePath(QStringLiteral("нет такой папки/out.csv"));
    EXPECT_THROW(g.exportCsv(path), AppError);

    // Through the command: the user's name comes from the seam, the failure from the box. The
    // name offered is the one of the window the grid stands in.
    window->setWindowTitle(QStringLiteral("Приходные документы"));
    QString offered;
    const SaveFileNameHandler previous = SetSaveFileNameHandler([&](QWidget *, const QString &suggested) {
        offered = suggested;
        return path;
    });
    g.acExportCsv->trigger();
    SetSaveFileNameHandler(previous);
    EXPECT_EQ(QFileInfo(offered).fileName(), QStringLiteral("Приходные документы.csv"));
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("Не удалось сохранить файл «")))
        << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("нет такой папки"))) << boxes[0].text.toStdString();
    EXPECT_EQ(g.dataSet()->recordCount(), 1);
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(DataGridTest, CopiesTheSelectedRowAsTabSeparatedText) {
    DataGrid &g = gridOver(rows({{QStringLiteral("Склад"), 1}, {QStringLiteral("Касса\tокно"), 2}}));
    g.dataSet()->setRecNo(1);
    g.acCopyRows->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Касса окно\t2\n"));
}

TEST_F(DataGridTest, FittingLeavesWholeRowsWithAndWithoutTitlesAndFooter) {
    QList<std::pair<QString, int>> values;
    for (int i = 0; i < 40; ++i)
        values << std::pair{QStringLiteral("Строка %1").arg(i), i};
    // The form the grid fits is a child of a shown window: its size changes at once.
    auto *form = new QWidget(window.get());
    auto *layout = new QVBoxLayout(form);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *grid = new DataGrid(form);
    grid->setDataSet(rows(values));
    grid->setColumns({makeColumn(QStringLiteral("Name"), QStringLiteral("Название"), 200)});
    layout->addWidget(grid);
    DataGrid &g = *grid;
    window->show();
    const int row = g.verticalHeader()->defaultSectionSize();
    const struct { bool titles, footer; } cases[] = {{true, false}, {false, false}, {true, true}};
    for (const auto &c : cases) {
        g.horizontalHeader()->setVisible(c.titles);
        g.setFooter(c.footer ? std::function<QString(const GridColumn &)>(
                                   [](const GridColumn &) { return QStringLiteral("Итого"); })
                             : nullptr);
        EXPECT_EQ(g.footerRowCount(), c.footer ? 1 : 0);
        for (int height = 150; height < 150 + 2 * row; height += 3) {
            SCOPED_TRACE(testing::Message()
                         << "titles " << c.titles << " footer " << c.footer << " height " << height);
            form->resize(300, height);
            EXPECT_EQ(GridSpareHeight(g), g.viewport()->height() % row - 1);
            FitFormToGridRows(g, *form);
            EXPECT_EQ(GridSpareHeight(g), 0);
            EXPECT_EQ(g.viewport()->height() % row, 1) << "whole rows and the last row's line";
        }
    }
}

// A grid whose rows change while it is hidden (a dialog filled before it opens) shows its current
// row when it appears, and a shown grid keeps following the current row.
TEST_F(DataGridTest, CurrentRowIsInSightOnceTheGridIsShown) {
    QList<std::pair<QString, int>> values;
    for (int i = 0; i < 200; ++i)
        values << std::pair{QStringLiteral("Строка %1").arg(i), i};
    DataSet *ds = rows(values);
    DataGrid &g = gridOver(ds);
    window->resize(300, 200);
    const auto inSight = [&](int row) {
        return g.viewport()->rect().contains(g.visualRect(g.model()->index(row, 0)).center());
    };
    const struct {
        const char *what;
        std::function<void()> change;
        int row;
    } cases[] = {
        {"moved while hidden", [&] { ds->setRecNo(150); }, 150},
        {"moved and read again while hidden",
         [&] {
             ds->setRecNo(150);
             ds->refresh();
         },
         150},
        {"opened anew while hidden, moved to the end",
         [&] {
             ds->close();
             ds->open();
             ds->last();
         },
         199},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        window->hide();
        ds->first();
        window->show();
        QCoreApplication::processEvents();
        ASSERT_TRUE(inSight(0));
        window->hide();
        c.change();
        EXPECT_EQ(selectedRow(g), c.row);
        window->show();
        QCoreApplication::processEvents();
        EXPECT_TRUE(inSight(c.row));
        EXPECT_FALSE(inSight(0));
        ds->setRecNo(10);
        EXPECT_TRUE(inSight(10)) << "shown: follows at once";
    }
}

TEST_F(DataGridTest, TitleClicksSortByTheSortFieldAndKeepTheCurrentRow) {
    DataSet *ds = rows({{QStringLiteral("б"), 3}, {QStringLiteral("а"), 1}, {QStringLiteral("в"), 2}});
    DataGrid &g = gridOver(ds);
    // The second column shows the names but sorts by weight.
    GridColumn shown = makeColumn(QStringLiteral("Name"), QStringLiteral("Характеристки"), 100);
    shown.sortField = QStringLiteral("Weight");
    g.setColumns({makeColumn(QStringLiteral("Name"), QStringLiteral("Номер"), 100), shown});
    g.setSortMarkersEnabled(true);
    QObject::connect(&g, &DataGrid::sortMarkersChanged, &g, [&] { SortGridByMarkers(g); });
    ds->setRecNo(0); // "б"

    const struct {
        int section;
        QString sort;
        QStringList order;
    } clicks[] = {
        {1, QStringLiteral("Weight;"), {QStringLiteral("а"), QStringLiteral("в"), QStringLiteral("б")}},
        {1, QStringLiteral("Weight DESC;"), {QStringLiteral("б"), QStringLiteral("в"), QStringLiteral("а")}},
        {1, QString(), {QStringLiteral("б"), QStringLiteral("а"), QStringLiteral("в")}},
        {0, QStringLiteral("Name;"), {QStringLiteral("а"), QStringLiteral("б"), QStringLiteral("в")}},
    };
    for (const auto &c : clicks) {
        emit g.horizontalHeader()->sectionClicked(c.section);
        EXPECT_EQ(ds->sort(), c.sort);
        EXPECT_EQ(names(*ds), c.order);
        EXPECT_EQ(ds->value(QStringLiteral("Name")).toString(), QStringLiteral("б"))
            << "the current row stays";
        EXPECT_EQ(g.currentIndex().row(), ds->recNo());
    }
}

TEST_F(DataGridTest, FooterShowsWhatTheCallbackGivesPerColumn) {
    DataGrid &g = gridOver(rows({{QStringLiteral("Склад"), 1}, {QStringLiteral("Касса"), 2}}));
    g.setFooter([&](const GridColumn &c) {
        return c.field == u"Weight" ? QString::number(g.dataSet()->recordCount()) : QString();
    });
    window->show();
    EXPECT_EQ(g.footerText(0), QString());
    EXPECT_EQ(g.footerText(1), QStringLiteral("2"));
    auto *footer = g.findChild<QWidget *>(QStringLiteral("footer"));
    ASSERT_NE(footer, nullptr);
    EXPECT_TRUE(footer->isVisible());
    EXPECT_EQ(footer->geometry().top(), g.viewport()->geometry().bottom() + 1) << "right under the rows";
    EXPECT_EQ(footer->height(), g.footerHeight());
    const int rowsHeight = g.viewport()->height();
    g.setFooter(nullptr);
    EXPECT_EQ(g.footerHeight(), 0);
    EXPECT_FALSE(footer->isVisible());
    EXPECT_EQ(g.viewport()->height(), rowsHeight + g.verticalHeader()->defaultSectionSize() + 1)
        << "the rows take the room back";
}

} // namespace
