// The table model of the data grids: a dataset's rows as cells, with their texts and looks.
#include "ui/DataSetModel.h"

#include "data/DataSet.h"
#include "data/TessalString.h"

#include <QDateTime>
#include <QLocale>

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

} // namespace

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
