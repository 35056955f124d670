#include "DataGrid.h"

#include "Actions.h"
#include "BusyCursor.h"
#include "DataSet.h"
#include "Errors.h"
#include "TessalDialog.h"
#include "TessalString.h"

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

QString gridDisplayText(const QVariant &v, const QString &displayFormat) {
    if (v.isNull() || !v.isValid())
        return QString();
    if (v.typeId() == QMetaType::QDateTime || v.typeId() == QMetaType::QDate) {
        const QDateTime dt = v.toDateTime();
        if (!displayFormat.isEmpty())
            return QLocale(QLocale::Russian).toString(dt, displayFormat);
        return dt.time() == QTime(0, 0) ? dt.toString(QStringLiteral("dd.MM.yyyy"))
                                        : dt.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
    }
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("Да") : QStringLiteral("Нет");
    return v.toString();
}

namespace {

bool isNumeric(FieldType t) {
    switch (t) {
    case FieldType::Integer:
    case FieldType::SmallInt:
    case FieldType::BigInt:
    case FieldType::Float:
    case FieldType::Money:
        return true;
    default:
        return false;
    }
}

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

// ---------------------------------------------------------------------------------------------
// DataSetModel

DataSetModel::DataSetModel(QObject *parent) : QAbstractTableModel(parent) {}

DataSetModel::DataSetModel(DataSet *dataSet, const QVector<GridColumn> &columns, QObject *parent)
    : QAbstractTableModel(parent) {
    m_declared = columns;
    setDataSet(dataSet);
}

void DataSetModel::setDataSet(DataSet *dataSet) {
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_dataSet = dataSet;
    if (dataSet) {
        m_connections << connect(dataSet, &DataSet::dataChanged, this, &DataSetModel::reload)
                      << connect(dataSet, &DataSet::fieldChanged, this, &DataSetModel::refreshCurrentRow)
                      << connect(dataSet, &DataSet::stateChanged, this, &DataSetModel::refreshCurrentRow)
                      << connect(dataSet, &QObject::destroyed, this, &DataSetModel::reload);
    }
    reload();
}

void DataSetModel::setColumns(const QVector<GridColumn> &columns) {
    m_declared = columns;
    reload();
}

int DataSetModel::fieldIndex(int column) const {
    return column >= 0 && column < m_fieldIndex.size() ? m_fieldIndex[column] : -1;
}

void DataSetModel::setCellStyle(CellStyle style) {
    m_style = std::move(style);
    if (m_rows > 0 && !m_shown.isEmpty())
        emit dataChanged(index(0, 0), index(m_rows - 1, int(m_shown.size()) - 1),
                         {Qt::FontRole, Qt::ForegroundRole, Qt::BackgroundRole});
}

void DataSetModel::setBaseStyle(const QFont &font, const QColor &foreground, const QColor &background) {
    m_font = font;
    m_foreground = foreground;
    m_background = background;
}

void DataSetModel::reload() {
    beginResetModel();
    rebuild();
    endResetModel();
}

void DataSetModel::rebuild() {
    // Everything here is per column; rows are never touched.
    DataSet *ds = m_dataSet;
    m_rows = ds && ds->isActive() ? ds->recordCount() : 0;

    QVector<GridColumn> shown = m_declared;
    if (shown.isEmpty() && ds) {
        for (int i = 0; i < ds->fieldCount(); ++i) {
            const Field *f = ds->field(i);
            GridColumn c;
            c.field = f->name();
            c.title = f->name();
            if (isNumeric(f->type()))
                c.alignment = Qt::AlignRight | Qt::AlignVCenter;
            shown << c;
        }
    }
    auto sameColumns = [](const QVector<GridColumn> &a, const QVector<GridColumn> &b) {
        if (a.size() != b.size())
            return false;
        for (int i = 0; i < a.size(); ++i)
            if (a[i].field != b[i].field || a[i].title != b[i].title || a[i].width != b[i].width ||
                a[i].stretch != b[i].stretch)
                return false;
        return true;
    };
    if (!sameColumns(shown, m_shown))
        ++m_columnsVersion;
    m_shown = shown;

    m_fieldIndex.clear();
    for (const GridColumn &c : std::as_const(m_shown)) {
        const Field *f = ds ? ds->findField(c.field) : nullptr;
        m_fieldIndex << (f ? f->index() : -1);
    }
}

void DataSetModel::refreshCurrentRow() {
    // While a row is edited its cells show the edit buffer; the rest of the rows cannot change.
    if (!m_dataSet || m_shown.isEmpty())
        return;
    const int row = m_dataSet->recNo();
    if (row >= 0 && row < m_rows)
        emit dataChanged(index(row, 0), index(row, int(m_shown.size()) - 1));
}

int DataSetModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int DataSetModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_shown.size());
}

bool DataSetModel::validCell(const QModelIndex &index) const {
    return index.isValid() && index.model() == this && m_dataSet && index.row() < m_rows &&
           index.row() < m_dataSet->recordCount() && index.column() < m_shown.size();
}

QVariant DataSetModel::cellValue(int row, int fieldIndex) const {
    const DataSet *ds = m_dataSet;
    if (fieldIndex < 0 || fieldIndex >= ds->fieldCount())
        return QVariant();
    try {
        if (ds->state() == DataSetState::Edit && row == ds->recNo())
            return ds->field(fieldIndex)->value();
        return ds->valueAt(row, fieldIndex);
    } catch (...) {
        // A calculated field that fails shows nothing; painting must go on.
        return QVariant();
    }
}

QString DataSetModel::cellText(int row, int column) const {
    const int fi = m_fieldIndex[column];
    const QVariant v = cellValue(row, fi);
    if (v.isNull())
        return QString();
    const Field *f = m_dataSet->field(fi);
    if (f->type() == FieldType::Money)
        return FormatText(QStringLiteral("%m"), {TypedValue::Currency(v.toString())});
    return gridDisplayText(v, f->displayFormat());
}

DataSetModel::Look DataSetModel::look(int row, int column) const {
    Look l;
    if (!m_style)
        return l;
    QFont font = m_font;
    QColor foreground = m_foreground, background = m_background;
    try {
        m_style(*m_dataSet, row, m_shown[column], font, foreground, background);
    } catch (...) {
        return l; // a failing style leaves the cell plain
    }
    if (font != m_font)
        l.font = font;
    if (foreground != m_foreground && foreground.isValid())
        l.foreground = foreground;
    if (background != m_background && background.isValid())
        l.background = background;
    return l;
}

QVariant DataSetModel::data(const QModelIndex &index, int role) const {
    if (!validCell(index))
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: // editable combo boxes read their item texts in this role
        return cellText(index.row(), index.column());
    case ValueRole:
        return cellValue(index.row(), m_fieldIndex[index.column()]);
    case Qt::TextAlignmentRole:
        return int(m_shown[index.column()].alignment);
    case Qt::FontRole:
        return look(index.row(), index.column()).font;
    case Qt::ForegroundRole:
        return look(index.row(), index.column()).foreground;
    case Qt::BackgroundRole:
        return look(index.row(), index.column()).background;
    default:
        return QVariant();
    }
}

void DataSetModel::multiData(const QModelIndex &index, QModelRoleDataSpan roleDataSpan) const {
    // A delegate asks for all roles of a cell at once: run the cell style once for the three.
    if (!validCell(index)) {
        for (QModelRoleData &d : roleDataSpan)
            d.clearData();
        return;
    }
    bool haveLook = false;
    Look l;
    for (QModelRoleData &d : roleDataSpan) {
        const int role = d.role();
        if (role == Qt::FontRole || role == Qt::ForegroundRole || role == Qt::BackgroundRole) {
            if (!haveLook) {
                l = look(index.row(), index.column());
                haveLook = true;
            }
            d.setData(role == Qt::FontRole         ? l.font
                      : role == Qt::ForegroundRole ? l.foreground
                                                   : l.background);
        } else {
            d.setData(data(index, role));
        }
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= m_shown.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    const GridColumn &c = m_shown[section];
    switch (role) {
    case Qt::DisplayRole:
        return c.title.isEmpty() ? c.field : c.title;
    case Qt::TextAlignmentRole:
        return int(c.titleAlignment);
    default:
        return QVariant();
    }
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex &index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

// ---------------------------------------------------------------------------------------------
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
// Footer

namespace {

class GridFooter : public QWidget {
public:
    explicit GridFooter(DataGrid *grid) : QWidget(grid), m_grid(grid) {
        setObjectName(QStringLiteral("footer"));
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Button));
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(0, 0, width(), 0);
        p.setPen(palette().color(QPalette::ButtonText));
        const QVector<GridColumn> &cols = m_grid->columns();
        for (int c = 0; c < cols.size(); ++c) {
            if (m_grid->isColumnHidden(c))
                continue;
            const QRect cell(m_grid->columnViewportPosition(c) + 2, 1, m_grid->columnWidth(c) - 4,
                             height() - 1);
            const QString text = m_grid->footerText(c);
            if (!text.isEmpty())
                p.drawText(cell, int(cols[c].alignment),
                           p.fontMetrics().elidedText(text, Qt::ElideRight, cell.width()));
        }
    }

private:
    DataGrid *m_grid;
};

} // namespace

void DataGrid::setFooter(std::function<QString(const GridColumn &)> text) {
    m_footerText = std::move(text);
    if (m_footerText && !m_footer) {
        m_footer = new GridFooter(this);
        connect(horizontalHeader(), &QHeaderView::sectionResized, m_footer, qOverload<>(&QWidget::update));
        connect(horizontalScrollBar(), &QScrollBar::valueChanged, m_footer, qOverload<>(&QWidget::update));
    }
    if (m_footer)
        m_footer->setVisible(bool(m_footerText));
    updateGeometries();
    refreshFooter();
}

int DataGrid::footerHeight() const {
    return footerRowCount() > 0 ? verticalHeader()->defaultSectionSize() * footerRowCount() + 1 : 0;
}

QString DataGrid::footerText(int column) const {
    const QVector<GridColumn> &cols = columns();
    if (!m_footerText || column < 0 || column >= cols.size())
        return QString();
    try {
        return m_footerText(cols[column]);
    } catch (...) {
        return QString(); // painting must go on
    }
}

void DataGrid::refreshFooter() {
    if (m_footer)
        m_footer->update();
}

void DataGrid::updateGeometries() {
    QTableView::updateGeometries();
    // The table resets the bottom margin; the footer takes it back.
    const QMargins m = viewportMargins();
    const int footer = footerHeight();
    if (m.bottom() != footer)
        setViewportMargins(m.left(), m.top(), m.right(), footer);
    if (m_footer && footer > 0) {
        const QRect vp = viewport()->geometry();
        m_footer->setGeometry(vp.left(), vp.bottom() + 1, vp.width(), footer);
    }
}

// ---------------------------------------------------------------------------------------------
// Export

namespace {

SaveFileNameHandler &saveFileName() {
    static SaveFileNameHandler h;
    return h;
}

} // namespace

SaveFileNameHandler SetSaveFileNameHandler(SaveFileNameHandler handler) {
    SaveFileNameHandler old = std::move(saveFileName());
    saveFileName() = std::move(handler);
    return old;
}

QString CsvLine(const QStringList &cells, QChar separator) {
    QStringList out;
    out.reserve(cells.size());
    for (const QString &cell : cells) {
        const bool quote = cell.contains(separator) || cell.contains(u'"') || cell.contains(u'\n') ||
                           cell.contains(u'\r') ||
                           (!cell.isEmpty() && (cell.front().isSpace() || cell.back().isSpace()));
        if (quote)
            out << u'"' + QString(cell).replace(u'"', QStringLiteral("\"\"")) + u'"';
        else
            out << cell;
    }
    return out.join(separator) + QStringLiteral("\r\n");
}

QByteArray DataGrid::csv() const {
    const QVector<GridColumn> &cols = columns();
    QStringList titles;
    for (const GridColumn &c : cols)
        titles << (c.title.isEmpty() ? c.field : c.title).trimmed();
    QString text = CsvLine(titles);
    const int rows = m_model->rowCount();
    for (int r = 0; r < rows; ++r) {
        QStringList cells;
        for (int c = 0; c < cols.size(); ++c)
            cells << m_model->data(m_model->index(r, c)).toString();
        text += CsvLine(cells);
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

QString DataGrid::selectedRowsText() const {
    QList<int> rows;
    for (const QModelIndex &i : selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    QString text;
    for (int r : std::as_const(rows)) {
        QStringList cells;
        for (int c = 0; c < m_model->columnCount(); ++c)
            // A tab or line break inside a cell would split it: a blank stands for it.
            cells << m_model->data(m_model->index(r, c))
                         .toString()
                         .replace(u'\t', u' ')
                         .replace(u'\r', u' ')
                         .replace(u'\n', u' ');
        text += cells.join(u'\t') + u'\n';
    }
    return text;
}

void DataGrid::exportCsv(const QString &path) const {
    QSaveFile file(path);
    const QByteArray bytes = csv();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw AppError(QStringLiteral("Не удалось сохранить файл «%1»: %2")
                           .arg(QDir::toNativeSeparators(path), file.errorString()));
}

void DataGrid::copySelectedRows() const {
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        clipboard->setText(selectedRowsText());
}

void DataGrid::askAndExportCsv() {
    Guarded([&] {
        // Named after the view or dialog the grid stands in.
        QString suggested;
        for (const QWidget *w = parentWidget(); w && suggested.isEmpty(); w = w->parentWidget())
            suggested = w->windowTitle().trimmed();
        suggested = QDir::home().filePath((suggested.isEmpty() ? QStringLiteral("Velmora") : suggested) +
                                          QStringLiteral(".csv"));
        const QString path =
            saveFileName() ? saveFileName()(this, suggested)
                           : QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить в CSV"), suggested,
                                                          QStringLiteral("Текст CSV (*.csv)"));
        if (!path.isEmpty())
            exportCsv(path);
    });
}

void DataGrid::updateExportCommands() {
    acCopyRows->setEnabled(selectionModel()->hasSelection());
    acExportCsv->setEnabled(m_model->columnCount() > 0);
}

void DataGrid::addExportCommands(QMenu *menu) {
    menu->addSeparator();
    menu->addAction(acCopyRows);
    menu->addAction(acExportCsv);
    connect(menu, &QMenu::aboutToShow, this, &DataGrid::updateExportCommands);
}

void DataGrid::contextMenuEvent(QContextMenuEvent *event) {
    QMenu menu(this);
    updateExportCommands();
    menu.addAction(acCopyRows);
    menu.addAction(acExportCsv);
    menu.exec(event->globalPos());
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
