#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QPointer>
#include <QTableView>
#include <QVector>

#include <functional>
#include <utility>

class Action;
class DataSet;
class QAction;
class QMenu;

// One column of a data grid: the field it shows, its title and looks, and how a title click sorts.
struct GridColumn {
    QString field;
    QString title; // empty: the field's name
    int width = 64;
    bool stretch = false; // takes the room the other columns leave; the last such column wins
    Qt::Alignment titleAlignment = Qt::AlignCenter;
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
    QString sortField;    // field to sort by instead, e.g. a weight column
    bool sortable = true; // false: a title click leaves the sort markers alone
};

// A column: field, title, width, whether it takes the room the others leave, how its cells align.
inline GridColumn makeColumn(const QString &field, const QString &title, int width, bool stretch = false,
                             Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter) {
    GridColumn c;
    c.field = field;
    c.title = title;
    c.width = width;
    c.stretch = stretch;
    c.alignment = alignment;
    return c;
}

// Per-cell looks: called with the grid's font and colours, changes what it wants for that cell.
using CellStyle = std::function<void(const DataSet &, int row, const GridColumn &, QFont &,
                                     QColor &foreground, QColor &background)>;

// A sort marker: a column index and its order; a grid keeps them in the order of marking.
using SortMarker = std::pair<int, Qt::SortOrder>;
using SortMarkers = QList<SortMarker>;

// A value as grids and labels show it: dates with the format (or dd.MM.yyyy, with the time when it
// is not midnight), booleans as "Да"/"Нет", everything else as text; null is empty.
QString gridDisplayText(const QVariant &value, const QString &displayFormat = {});

// A table model over a dataset's rows in their current order. Every row is read on demand from the
// dataset's memory (no SQL, nothing prepared per row), so a reset costs the same for ten rows as
// for a hundred thousand. The model resets whenever the dataset announces new data; the row count
// it reports is the one taken at the last reset, so it never changes behind a view's back while
// the dataset's notifications are suspended.
class DataSetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The raw field value of a cell.
    static constexpr int ValueRole = Qt::UserRole;

    explicit DataSetModel(QObject *parent = nullptr);
    DataSetModel(DataSet *dataSet, const QVector<GridColumn> &columns, QObject *parent = nullptr);

    void setDataSet(DataSet *dataSet);
    DataSet *dataSet() const { return m_dataSet; }

    // No columns: one per field of the dataset, titled with the field's name.
    void setColumns(const QVector<GridColumn> &columns);
    const QVector<GridColumn> &columns() const { return m_declared; }
    // The columns shown now: the declared ones, or those made from the fields at the last reset.
    const QVector<GridColumn> &shownColumns() const { return m_shown; }
    // Changes whenever the shown columns change (another list, other fields after a reopen).
    int columnsVersion() const { return m_columnsVersion; }
    // The dataset's field index behind a column, -1 when the dataset has no such field.
    int fieldIndex(int column) const;

    void setCellStyle(CellStyle style);
    // What the cell style starts from; a cell reports a font or colour only when the style
    // changed it, so untouched cells keep the view's own looks.
    void setBaseStyle(const QFont &font, const QColor &foreground, const QColor &background);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    void multiData(const QModelIndex &index, QModelRoleDataSpan roleDataSpan) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Rereads the row count and the columns from the dataset.
    void reload();

private:
    struct Look {
        QVariant font, foreground, background;
    };
    void rebuild();
    QVariant cellValue(int row, int fieldIndex) const;
    QString cellText(int row, int column) const;
    Look look(int row, int column) const;
    bool validCell(const QModelIndex &index) const;
    void refreshCurrentRow();

    QPointer<DataSet> m_dataSet;
    QVector<QMetaObject::Connection> m_connections;
    QVector<GridColumn> m_declared;
    QVector<GridColumn> m_shown;
    QVector<int> m_fieldIndex;
    int m_rows = 0;
    int m_columnsVersion = 0;
    CellStyle m_style;
    QFont m_font;
    QColor m_foreground, m_background;
};

// The data grid of views and dialogs: a read-only table over a dataset whose selected row is the
// dataset's current row, both ways; column titles, widths and one stretched column; sort markers
// set by title clicks; per-cell looks through a callback.
class DataGrid : public QTableView {
    Q_OBJECT
public:
    explicit DataGrid(QWidget *parent = nullptr);

    void setDataSet(DataSet *dataSet);
    DataSet *dataSet() const;
    DataSetModel *dataModel() const { return m_model; }

    // Titles, widths and alignment; clears the sort markers.
    void setColumns(const QVector<GridColumn> &columns);
    const QVector<GridColumn> &columns() const { return m_model->shownColumns(); }
    void setCellStyle(CellStyle style) { m_model->setCellStyle(std::move(style)); }

    // With markers enabled a title click cycles its column's marker: none, ascending, descending,
    // none again. A plain click drops the other markers (the grid sorts by that column alone); with
    // Control held they stay, in the order they were set.
    void setSortMarkersEnabled(bool enabled) { m_markersEnabled = enabled; }
    bool sortMarkersEnabled() const { return m_markersEnabled; }
    const SortMarkers &sortMarkers() const { return m_markers; }
    // Sets the markers from code (no sortMarkersChanged: the caller sorts as it sees fit).
    void setSortMarkers(const SortMarkers &markers);
    // The dataset sort the markers ask for, e.g. "ModlWeight DESC;ModlName;": per marked column its
    // sort field, else its field, in the order of marking.
    QString sortText() const;

    // Rows as high as their text needs (all its lines when words wrap), at least one line. Only the
    // rows in view are measured, as they come into view: a list of thousands costs one screenful,
    // and a grid that is not shown measures nothing.
    void setRowsFitText(bool fit);
    bool rowsFitText() const { return m_fitRows; }

    // Footer rows under the data rows: one line whose cells show what the callback gives for each
    // column (e.g. a total). No callback: no footer.
    void setFooter(std::function<QString(const GridColumn &)> text);
    int footerRowCount() const { return m_footerText ? 1 : 0; }
    int footerHeight() const; // pixels, 0 without a footer
    QString footerText(int column) const;
    void refreshFooter();

    // Export: every row as CSV (UTF-8 with a byte-order mark, ";" between cells, titles first) and
    // the selected rows as tab-separated text, cells as the grid shows them.
    QByteArray csv() const;
    QString selectedRowsText() const;
    // Writes csv() to the file; AppError with a message for the user when it cannot.
    void exportCsv(const QString &path) const;
    void copySelectedRows() const;
    // The context-menu commands "Сохранить в CSV…" and "Копировать строки"; a grid with a menu of
    // its own adds them there through addExportCommands.
    QAction *acExportCsv, *acCopyRows;
    // Ends a context menu of the grid's own with a separator and the two export commands, enabled
    // by the same rules as in the grid's standard menu each time the menu opens.
    void addExportCommands(QMenu *menu);
    // Enables the export commands for the grid's current rows and selection.
    void updateExportCommands();

signals:
    void rowDoubleClicked();
    void sortMarkersChanged(); // a title click changed the markers

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index,
                                                         const QEvent *event = nullptr) const override;
    void changeEvent(QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void updateGeometries() override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void fitVisibleRows();
    void scheduleFit();
    void followDataSet();
    void modelWasReset();
    void applyColumnLayout();
    void widenToContents();
    void titleClicked(int section);
    void showSortIndicator();
    void keepSelectionVisible();
    void updateBaseStyle();

    void askAndExportCsv();

    DataSetModel *m_model;
    QWidget *m_footer = nullptr;
    std::function<QString(const GridColumn &)> m_footerText;
    QMetaObject::Connection m_scrolled;
    SortMarkers m_markers;
    bool m_markersEnabled = false;
    Qt::KeyboardModifiers m_titleModifiers; // of the last click on the titles
    bool m_moving = false;                  // the grid is moving the dataset or following it
    int m_appliedColumns = -1;              // the columns version whose widths were applied
    QVector<int> m_fittedWidths;            // per column, the width widenToContents gave it last
    bool m_widenPending = false;
    bool m_fitRows = false;    // rows fit their text (setRowsFitText)
    bool m_fitPending = false; // a fit of the rows in view waits for the event loop
    QVector<QMetaObject::Connection> m_fitConnections;
};

// The pixels of the grid's client area left below the last whole data row: the client height less
// the title row and the footer rows, modulo the row pitch, minus 1. A row's pitch is its section
// size (a grid line is drawn inside the row, not added to it).
int GridSpareHeight(const DataGrid &grid);
// Takes GridSpareHeight off the window's height, so that the grid shows whole rows.
void FitFormToGridRows(const DataGrid &grid, QWidget &window);
// Sorts the grid's dataset on the client by the grid's sort markers (each column by its sort field,
// else its field; "" restores the fetched order) and keeps the current record; hourglass meanwhile.
void SortGridByMarkers(DataGrid &grid);
// Title clicks sort the grid's dataset (SortGridByMarkers on every change of the markers).
void SortOnTitles(DataGrid &grid);
// A double click on a row runs the command when it is enabled.
void EditOnDoubleClick(DataGrid &grid, Action *command);

// One CSV line of cells: a cell with the separator, a quote, a line break or blanks at its ends is
// quoted, its quotes doubled; lines end with CR LF.
QString CsvLine(const QStringList &cells, QChar separator = u';');

// How the save command asks for a file name (a test answers for the user); returns the previous one.
using SaveFileNameHandler = std::function<QString(QWidget *parent, const QString &suggested)>;
SaveFileNameHandler SetSaveFileNameHandler(SaveFileNameHandler handler);
