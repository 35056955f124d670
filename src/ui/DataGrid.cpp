// The data grid: the view over a dataset model, its current row, column layout and sort markers.
#include "ui/DataGrid.h"

#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalDialog.h"
#include "data/TessalString.h"
#include "ui/Actions.h"
#include "ui/BusyCursor.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QSaveFile>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>

namespace {

// Notes the keyboard modifiers of each mouse press and release on a grid's titles.
class TitleClickWatch : public QObject {
public:
    TitleClickWatch(Qt::KeyboardModifiers *modifiers, QObject *parent)
        : QObject(parent), m_modifiers(modifiers) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)
            *m_modifiers = static_cast<QMouseEvent *>(event)->modifiers();
        return false;
    }

private:
    Qt::KeyboardModifiers *m_modifiers;
};

} // namespace

// DataGrid

DataGrid::DataGrid(QWidget *parent) : QTableView(parent), m_model(new DataSetModel(this)) {
    setModel(m_model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setSortingEnabled(false);

    QHeaderView *h = horizontalHeader();
    h->setSectionsClickable(true);
    h->setHighlightSections(false);
    h->setDefaultAlignment(Qt::AlignCenter);
    h->setStretchLastSection(false);
    h->setSortIndicatorShown(false);
    h->setSortIndicator(-1, Qt::AscendingOrder);

    // Rows of one fixed height: the view then never measures rows, whatever their number.
    QHeaderView *v = verticalHeader();
    v->hide();
    v->setSectionResizeMode(QHeaderView::Fixed);
    v->setMinimumSectionSize(1);
    v->setDefaultSectionSize(fontMetrics().height() + 6);

    // Connected after setModel: the view has dropped its current index by the time this runs.
    connect(m_model, &QAbstractItemModel::modelReset, this, &DataGrid::modelWasReset);
    connect(h, &QHeaderView::sectionClicked, this, &DataGrid::titleClicked);
    // Control with a click adds a column to the sort instead of sorting by it alone.
    h->viewport()->installEventFilter(new TitleClickWatch(&m_titleModifiers, this));
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid())
            emit rowDoubleClicked();
    });

    keepSelectionVisible();
    updateBaseStyle();

    acExportCsv = new QAction(QStringLiteral("Сохранить в CSV…"), this);
    acExportCsv->setObjectName(QStringLiteral("acExportCsv"));
    connect(acExportCsv, &QAction::triggered, this, [this] { askAndExportCsv(); });
    acCopyRows = new QAction(QStringLiteral("Копировать строки"), this);
    acCopyRows->setObjectName(QStringLiteral("acCopyRows"));
    acCopyRows->setShortcut(QKeySequence::Copy);
    acCopyRows->setShortcutContext(Qt::WidgetShortcut);
    addAction(acCopyRows);
    connect(acCopyRows, &QAction::triggered, this, [this] { copySelectedRows(); });
    // A menu opened on an empty selection must not leave Ctrl+C off once rows are selected.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { acCopyRows->setEnabled(selectionModel()->hasSelection()); });
}

void DataGrid::setDataSet(DataSet *dataSet) {
    disconnect(m_scrolled);
    if (dataSet)
        m_scrolled = connect(dataSet, &DataSet::scrolled, this, [this] {
            if (!m_moving)
                followDataSet();
        });
    m_model->setDataSet(dataSet);
}

DataSet *DataGrid::dataSet() const {
    return m_model->dataSet();
}

void DataGrid::setColumns(const QVector<GridColumn> &columns) {
    m_markers.clear();
    m_model->setColumns(columns);
    showSortIndicator();
}

void DataGrid::modelWasReset() {
    if (m_appliedColumns != m_model->columnsVersion())
        applyColumnLayout();
    if (m_fitRows && isVisible())
        fitVisibleRows();
    // After the event: the footer's texts may read data sets that are still being set up.
    if (!m_widenPending) {
        m_widenPending = true;
        QTimer::singleShot(0, this, [this] {
            m_widenPending = false;
            widenToContents();
        });
    }
    followDataSet();
    refreshFooter();
}

void DataGrid::setRowsFitText(bool fit) {
    if (fit == m_fitRows)
        return;
    m_fitRows = fit;
    QHeaderView *v = verticalHeader();
    for (const auto &c : std::as_const(m_fitConnections))
        disconnect(c);
    m_fitConnections.clear();
    if (!fit) {
        // Back to rows of one height.
        v->setSectionResizeMode(QHeaderView::Fixed);
        v->setDefaultSectionSize(v->defaultSectionSize());
        return;
    }
    // Rows are fitted here, not by the header: its own fitting measures every row at each reset.
    v->setSectionResizeMode(QHeaderView::Interactive);
    m_fitConnections << connect(horizontalHeader(), &QHeaderView::sectionResized, this,
                                &DataGrid::scheduleFit)
                     << connect(m_model, &QAbstractItemModel::dataChanged, this, &DataGrid::scheduleFit);
    if (isVisible())
        fitVisibleRows();
}

void DataGrid::scheduleFit() {
    if (!m_fitRows || m_fitPending || !isVisible())
        return;
    m_fitPending = true;
    QTimer::singleShot(0, this, [this] {
        m_fitPending = false;
        fitVisibleRows();
    });
}

void DataGrid::fitVisibleRows() {
    if (!m_fitRows || !isVisible())
        return;
    QHeaderView *v = verticalHeader();
    const int rows = m_model->rowCount();
    const int minimum = v->defaultSectionSize();
    const int bottom = viewport()->height();
    // Fitting a row moves the ones below it: walk down from the first row in view until the view
    // is full with the heights as they are now.
    for (int row = std::max(0, rowAt(0)); row < rows && rowViewportPosition(row) < bottom; ++row) {
        const int height = std::max(minimum, sizeHintForRow(row));
        if (v->sectionSize(row) != height)
            v->resizeSection(row, height);
    }
}

void DataGrid::showEvent(QShowEvent *event) {
    QTableView::showEvent(event);
    if (m_fitRows) {
        fitVisibleRows();
        followDataSet();
    }
}

void DataGrid::resizeEvent(QResizeEvent *event) {
    QTableView::resizeEvent(event);
    scheduleFit();
}

void DataGrid::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    if (dy != 0)
        scheduleFit();
}

// A column of its own width that the user has not resized widens to show the values of the first
// rows and its footer whole: never narrower than declared, at most three times as wide.
void DataGrid::widenToContents() {
    constexpr int SampleRows = 100;
    const QVector<GridColumn> &cols = m_model->shownColumns();
    QHeaderView *h = horizontalHeader();
    const QFontMetrics metrics(font());
    const int padding = metrics.horizontalAdvance(QStringLiteral("00"));
    const int rows = std::min(m_model->rowCount(), SampleRows);
    m_fittedWidths.resize(cols.size());
    for (int c = 0; c < cols.size() && c < h->count(); ++c) {
        const int now = h->sectionSize(c);
        if (h->sectionResizeMode(c) != QHeaderView::Interactive ||
            (now != cols[c].width && now != m_fittedWidths[c]))
            continue;
        int need = metrics.horizontalAdvance(footerText(c));
        for (int r = 0; r < rows; ++r)
            need = std::max(need, metrics.horizontalAdvance(m_model->index(r, c).data().toString()));
        const int width = std::clamp(need + padding, cols[c].width, 3 * cols[c].width);
        if (width != now)
            h->resizeSection(c, width);
        m_fittedWidths[c] = width;
    }
}

void DataGrid::applyColumnLayout() {
    m_appliedColumns = m_model->columnsVersion();
    const QVector<GridColumn> &cols = m_model->shownColumns();
    int stretch = -1;
    for (int i = 0; i < cols.size(); ++i)
        if (cols[i].stretch)
            stretch = i;
    QHeaderView *h = horizontalHeader();
    for (int i = 0; i < cols.size() && i < h->count(); ++i) {
        if (i == stretch) {
            h->setSectionResizeMode(i, QHeaderView::Stretch);
        } else {
            h->setSectionResizeMode(i, QHeaderView::Interactive);
            h->resizeSection(i, cols[i].width);
        }
    }
    // Markers name columns by position; another set of columns drops them.
    bool markersValid = true;
    for (const SortMarker &m : std::as_const(m_markers))
        markersValid = markersValid && m.first < cols.size();
    if (!markersValid)
        m_markers.clear();
    showSortIndicator();
}

void DataGrid::followDataSet() {
    // The dataset's current row becomes the grid's selected row; the column stays.
    const DataSet *ds = dataSet();
    const int row = ds && ds->isActive() ? ds->recNo() : -1;
    const bool wasMoving = m_moving;
    m_moving = true;
    if (row < 0 || row >= m_model->rowCount() || m_model->columnCount() == 0) {
        selectionModel()->clear();
    } else {
        int column = currentIndex().isValid() ? currentIndex().column() : 0;
        if (isColumnHidden(column) || column >= m_model->columnCount())
            column = 0;
        const QModelIndex index = m_model->index(row, column);
        selectionModel()->setCurrentIndex(index,
                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        // Scrolling lays the rows out at once; a hidden grid scrolls to its current row when shown.
        if (isVisible())
            scrollTo(index);
    }
    m_moving = wasMoving;
}

void DataGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous) {
    QTableView::currentChanged(current, previous);
    DataSet *ds = dataSet();
    if (m_moving || !current.isValid() || !ds || !ds->isActive() || current.row() == ds->recNo())
        return;
    // The user moved: the dataset follows (posting an edited row may fail and keep it in place).
    m_moving = true;
    Guarded([&] { ds->setRecNo(current.row()); });
    m_moving = false;
    if (ds->recNo() != current.row())
        QTimer::singleShot(0, this, [this] { followDataSet(); });
}

QItemSelectionModel::SelectionFlags DataGrid::selectionCommand(const QModelIndex &index,
                                                               const QEvent *event) const {
    // The current row stays selected: Ctrl+click on it does not clear the selection.
    QItemSelectionModel::SelectionFlags flags = QTableView::selectionCommand(index, event);
    if (flags & QItemSelectionModel::Deselect)
        flags = QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    return flags;
}

void DataGrid::setSortMarkers(const SortMarkers &markers) {
    m_markers.clear();
    for (const SortMarker &m : markers) {
        if (m.first < 0)
            continue;
        bool seen = false;
        for (const SortMarker &k : std::as_const(m_markers))
            seen = seen || k.first == m.first;
        if (!seen)
            m_markers << m;
    }
    showSortIndicator();
}

void DataGrid::titleClicked(int section) {
    const QVector<GridColumn> &cols = m_model->shownColumns();
    if (m_markersEnabled && section >= 0 && section < cols.size() && cols[section].sortable) {
        auto it = std::find_if(m_markers.begin(), m_markers.end(),
                               [section](const SortMarker &m) { return m.first == section; });
        if (!(m_titleModifiers & Qt::ControlModifier)) {
            // A plain click sorts by that column alone: its marker goes on, flips, or goes off.
            const bool marked = it != m_markers.end();
            const bool ascending = marked && it->second == Qt::AscendingOrder;
            m_markers.clear();
            if (!marked)
                m_markers << SortMarker{section, Qt::AscendingOrder};
            else if (ascending)
                m_markers << SortMarker{section, Qt::DescendingOrder};
        } else if (it == m_markers.end())
            m_markers << SortMarker{section, Qt::AscendingOrder};
        else if (it->second == Qt::AscendingOrder)
            it->second = Qt::DescendingOrder;
        else
            m_markers.erase(it);
        showSortIndicator();
        emit sortMarkersChanged();
        return;
    }
    // The header flips its own indicator on a click; put back what the markers say.
    showSortIndicator();
}

void DataGrid::showSortIndicator() {
    QHeaderView *h = horizontalHeader();
    if (m_markers.isEmpty()) {
        h->setSortIndicatorShown(false);
        h->setSortIndicator(-1, Qt::AscendingOrder);
    } else {
        h->setSortIndicator(m_markers.front().first, m_markers.front().second);
        h->setSortIndicatorShown(true);
    }
}

QString DataGrid::sortText() const {
    const QVector<GridColumn> &cols = m_model->shownColumns();
    QString text;
    for (const SortMarker &m : m_markers) {
        if (m.first < 0 || m.first >= cols.size())
            continue;
        const GridColumn &c = cols[m.first];
        const QString name = c.sortField.isEmpty() ? c.field : c.sortField;
        if (name.isEmpty())
            continue;
        text += name;
        if (m.second == Qt::DescendingOrder)
            text += QStringLiteral(" DESC");
        text += u';';
    }
    return text;
}

void DataGrid::changeEvent(QEvent *event) {
    QTableView::changeEvent(event);
    switch (event->type()) {
    case QEvent::PaletteChange:
        keepSelectionVisible();
        updateBaseStyle();
        break;
    case QEvent::FontChange:
        verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
        updateBaseStyle();
        break;
    default:
        break;
    }
}

void DataGrid::keepSelectionVisible() {
    // The selected row looks the same whether or not the grid has the focus.
    QPalette p = palette();
    bool changed = false;
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        if (p.color(QPalette::Inactive, role) != p.color(QPalette::Active, role)) {
            p.setColor(QPalette::Inactive, role, p.color(QPalette::Active, role));
            changed = true;
        }
    }
    if (changed)
        setPalette(p);
}

void DataGrid::updateBaseStyle() {
    m_model->setBaseStyle(font(), palette().color(QPalette::Text), palette().color(QPalette::Base));
}

// ---------------------------------------------------------------------------------------------
// Grid helpers

int GridSpareHeight(const DataGrid &grid) {
    const int row = grid.verticalHeader()->defaultSectionSize();
    if (row <= 0)
        return 0;
    const QHeaderView *titles = grid.horizontalHeader();
    const int titleHeight = titles->isHidden() ? 0 : titles->height();
    int fixed = titleHeight;
    if (grid.footerRowCount() > 0)
        fixed += row * grid.footerRowCount() + 1;
    const int client = grid.viewport()->height() + titleHeight + grid.footerHeight();
    return (client - fixed) % row - 1;
}

void FitFormToGridRows(const DataGrid &grid, QWidget &window) {
    window.resize(window.width(), window.height() - GridSpareHeight(grid));
}

void SortOnTitles(DataGrid &grid) {
    grid.setSortMarkersEnabled(true);
    QObject::connect(&grid, &DataGrid::sortMarkersChanged, &grid,
                     [&grid] { Guarded([&] { SortGridByMarkers(grid); }); });
}

void EditOnDoubleClick(DataGrid &grid, Action *command) {
    QObject::connect(&grid, &DataGrid::rowDoubleClicked, command, [command] {
        command->updateEnabled();
        if (command->isEnabled())
            command->trigger();
    });
}

void SortGridByMarkers(DataGrid &grid) {
    DataSet *ds = grid.dataSet();
    if (!ds)
        return;
    BusyCursor busy;
    // The dataset keeps its current record through a new sort.
    ds->setSort(grid.sortText());
}
