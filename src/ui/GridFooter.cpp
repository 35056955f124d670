// The footer of a data grid: a row of totals under the columns.
#include "ui/DataGrid.h"

#include "data/DataSet.h"

#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>

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
