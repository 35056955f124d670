#pragma once

#include "ui/DataSetModel.h"

#include <QTableView>

#include <functional>

class Action;
class QAction;
class QMenu;

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
