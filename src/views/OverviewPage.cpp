#include "views/OverviewPage.h"

#include "data/Errors.h"
#include "ui/Fonts.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QGraphicsScene>
#include <QGridLayout>
#include <QHorizontalBarSeries>
#include <QImage>
#include <QLegendMarker>
#include <QPainter>
#include <QPdfWriter>
#include <QPieSeries>
#include <QPieSlice>
#include <QValueAxis>

namespace {

const QColor Colors[] = {QColor(0x2f, 0x6f, 0xb3), QColor(0xe0, 0x8a, 0x1e), QColor(0x3a, 0x9a, 0x4f),
                         QColor(0xc0, 0x39, 0x2b), QColor(0x8e, 0x8e, 0x8e)};

QFont font(int pixels, bool bold = false) {
    return NamedFont(QStringLiteral("Tahoma"), pixels, bold);
}

QString titleHtml(const OverviewChart &c) {
    QString html = QStringLiteral("<b>%1</b>").arg(c.title.toHtmlEscaped());
    if (!c.note.isEmpty())
        html += QStringLiteral("<br>%1").arg(c.note.toHtmlEscaped());
    return html;
}

QString chartObjectName(const QString &name) {
    return QStringLiteral("ch") + name.left(1).toUpper() + name.mid(1);
}

} // namespace

QChart *MakeOverviewChart(const OverviewChart &c,
                          const std::function<void(const QString &, int, const QString &)> &clicked) {
    auto *chart = new QChart;
    chart->setObjectName(chartObjectName(c.name));
    chart->setLocale(QLocale(QLocale::Russian, QLocale::Russia));
    chart->setLocalizeNumbers(true);
    chart->setTitleFont(font(13));
    chart->setTitle(titleHtml(c));
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->legend()->setFont(font(11));

    if (c.shape == OverviewChart::Shape::Ring) {
        auto *pie = new QPieSeries;
        pie->setHoleSize(0.45);
        pie->setPieSize(0.75);
        const OverviewSeries &s = c.series.front();
        const QColor ring[] = {Colors[2], Colors[3], Colors[4]};
        for (int i = 0; i < c.categories.size(); ++i) {
            auto *slice = pie->append(QStringLiteral("%1: %2").arg(c.categories[i], CountText(s.values[i])),
                                      double(s.values[i]));
            slice->setColor(ring[i % 3]);
            slice->setLabelFont(font(11));
            slice->setLabelVisible(s.values[i] > 0);
            if (clicked) {
                const QString rows = s.rows, caption = c.title + QStringLiteral(": ") + c.categories[i];
                const int key = s.keys[i];
                QObject::connect(slice, &QPieSlice::clicked, slice, [=] { clicked(rows, key, caption); });
            }
        }
        chart->addSeries(pie);
        chart->legend()->setAlignment(Qt::AlignBottom);
        return chart;
    }

    const bool horizontal = c.shape == OverviewChart::Shape::HorizontalBars;
    QAbstractBarSeries *bars = horizontal ? static_cast<QAbstractBarSeries *>(new QHorizontalBarSeries)
                                          : static_cast<QAbstractBarSeries *>(new QBarSeries);
    // Horizontal bars run from the bottom up: the largest goes last, so that it stands on top.
    QStringList categories = c.categories;
    const int count = int(categories.size());
    const auto at = [horizontal, count](int i) { return horizontal ? count - 1 - i : i; };
    if (horizontal)
        std::reverse(categories.begin(), categories.end());
    int colour = 0;
    for (const OverviewSeries &s : c.series) {
        auto *set = new QBarSet(s.name);
        set->setColor(Colors[colour++ % 5]);
        set->setLabelFont(font(10));
        set->setLabelColor(Qt::black);
        for (int i = 0; i < categories.size(); ++i)
            set->append(double(s.values[at(i)]));
        if (clicked) {
            const QString rows = s.rows;
            const QVector<int> keys = s.keys;
            const QStringList names = c.categories;
            const QString title = c.title, series = s.name;
            QObject::connect(set, &QBarSet::clicked, set, [=](int index) {
                const int i = at(index);
                if (i < 0 || i >= keys.size())
                    return;
                QString caption = title + QStringLiteral(": ") + names[i];
                if (!series.isEmpty())
                    caption += QStringLiteral(", ") + series.toLower();
                clicked(rows, keys[i], caption);
            });
        }
        bars->append(set);
    }
    bars->setLabelsVisible(true);
    bars->setLabelsPosition(QAbstractBarSeries::LabelsOutsideEnd);
    bars->setLabelsPrecision(12);
    chart->addSeries(bars);

    auto *names = new QBarCategoryAxis;
    names->setLabelsFont(font(10));
    // Twelve months side by side: the month's name alone, which fits a narrow bar; the note names
    // the period.
    QStringList labels = categories;
    if (c.name == u"warranty" || c.name == u"forecast") {
        for (QString &l : labels)
            l = l.section(u' ', 0, 0);
        names->setLabelsFont(font(9));
    }
    names->append(labels);
    auto *values = new QValueAxis;
    values->setLabelsFont(font(10));
    values->setLabelFormat(QStringLiteral("%.0f"));
    qint64 top = 0;
    for (const OverviewSeries &s : c.series)
        for (qint64 v : s.values)
            top = std::max(top, v);
    values->setRange(0, std::max<double>(1.0, double(top) * 1.15));
    values->applyNiceNumbers();
    if (horizontal) {
        chart->addAxis(names, Qt::AlignLeft);
        chart->addAxis(values, Qt::AlignBottom);
    } else {
        chart->addAxis(names, Qt::AlignBottom);
        chart->addAxis(values, Qt::AlignLeft);
    }
    bars->attachAxis(names);
    bars->attachAxis(values);
    chart->legend()->setVisible(c.series.size() > 1);
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

QString OverviewHeading(const OverviewData &data) {
    return QStringLiteral("Сводка: %1 на %2")
        .arg(data.departmentName, data.today.toString(QStringLiteral("dd.MM.yyyy")));
}

void PaintOverview(QPainter &painter, const QRectF &page, const OverviewData &data) {
    painter.save();
    painter.fillRect(page, Qt::white);
    painter.setPen(Qt::black);
    painter.setFont(font(18, true));
    const qreal headingHeight = 36;
    painter.drawText(QRectF(page.left() + 6, page.top(), page.width() - 12, headingHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, OverviewHeading(data));
    const int columns = 3, rows = int((data.charts.size() + columns - 1) / columns);
    const qreal w = page.width() / columns, h = (page.height() - headingHeight) / std::max(rows, 1);
    for (size_t i = 0; i < data.charts.size(); ++i) {
        QGraphicsScene scene;
        QChart *chart = MakeOverviewChart(data.charts[i]);
        scene.addItem(chart);
        const QRectF source(0, 0, w, h);
        chart->setGeometry(source);
        QCoreApplication::sendPostedEvents(); // the chart lays out its axes and labels
        const QRectF target(page.left() + qreal(i % columns) * w,
                            page.top() + headingHeight + qreal(i / columns) * h, w, h);
        scene.render(&painter, target, source);
    }
    painter.restore();
}

void WriteOverviewPdf(const QString &path, const OverviewData &data) {
    QPdfWriter pdf(path);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageOrientation(QPageLayout::Landscape);
    pdf.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
    pdf.setResolution(96);
    pdf.setTitle(OverviewHeading(data));
    pdf.setCreator(QStringLiteral("Velmora"));
    QPainter painter;
    if (!painter.begin(&pdf))
        throw AppError(QStringLiteral("Файл «%1» не удаётся записать").arg(path));
    PaintOverview(painter, QRectF(0, 0, pdf.width(), pdf.height()), data);
    if (!painter.end())
        throw AppError(QStringLiteral("Файл «%1» не удаётся записать").arg(path));
}

void WriteOverviewPng(const QString &path, const OverviewData &data, const QSize &size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        PaintOverview(painter, QRectF(QPointF(0, 0), QSizeF(size)), data);
    }
    if (!image.save(path, "PNG"))
        throw AppError(QStringLiteral("Файл «%1» не удаётся записать").arg(path));
}

TOverviewPage::TOverviewPage(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pnCharts"));
    m_grid = new QGridLayout(this);
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setSpacing(2);
}

void TOverviewPage::setData(const OverviewData &data) {
    m_data = data;
    const auto onClick = [this](const QString &rows, int key, const QString &caption) {
        emit barClicked(rows, key, caption);
    };
    for (size_t i = 0; i < m_data.charts.size(); ++i) {
        const OverviewChart &c = m_data.charts[i];
        QChartView *view = chartView(c.name);
        if (!view) {
            view = new QChartView(this);
            view->setObjectName(chartObjectName(c.name));
            view->setRenderHint(QPainter::Antialiasing);
            view->setMinimumSize(240, 180);
            m_grid->addWidget(view, int(i) / 3, int(i) % 3);
            m_views << view;
        }
        QChart *old = view->chart();
        view->setChart(MakeOverviewChart(c, onClick));
        delete old;
    }
}

QChartView *TOverviewPage::chartView(const QString &name) const {
    const QString object = chartObjectName(name);
    for (QChartView *v : m_views)
        if (v->objectName() == object)
            return v;
    return nullptr;
}
