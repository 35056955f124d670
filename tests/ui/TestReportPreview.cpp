// The print preview draws a report through the painter, on a device that records its pages as
// pictures: the same layout as the PDF file, so the same number of pages, whatever the cells hold.
#include "model/ReportRender.h"
#include "model/Reports.h"

#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

int pdfPages(const QString &path) {
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {path});
    p.waitForFinished(60000);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)$"), QRegularExpression::MultilineOption)
            .match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

TEST(ReportPreview, ShowsAsManyPagesAsTheFile) {
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty());
    const struct {
        const char *what;
        int rows;
        bool landscape;
        QString extra; // a cell of the last row
    } cases[] = {
        {"one page", 3, false, {}},
        {"several pages", 170, false,
         QStringLiteral("Очень длинное название, которое не помещается в колонку")},
        {"landscape, a cell set through the text layout", 120, true, QStringLiteral("И\u0306ошкар-Ола שלום")},
    };
    QTemporaryDir dir;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ReportTable r;
        r.title = QStringLiteral("Список");
        r.made = QDateTime::currentDateTime();
        r.landscape = c.landscape;
        r.columns = {{QStringLiteral("№"), 0.5, Qt::AlignHCenter}, {QStringLiteral("Название"), 3}};
        for (int i = 1; i <= c.rows; ++i)
            r.rows.push_back({QString::number(i), i == c.rows && !c.extra.isEmpty()
                                                      ? c.extra
                                                      : QStringLiteral("Устройство %1").arg(i)});
        const QString path = dir.filePath(QStringLiteral("list.pdf"));
        WriteReportPdf(r, path);
        const int pages = pdfPages(path);
        ASSERT_GT(pages, 0);
        EXPECT_EQ(pages > 1, c.rows > 60);

        QPrinter printer(QPrinter::HighResolution);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageOrientation(c.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
        printer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        QPrintPreviewWidget preview(&printer);
        int requests = 0;
        QObject::connect(&preview, &QPrintPreviewWidget::paintRequested, [&](QPrinter *p) {
            ++requests;
            RenderReport(r, *p);
        });
        preview.updatePreview();
        EXPECT_EQ(requests, 1);
        EXPECT_EQ(preview.pageCount(), pages);
    }
}

} // namespace
