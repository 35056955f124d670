// The data grid's helpers: whole rows (GridSpareHeight, FitFormToGridRows), sorting by the title
// markers, the footer, and the export commands (CSV file, clipboard).
#include "AppTest.h"
#include "DataGrid.h"
#include "DataSet.h"
#include "Errors.h"
#include "ViewLinks.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QVBoxLayout>

#include <memory>

namespace {

class GridToolsTest : public AppTest {
protected:
    GridToolsTest() : AppTest({.chain = false, .lookup = false}) {}
    void TearDown() override {
        window.reset();
        AppTest::TearDown();
    }

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
    DataGrid &grid(DataSet *ds) {
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
};

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

TEST_F(GridToolsTest, CsvRoundTripKeepsCyrillicQuotesSeparatorsAndLineBreaks) {
    const QStringList cells{
        QStringLiteral("Склад №1"),           QStringLiteral("Говорит \"да\""), QStringLiteral("a;b"),
        QStringLiteral("строка 1\nстрока 2"), QStringLiteral("  с пробелами "), QString(),
        QStringLiteral("Ёжик\r\nв тумане")};
    QList<std::pair<QString, int>> values;
    for (int i = 0; i < cells.size(); ++i)
        values << std::pair{cells[i], i};
    DataGrid &g = grid(rows(values));

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

TEST_F(GridToolsTest, ExportToAFolderThatCannotBeWrittenSaysSoAndKeepsTheGrid) {
    DataGrid &g = grid(rows({{QStringLiteral("Склад"), 1}}));
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

TEST_F(GridToolsTest, CopiesTheSelectedRowAsTabSeparatedText) {
    DataGrid &g = grid(rows({{QStringLiteral("Склад"), 1}, {QStringLiteral("Касса\tокно"), 2}}));
    g.dataSet()->setRecNo(1);
    g.acCopyRows->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("Касса окно\t2\n"));
}

TEST_F(GridToolsTest, FittingLeavesWholeRowsWithAndWithoutTitlesAndFooter) {
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

TEST_F(GridToolsTest, TitleClicksSortByTheSortFieldAndKeepTheCurrentRow) {
    DataSet *ds = rows({{QStringLiteral("б"), 3}, {QStringLiteral("а"), 1}, {QStringLiteral("в"), 2}});
    DataGrid &g = grid(ds);
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

TEST_F(GridToolsTest, FooterShowsWhatTheCallbackGivesPerColumn) {
    DataGrid &g = grid(rows({{QStringLiteral("Склад"), 1}, {QStringLiteral("Касса"), 2}}));
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
