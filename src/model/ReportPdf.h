#pragma once

// The reports' own PDF writer: the laid-out pages straight into a PDF file, each cell one text
// operator of glyphs of the embedded font subset, each page one compressed content stream.

#include "model/Reports.h"

#include <QPageLayout>

// A report's pages: A4, portrait or landscape, 15 mm margins.
QPageLayout ReportPageLayout(const ReportTable &report);
// The device units a report's PDF is laid out in, per inch.
constexpr int ReportPdfResolution = 300;

// Writes the report to a PDF file. False, with nothing usable written, when a text of the report
// cannot be set as plain glyphs of its font (or the font cannot be embedded): the caller then
// renders it through the painter. AppError when the file cannot be written.
bool WriteReportPdfDirectly(const ReportTable &report, const QString &path);
