#pragma once

// The layout of a rendered report, written once for every back-end: the painter (preview,
// printer, QPdfWriter) and the report's own PDF writer. The layout sizes the columns, wraps and aligns each
// text, sets it as glyphs of its font where it can, and hands the back-end one page at a time.

#include "model/Reports.h"

#include <QFont>
#include <QLineF>
#include <QRawFont>
#include <QRectF>

#include <deque>
#include <functional>
#include <vector>

// The report's three fonts: the table's text, the column titles and totals, the title.
enum ReportStyle { RegularStyle, BoldStyle, HeadingStyle, ReportStyleCount };

// DejaVu Sans 9 pt, the same bold, and bold 14 pt.
QFont ReportFont(ReportStyle style);

// One font's texts set as glyphs without a text layout: each character's glyph and advance are
// looked up once, a text too wide for its box is cut with "…". A text this cannot set faithfully
// (a character the font lacks, right-to-left script, combining marks, surrogates) is refused.
class CellSetter {
public:
    // `designMetrics`: advances as the font's design gives them, unhinted, as a PDF viewer
    // places the glyphs from the font's widths.
    CellSetter(const QRawFont &font, bool designMetrics);

    bool usable() const { return m_usable; }
    const QRawFont &font() const { return m_font; }
    double ascent() const { return m_font.ascent(); }

    // Appends the glyphs of the text cut to `width` and their places from the text's start to the
    // vectors; `shift` is where the text starts from the box's left, aligned in the width. False
    // when the text needs the text layout; nothing is appended then.
    bool set(const QString &text, double width, Qt::Alignment alignment, std::vector<quint32> &glyphs,
             std::vector<double> &xs, double *shift);

    // The advance of a character's glyph; -1 for a character this cannot set.
    double advance(QChar c) {
        const Glyph &g = glyph(c);
        return g.simple ? g.advance : -1;
    }

    // The width of the whole text and of its widest word (blanks apart). False when a character
    // cannot be set by this; the widths are not given then.
    bool measure(QStringView text, double *whole, double *longestWord) {
        double w = 0, word = 0, longest = 0;
        for (const QChar c : text) {
            const Glyph &g = glyph(c);
            if (!g.simple)
                return false;
            w += g.advance;
            word = g.space ? 0 : word + g.advance;
            longest = word > longest ? word : longest;
        }
        *whole = w;
        *longestWord = longest;
        return true;
    }

    // The character a glyph set by this stands for (a blank for the control characters shown as
    // one); 0 for a glyph it never set.
    char16_t unicodeOf(quint32 glyph) const;

private:
    struct Glyph {
        quint32 glyph = 0;
        double advance = 0;
        bool simple = false; // set with the glyph and its advance, left to right
        bool known = false;
        bool space = false; // a blank of any kind, where a word ends
    };

    Glyph lookUp(QChar c);
    const Glyph &glyph(QChar c) {
        Glyph &g = m_chars[c.unicode()];
        if (!g.known)
            g = lookUp(c);
        return g;
    }

    QRawFont m_font;
    bool m_usable; // the font is there
    bool m_design;
    std::vector<Glyph> m_chars;      // by UTF-16 code unit, looked up on first use
    std::vector<char16_t> m_unicode; // by glyph, for the glyphs looked up
    Glyph m_ellipsis;
};

// A text placed on a page: the box it is set in, and its glyphs when they could be set.
struct ReportItem {
    ReportStyle style = RegularStyle;
    QRectF box;
    Qt::Alignment alignment = Qt::AlignLeft;
    const QString *text = nullptr; // whole, for a back-end that sets it with the text layout
    bool simple = false;           // glyphs [first, first + count) of the page, each at x plus its own
    double x = 0, baseline = 0;    // whole device units
    quint32 first = 0, count = 0;
};

struct ReportPage {
    int number = 0, count = 0; // 1-based, of all pages
    std::vector<QRectF> fills; // grey, under the texts
    std::vector<QLineF> rules; // black, one unit wide
    std::vector<ReportItem> items;
    std::vector<quint32> glyphs;
    std::vector<double> xs;   // each glyph's left from its text's start
    std::deque<QString> made; // the texts of the page not in the report (the date, the page number)

    void clear();
};

// Lays a report out on pages of `pageSize` device units at `dpi`, the fonts set by `setters`
// (one per ReportStyle) with the line heights `heights`. Columns are as wide as their texts need
// within the page; a text still too wide wraps onto further lines of its row. `advance` measures
// a character the setter of its style cannot (a back-end that draws through the text layout).
// `each` gets every page in turn and returns false to stop.
void LayOutReport(const ReportTable &report, QSizeF pageSize, double dpi, CellSetter *const setters[],
                  const double heights[], const std::function<bool(const ReportPage &)> &each,
                  const std::function<double(ReportStyle, QChar)> &advance = {});
