// Painting a report: pages, column widths, wrapped texts and page numbers.
#include "model/ReportRender.h"

#include "model/ReportLayout.h"
#include "model/ReportPdf.h"

#include "data/Errors.h"
#include "data/TessalSystem.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPaintEngine>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>

#include <algorithm>
#include <cmath>
#include <memory>

void RenderReport(const ReportTable &report, QPagedPaintDevice &device) {
    // The PDF writer takes and frees two page buffers of 10 MB for every page it compresses.
    KeepFreedMemoryForReuse();
    QPainter p;
    if (!p.begin(&device))
        throw AppError(QStringLiteral("Не удалось начать печать отчёта «%1»").arg(report.title));

    // The texts are drawn as glyph runs where the device keeps them as text (a PDF file, a
    // printer); a preview records pages as pictures, which keep text items only with their
    // characters, so there every text goes through the text layout.
    const bool glyphRuns = p.paintEngine() && p.paintEngine()->type() == QPaintEngine::Pdf;
    QFont fonts[ReportStyleCount];
    std::vector<QFontMetricsF> metrics;
    std::vector<std::unique_ptr<CellSetter>> setters;
    CellSetter *setterOf[ReportStyleCount];
    double heights[ReportStyleCount];
    for (int s = 0; s < ReportStyleCount; ++s) {
        fonts[s] = QFont(ReportFont(ReportStyle(s)), &device);
        metrics.emplace_back(fonts[s], &device);
        heights[s] = metrics.back().height();
        setters.push_back(
            std::make_unique<CellSetter>(glyphRuns ? QRawFont::fromFont(fonts[s]) : QRawFont(), false));
        setterOf[s] = setters.back().get();
    }

    std::vector<quint32> runGlyphs[ReportStyleCount];
    std::vector<QPointF> runPlaces[ReportStyleCount];
    LayOutReport(
        report, QSizeF(device.width(), device.height()), device.logicalDpiY(), setterOf, heights,
        [&](const ReportPage &page) {
            if (page.number > 1)
                device.newPage();
            for (const QRectF &fill : page.fills)
                p.fillRect(fill, QColor(230, 230, 230));
            for (const QLineF &rule : page.rules)
                p.drawLine(rule);
            for (const ReportItem &item : page.items) {
                if (item.simple) {
                    for (quint32 i = item.first; i < item.first + item.count; ++i) {
                        runGlyphs[item.style].push_back(page.glyphs[i]);
                        runPlaces[item.style].emplace_back(std::round(item.x + page.xs[i]), item.baseline);
                    }
                    continue;
                }
                // The layout measured the text a character at a time; the text layout's
                // kerning may make it a little wider, which the cell's padding takes.
                p.setFont(fonts[item.style]);
                p.drawText(item.box, int(Qt::AlignVCenter | item.alignment),
                           metrics[size_t(item.style)].elidedText(*item.text, Qt::ElideRight,
                                                                  item.box.width() * 1.05));
            }
            // Each font's glyphs of the page as one run.
            for (int s = 0; s < ReportStyleCount; ++s) {
                if (runGlyphs[s].empty())
                    continue;
                QGlyphRun run;
                run.setRawFont(setterOf[s]->font());
                run.setRawData(runGlyphs[s].data(), runPlaces[s].data(), int(runGlyphs[s].size()));
                p.drawGlyphRun(QPointF(0, 0), run);
                runGlyphs[s].clear();
                runPlaces[s].clear();
            }
            return true;
        },
        [&](ReportStyle style, QChar c) { return metrics[size_t(style)].horizontalAdvance(c); });
    p.end();
}

void WriteReportPdf(const ReportTable &report, const QString &path) {
    {
        // QPdfWriter says nothing about a file it cannot open: try first.
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly))
            throw AppError(
                QStringLiteral("Не удалось записать файл «%1»: %2").arg(path, probe.errorString()));
    }
    // The report's own writer; the painter's way for a report with a text it cannot set as glyphs.
    if (WriteReportPdfDirectly(report, path))
        return;
    QPdfWriter pdf(path);
    pdf.setTitle(report.title);
    pdf.setCreator(QStringLiteral("Velmora"));
    pdf.setPageLayout(ReportPageLayout(report));
    pdf.setResolution(ReportPdfResolution);
    RenderReport(report, pdf);
}

QString ReportFileName(const QString &title) {
    QString name;
    name.reserve(title.size() + 4);
    for (const QChar c : title) {
        // Refused by Windows file systems, or a separator of folders; control characters go too.
        if (QStringView(u"/\\:*?\"<>|").contains(c) || c.category() == QChar::Other_Control)
            name += u' ';
        else
            name += c;
    }
    name = name.simplified();
    // Windows drops dots and blanks at a name's end.
    while (name.endsWith(u'.') || name.endsWith(u' '))
        name.chop(1);
    if (name.isEmpty())
        name = QStringLiteral("Отчёт");
    return name + QStringLiteral(".pdf");
}
