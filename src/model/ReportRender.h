#pragma once

// Painting a report read by BuildReport: on a printer's or preview's pages, or into a PDF file.

#include "model/Reports.h"

class QPagedPaintDevice;

// Lays the report out on the device's pages: the title, the date and the lines on the first page,
// the column titles on every page, columns as wide as their texts need within the page and a text
// still too wide wrapped onto further lines (never cut), "Страница N из M" at each page's foot.
void RenderReport(const ReportTable &report, QPagedPaintDevice &device);
// Renders to a PDF file; AppError when the file cannot be written.
void WriteReportPdf(const ReportTable &report, const QString &path);

// The name a report's PDF file is offered under: the whole title (a date's dots and all) without
// the characters a file system refuses, ending in ".pdf".
QString ReportFileName(const QString &title);
