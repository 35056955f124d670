#include "ReportLayout.h"

#include <cmath>

QFont ReportFont(ReportStyle style) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(style == HeadingStyle ? 14 : 9);
    f.setBold(style != RegularStyle);
    return f;
}

CellSetter::CellSetter(const QRawFont &font, bool designMetrics)
    : m_font(font), m_design(designMetrics), m_chars(size_t(0x10000)) {
    m_ellipsis = lookUp(QChar(0x2026));
    if (m_ellipsis.glyph == 0)
        m_ellipsis = Glyph{};
}

CellSetter::Glyph CellSetter::lookUp(QChar c) {
    Glyph g;
    g.known = true;
    if (!m_font.isValid())
        return g;
    const QChar::Category category = c.category();
    const QChar::Direction direction = c.direction();
    if (c.isSurrogate() || category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
        category == QChar::Mark_Enclosing || direction == QChar::DirR || direction == QChar::DirAL ||
        direction == QChar::DirRLE || direction == QChar::DirRLO || direction == QChar::DirRLI)
        return g;
    // Control characters (a tab or line break in a value) stand as a blank.
    const QChar shown = category == QChar::Other_Control || category == QChar::Separator_Line ||
                                category == QChar::Separator_Paragraph
                            ? QChar(u' ')
                            : c;
    int count = 1;
    if (!m_font.glyphIndexesForChars(&shown, 1, &g.glyph, &count) || count != 1 || g.glyph == 0)
        return g;
    QPointF advance;
    if (!m_font.advancesForGlyphIndexes(&g.glyph, &advance, 1,
                                        m_design ? QRawFont::UseDesignMetrics : QRawFont::SeparateAdvances))
        return g;
    g.advance = advance.x();
    g.simple = true;
    if (m_unicode.size() <= g.glyph)
        m_unicode.resize(g.glyph + 1);
    if (m_unicode[g.glyph] == 0)
        m_unicode[g.glyph] = shown.unicode();
    return g;
}

char16_t CellSetter::unicodeOf(quint32 glyph) const {
    return glyph < m_unicode.size() ? m_unicode[glyph] : 0;
}

bool CellSetter::set(const QString &text, double width, Qt::Alignment alignment, std::vector<quint32> &glyphs,
                     std::vector<double> &xs, double *shift) {
    const size_t start = glyphs.size();
    double x = 0;
    bool cut = false;
    for (const QChar c : text) {
        const Glyph &g = glyph(c);
        if (!g.simple) {
            glyphs.resize(start);
            xs.resize(start);
            return false;
        }
        if (x + g.advance > width) {
            cut = true;
            break;
        }
        glyphs.push_back(g.glyph);
        xs.push_back(x);
        x += g.advance;
    }
    if (cut) {
        // As many characters as leave room for the ellipsis.
        while (glyphs.size() > start && x + m_ellipsis.advance > width) {
            glyphs.pop_back();
            x = xs.back();
            xs.pop_back();
        }
        if (m_ellipsis.glyph != 0 && x + m_ellipsis.advance <= width) {
            glyphs.push_back(m_ellipsis.glyph);
            xs.push_back(x);
            x += m_ellipsis.advance;
        }
    }
    *shift = 0;
    if (alignment & Qt::AlignRight)
        *shift = width - x;
    else if (alignment & Qt::AlignHCenter)
        *shift = (width - x) / 2;
    return true;
}

void ReportPage::clear() {
    fills.clear();
    rules.clear();
    items.clear();
    glyphs.clear();
    xs.clear();
    made.clear();
}

void LayOutReport(const ReportTable &report, QSizeF pageSize, double dpi, CellSetter *const setters[],
                  const double heights[], const std::function<bool(const ReportPage &)> &each) {
    const double width = pageSize.width();
    const double rh = heights[RegularStyle], hh = heights[HeadingStyle];
    const double rowHeight = rh * 1.35;
    const double footerHeight = rh * 2;
    const double cellPad = dpi * 0.03;

    ReportPage page;
    // A text in its box, vertically centred; it starts on whole device units (a tenth of a
    // millimetre at most on paper), which keeps the numbers a PDF file writes short.
    // `text` lasts as long as the page: the report's own or one of the page's made texts.
    auto place = [&](ReportStyle style, const QString &text, const QRectF &box, Qt::Alignment alignment) {
        if (text.isEmpty())
            return;
        ReportItem item;
        item.style = style;
        item.box = box;
        item.alignment = alignment;
        item.text = &text;
        item.first = quint32(page.glyphs.size());
        CellSetter &setter = *setters[style];
        double shift = 0;
        if (setter.usable() && setter.set(text, box.width(), alignment, page.glyphs, page.xs, &shift)) {
            item.simple = true;
            item.count = quint32(page.glyphs.size()) - item.first;
            item.x = std::round(box.left() + shift);
            item.baseline = std::round(box.top() + (box.height() - heights[style]) / 2 + setter.ascent());
        }
        page.items.push_back(std::move(item));
    };

    // The first page's head: title, date, lines.
    const double headHeight = hh * 1.4 + rh * 1.3 * double(1 + report.lines.size()) + rowHeight * 0.5;
    const double bottom = pageSize.height() - footerHeight;
    const int firstRows = qMax(1, int((bottom - headHeight - rowHeight) / rowHeight));
    const int otherRows = qMax(1, int((bottom - rowHeight) / rowHeight));
    const int dataRows = qMax<int>(1, int(report.rows.size())); // an empty report says so on one row
    const int totalsRows = int(report.totals.size());
    const int allRows = dataRows + totalsRows;
    const int pages = allRows <= firstRows ? 1 : 1 + (allRows - firstRows + otherRows - 1) / otherRows;

    // Column edges from their shares of the width; each cell's text box inside its padding.
    double shares = 0;
    for (const ReportColumn &c : report.columns)
        shares += c.width;
    std::vector<double> left;
    double x = 0;
    for (const ReportColumn &c : report.columns) {
        left.push_back(x);
        x += shares > 0 ? width * c.width / shares : 0;
    }
    left.push_back(width);
    auto cellBox = [&](int c, double y) {
        return QRectF(left[size_t(c)] + cellPad, y, left[size_t(c) + 1] - left[size_t(c)] - 2 * cellPad,
                      rowHeight);
    };

    const QString date = QStringLiteral("Дата: ") + report.made.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
    int row = 0; // index over the data rows, then the totals
    for (int pageNo = 1; pageNo <= pages; ++pageNo) {
        page.clear();
        page.number = pageNo;
        page.count = pages;
        double y = 0;
        if (pageNo == 1) {
            place(HeadingStyle, report.title, QRectF(0, 0, width, hh * 1.4), Qt::AlignLeft);
            y = hh * 1.4;
            place(RegularStyle, page.made.emplace_back(date), QRectF(0, y, width, rh * 1.3), Qt::AlignLeft);
            y += rh * 1.3;
            for (const QString &line : report.lines) {
                place(RegularStyle, line, QRectF(0, y, width, rh * 1.3), Qt::AlignLeft);
                y += rh * 1.3;
            }
            y = headHeight;
        }
        page.fills.emplace_back(0, y, width, rowHeight);
        for (int c = 0; c < report.columns.size(); ++c)
            place(BoldStyle, report.columns[c].title, cellBox(c, y), report.columns[c].alignment);
        page.rules.emplace_back(QPointF(0, y + rowHeight), QPointF(width, y + rowHeight));
        y += rowHeight;
        const int capacity = pageNo == 1 ? firstRows : otherRows;
        for (int n = 0; n < capacity && row < allRows; ++n, ++row) {
            if (row < dataRows) {
                if (report.rows.empty()) {
                    place(RegularStyle, page.made.emplace_back(QStringLiteral("Нет данных.")),
                          QRectF(cellPad, y, width, rowHeight), Qt::AlignLeft);
                } else {
                    const QStringList &values = report.rows[size_t(row)];
                    for (int c = 0; c < report.columns.size() && c < values.size(); ++c)
                        place(RegularStyle, values[c], cellBox(c, y), report.columns[c].alignment);
                }
            } else {
                place(BoldStyle, report.totals[row - dataRows],
                      QRectF(cellPad, y, width - 2 * cellPad, rowHeight), Qt::AlignRight);
            }
            y += rowHeight;
        }
        place(RegularStyle,
              page.made.emplace_back(QStringLiteral("Страница %1 из %2").arg(pageNo).arg(pages)),
              QRectF(0, pageSize.height() - footerHeight, width, footerHeight), Qt::AlignHCenter);
        if (!each(page))
            return;
    }
}
