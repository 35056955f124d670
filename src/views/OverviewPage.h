#pragma once

// The overview page: the six charts of OverviewData drawn by Qt Charts, on screen as a widget and
// on paper or in a picture through one painter, so that the saved page and velmora-db overview
// show what the tab shows.

#include "model/Overview.h"

#include <QWidget>

class QChart;
class QChartView;
class QGridLayout;
class QPainter;

// A chart of the page, in the program's fonts and Russian numbers; a click on a bar or slice calls
// `clicked` with the rows behind it (OverviewSeries::rows), its key and a caption for its list.
QChart *MakeOverviewChart(
    const OverviewChart &chart,
    const std::function<void(const QString &rows, int key, const QString &caption)> &clicked = {});

// The heading of the page: "Сводка: <department> на <date>".
QString OverviewHeading(const OverviewData &data);

// Paints the whole page (heading and the charts, three by two) into `page`, in vector form on a
// vector device. Needs a QApplication (the charts are graphics widgets).
void PaintOverview(QPainter &painter, const QRectF &page, const OverviewData &data);

// The page as a landscape A4 PDF (vector) or as a PNG picture; AppError when the file cannot be
// written.
void WriteOverviewPdf(const QString &path, const OverviewData &data);
void WriteOverviewPng(const QString &path, const OverviewData &data, const QSize &size = QSize(1600, 1000));

class TOverviewPage : public QWidget {
    Q_OBJECT
public:
    explicit TOverviewPage(QWidget *parent = nullptr);

    void setData(const OverviewData &data);
    const OverviewData &data() const { return m_data; }
    // The view of a chart by its name (kinds, age, warranty, forecast, network, departments); its
    // object name is "ch" followed by the name, e.g. "chKinds".
    QChartView *chartView(const QString &name) const;

signals:
    void barClicked(const QString &rows, int key, const QString &caption);

private:
    OverviewData m_data;
    QGridLayout *m_grid;
    QList<QChartView *> m_views;
};
