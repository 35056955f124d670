// What leaves a data grid as text: CSV files, and selected rows on the clipboard.
#include "ui/DataGrid.h"

#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalDialog.h"
#include "ui/Actions.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QSaveFile>

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
