#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QPointer>
#include <QVector>

#include <functional>
#include <utility>

class DataSet;

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