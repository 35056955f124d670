#include "model/ReportLayout.h"

#include <cmath>

QFont ReportFont(ReportStyle style) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(style == HeadingStyle ? 14 : 9);
    f.setBold(style != RegularStyle);
    return f;
}

CellSetter::CellSetter(const QRawFont &font, bool designMetrics)
    : m_font(font), m_usable(font.isValid()), m_design(designMetrics), m_chars(size_t(0x10000)) {
    m_ellipsis = lookUp(QChar(0x2026));
    if (m_ellipsis.glyph == 0)
        m_ellipsis = Glyph{};
}

CellSetter::Glyph CellSetter::lookUp(QChar c) {
    Glyph g;
    g.known = true;
    g.space = c.isSpace();
    if (!m_usable)
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

namespace {

// Where a line of a cell may end: after a blank or a slash ("1457/2025"). A serial number or a
// name's part is broken elsewhere only when it is wider than its whole column.
bool breaksAfter(QChar c) {
    return c.isSpace() || c == u'/';
}

} // namespace

void LayOutReport(const ReportTable &report, QSizeF pageSize, double dpi, CellSetter *const setters[],
                  const double heights[], const std::function<bool(const ReportPage &)> &each,
                  const std::function<double(ReportStyle, QChar)> &advance) {
    const double width = pageSize.width();
    const double rh = heights[RegularStyle], hh = heights[HeadingStyle];
    const double rowHeight = rh * 1.35;
    const double lineStep = rh * 1.05; // from one line of a wrapped cell to the next
    const double footerHeight = rh * 2;
    const double cellPad = dpi * 0.03;

    // A character's advance in a style: the setter's own where it sets the character, the
    // back-end's measure otherwise.
    auto charWidth = [&](ReportStyle style, QChar c) {
        CellSetter &setter = *setters[style];
        if (setter.usable()) {
            const double a = setter.advance(c);
            if (a >= 0)
                return a;
        }
        return advance ? advance(style, c) : 0.0;
    };
    auto textWidth = [&](ReportStyle style, const QString &text) {
        double w = 0;
        for (const QChar c : text)
            w += charWidth(style, c);
        return w;
    };
    // The lines a text takes in a box `boxWidth` wide: whole words where they fit, a word longer
    // than the box broken where the box ends. Nothing is left out. `lines` may be null to count.
    auto wrap = [&](ReportStyle style, const QString &text, double boxWidth, QStringList *lines) {
        const int n = int(text.size());
        int count = 0, start = 0;
        while (start < n) {
            double x = 0;
            int end = start, lastBreak = -1;
            for (int i = start; i < n; ++i) {
                x += charWidth(style, text[i]);
                if (x > boxWidth && i > start)
                    break;
                end = i + 1;
                if (breaksAfter(text[i]))
                    lastBreak = i + 1;
            }
            const int cut = end == n || lastBreak <= start ? end : lastBreak;
            ++count;
            if (lines)
                *lines << text.mid(start, cut - start).trimmed();
            start = cut;
            while (start < n && text[start].isSpace())
                ++start;
        }
        return qMax(1, count);
    };

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

    // Column widths from their content: every column as wide as its widest text (title included)
    // when the page has room, what is left over shared by the columns' weights; otherwise never
    // narrower than its longest word (a serial number, a title's word, while that takes less than
    // half the page), and the room beyond the words shared by what more each column's texts want.
    const int columnCount = int(report.columns.size());
    std::vector<double> natural(size_t(columnCount), 0), least(size_t(columnCount), 0);
    for (int c = 0; c < columnCount; ++c) {
        const QString &title = report.columns[c].title;
        natural[size_t(c)] = textWidth(BoldStyle, title);
        for (const QString &word : title.split(u' ', Qt::SkipEmptyParts))
            least[size_t(c)] = qMax(least[size_t(c)], textWidth(BoldStyle, word));
    }
    // Each cell measured once: its width decides its column and whether it wraps.
    std::vector<float> cellWidths(report.rows.size() * size_t(columnCount), 0);
    CellSetter &regular = *setters[RegularStyle];
    for (size_t r = 0; r < report.rows.size(); ++r) {
        const QStringList &values = report.rows[r];
        for (int c = 0; c < columnCount && c < values.size(); ++c) {
            const QString &value = values[c];
            double whole = 0, longest = 0;
            if (!regular.usable() || !regular.measure(value, &whole, &longest)) {
                double word = 0;
                whole = 0;
                longest = 0;
                for (const QChar ch : value) {
                    const double a = charWidth(RegularStyle, ch);
                    whole += a;
                    word = ch.isSpace() ? 0 : word + a;
                    longest = qMax(longest, word);
                }
            }
            natural[size_t(c)] = qMax(natural[size_t(c)], whole);
            least[size_t(c)] = qMax(least[size_t(c)], qMin(longest, width * 0.5));
            cellWidths[r * size_t(columnCount) + size_t(c)] = float(whole);
        }
    }
    // Padding on both sides, and a unit for the back-ends' rounding.
    for (int c = 0; c < columnCount; ++c) {
        natural[size_t(c)] = std::ceil(natural[size_t(c)]) + 2 * cellPad + 2;
        least[size_t(c)] = qMin(natural[size_t(c)], std::ceil(least[size_t(c)]) + 2 * cellPad + 2);
    }
    std::vector<double> widths(size_t(columnCount), 0);
    {
        double needed = 0;
        for (double w : natural)
            needed += w;
        if (needed <= width) {
            double shares = 0;
            for (const ReportColumn &c : report.columns)
                shares += c.width;
            for (int c = 0; c < columnCount; ++c)
                widths[size_t(c)] =
                    natural[size_t(c)] + (shares > 0 ? (width - needed) * report.columns[c].width / shares
                                                     : (width - needed) / columnCount);
        } else {
            // Each column its longest word first; the room left goes to what more the texts want:
            // a column wanting no more than its fair part of that room gets it all, the others
            // share the rest by what they want. Words wider than the page together share it.
            double leastSum = 0;
            for (int c = 0; c < columnCount; ++c) {
                widths[size_t(c)] = least[size_t(c)];
                leastSum += least[size_t(c)];
            }
            double spare = width - leastSum;
            if (spare <= 0) {
                for (double &w : widths)
                    w *= width / leastSum;
            } else {
                std::vector<bool> settled(size_t(columnCount), false);
                int open = columnCount;
                for (bool changed = true; changed && open > 0;) {
                    changed = false;
                    const double fair = spare / open;
                    for (int c = 0; c < columnCount; ++c) {
                        const double want = natural[size_t(c)] - least[size_t(c)];
                        if (settled[size_t(c)] || want > fair)
                            continue;
                        widths[size_t(c)] += want;
                        spare -= want;
                        settled[size_t(c)] = true;
                        --open;
                        changed = true;
                    }
                }
                double wanted = 0;
                for (int c = 0; c < columnCount; ++c)
                    if (!settled[size_t(c)])
                        wanted += natural[size_t(c)] - least[size_t(c)];
                for (int c = 0; c < columnCount; ++c)
                    if (!settled[size_t(c)] && wanted > 0)
                        widths[size_t(c)] += spare * (natural[size_t(c)] - least[size_t(c)]) / wanted;
            }
        }
    }
    std::vector<double> left;
    double x = 0;
    for (int c = 0; c < columnCount; ++c) {
        left.push_back(x);
        x += widths[size_t(c)];
    }
    left.push_back(width);
    auto boxWidth = [&](int c) { return left[size_t(c) + 1] - left[size_t(c)] - 2 * cellPad; };
    auto lineBox = [&](int c, double y, int line) {
        return QRectF(left[size_t(c)] + cellPad, y + line * lineStep, boxWidth(c), rowHeight);
    };
    auto heightOf = [&](int lines) { return rowHeight + (lines - 1) * lineStep; };
    // A row's cells, each on as many lines as it needs (`widths`: the cells' widths when measured
    // already); the row's height.
    auto linesOf = [&](ReportStyle style, const QStringList &values, const float *widths) {
        int lines = 1;
        for (int c = 0; c < columnCount && c < values.size(); ++c)
            if ((widths ? double(widths[c]) : textWidth(style, values[c])) > boxWidth(c))
                lines = qMax(lines, wrap(style, values[c], boxWidth(c), nullptr));
        return lines;
    };
    auto placeRow = [&](ReportStyle style, const QStringList &values, const float *widths, double y) {
        for (int c = 0; c < columnCount && c < values.size(); ++c) {
            const Qt::Alignment alignment = report.columns[c].alignment;
            if ((widths ? double(widths[c]) : textWidth(style, values[c])) <= boxWidth(c)) {
                place(style, values[c], lineBox(c, y, 0), alignment);
                continue;
            }
            QStringList lines;
            wrap(style, values[c], boxWidth(c), &lines);
            for (int l = 0; l < lines.size(); ++l)
                place(style, page.made.emplace_back(lines[l]), lineBox(c, y, l), alignment);
        }
    };

    QStringList titles;
    for (const ReportColumn &c : report.columns)
        titles << c.title;
    const double titleHeight = heightOf(linesOf(BoldStyle, titles, nullptr));

    // The first page's head: title, date, lines.
    const double headHeight = hh * 1.4 + rh * 1.3 * double(1 + report.lines.size()) + rowHeight * 0.5;
    const double bottom = pageSize.height() - footerHeight;
    const int dataRows = qMax<int>(1, int(report.rows.size())); // an empty report says so on one row
    const int totalsRows = int(report.totals.size());
    const int allRows = dataRows + totalsRows;
    std::vector<double> rowHeights(size_t(allRows), rowHeight);
    for (int r = 0; r < int(report.rows.size()); ++r)
        rowHeights[size_t(r)] = heightOf(
            linesOf(RegularStyle, report.rows[size_t(r)], &cellWidths[size_t(r) * size_t(columnCount)]));
    // The first row of each page; a row taller than a page still gets one of its own.
    std::vector<int> firstRowOf{0};
    {
        double room = bottom - headHeight - titleHeight;
        for (int r = 0; r < allRows; ++r) {
            if (rowHeights[size_t(r)] > room + 1e-6 && r > firstRowOf.back()) {
                firstRowOf.push_back(r);
                room = bottom - titleHeight;
            }
            room -= rowHeights[size_t(r)];
        }
    }
    const int pages = int(firstRowOf.size());
    firstRowOf.push_back(allRows);

    const QString date = QStringLiteral("Дата: ") + report.made.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
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
        page.fills.emplace_back(0, y, width, titleHeight);
        placeRow(BoldStyle, titles, nullptr, y);
        page.rules.emplace_back(QPointF(0, y + titleHeight), QPointF(width, y + titleHeight));
        y += titleHeight;
        for (int row = firstRowOf[size_t(pageNo - 1)]; row < firstRowOf[size_t(pageNo)]; ++row) {
            if (row < dataRows) {
                if (report.rows.empty())
                    place(RegularStyle, page.made.emplace_back(QStringLiteral("Нет данных.")),
                          QRectF(cellPad, y, width, rowHeight), Qt::AlignLeft);
                else
                    placeRow(RegularStyle, report.rows[size_t(row)],
                             &cellWidths[size_t(row) * size_t(columnCount)], y);
            } else {
                place(BoldStyle, report.totals[row - dataRows],
                      QRectF(cellPad, y, width - 2 * cellPad, rowHeight), Qt::AlignRight);
            }
            y += rowHeights[size_t(row)];
        }
        place(RegularStyle,
              page.made.emplace_back(QStringLiteral("Страница %1 из %2").arg(pageNo).arg(pages)),
              QRectF(0, pageSize.height() - footerHeight, width, footerHeight), Qt::AlignHCenter);
        if (!each(page))
            return;
    }
}
