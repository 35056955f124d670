#include "model/ReportPdf.h"

#include "data/Errors.h"
#include "model/ReportLayout.h"

#include <QFile>
#include <QMarginsF>
#include <QPageSize>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

QPageLayout ReportPageLayout(const ReportTable &report) {
    return QPageLayout(QPageSize(QPageSize::A4),
                       report.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
}

namespace {

// ---- Numbers and bytes -------------------------------------------------------------------------

void putInt(std::string &out, long long v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// A number with at most three decimals, without trailing zeros.
void putNumber(std::string &out, double v) {
    long long milli = std::llround(v * 1000);
    if (milli < 0) {
        out += '-';
        milli = -milli;
    }
    putInt(out, milli / 1000);
    int frac = int(milli % 1000);
    if (frac == 0)
        return;
    out += '.';
    for (int div = 100; div > 0 && frac > 0; div /= 10) {
        out += char('0' + frac / div);
        frac %= div;
    }
}

void putHex4(std::string &out, unsigned v) {
    static const char digits[] = "0123456789ABCDEF";
    const char h[4] = {digits[(v >> 12) & 15], digits[(v >> 8) & 15], digits[(v >> 4) & 15], digits[v & 15]};
    out.append(h, 4);
}

// A glyph's two-byte code in a literal string, escaped where the string's syntax needs it.
void putGlyph(std::string &out, quint32 glyph) {
    for (const char byte : {char(glyph >> 8), char(glyph)}) {
        if (byte == '(' || byte == ')' || byte == '\\')
            out += '\\';
        else if (byte == '\r') {
            out += "\\r";
            continue;
        }
        out += byte;
    }
}

// A text string of the document's information: UTF-16 with its byte order mark, in hexadecimal.
void putTextString(std::string &out, const QString &text) {
    out += "<FEFF";
    for (const QChar c : text)
        putHex4(out, c.unicode());
    out += '>';
}

quint16 u16(const QByteArray &b, qsizetype at) {
    return at + 2 <= b.size() ? quint16(quint8(b[at]) << 8 | quint8(b[at + 1])) : 0;
}
qint16 s16(const QByteArray &b, qsizetype at) {
    return qint16(u16(b, at));
}
quint32 u32(const QByteArray &b, qsizetype at) {
    return quint32(u16(b, at)) << 16 | u16(b, at + 2);
}
void setU16(QByteArray &b, qsizetype at, quint16 v) {
    b[at] = char(v >> 8);
    b[at + 1] = char(v);
}
void setU32(QByteArray &b, qsizetype at, quint32 v) {
    setU16(b, at, quint16(v >> 16));
    setU16(b, at + 2, quint16(v));
}
void appendU16(QByteArray &b, quint16 v) {
    b.append(char(v >> 8)).append(char(v));
}
void appendU32(QByteArray &b, quint32 v) {
    appendU16(b, quint16(v >> 16));
    appendU16(b, quint16(v));
}

quint32 tableChecksum(const QByteArray &b) {
    quint32 sum = 0;
    for (qsizetype i = 0; i < b.size(); i += 4) {
        quint32 word = 0;
        for (int k = 0; k < 4; ++k)
            word = word << 8 | (i + k < b.size() ? quint8(b[i + k]) : 0u);
        sum += word;
    }
    return sum;
}

// A deflate stream kept for the whole file: reset for each stream rather than set up anew.
class Deflater {
public:
    explicit Deflater(int level) {
        if (deflateInit(&m_z, level) != Z_OK)
            throw AppError(QStringLiteral("Не удалось начать сжатие отчёта"));
    }
    ~Deflater() { deflateEnd(&m_z); }
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;

    const std::string &packed(const char *data, size_t size) {
        deflateReset(&m_z);
        m_out.resize(deflateBound(&m_z, uLong(size)));
        m_z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
        m_z.avail_in = uInt(size);
        m_z.next_out = reinterpret_cast<Bytef *>(m_out.data());
        m_z.avail_out = uInt(m_out.size());
        if (deflate(&m_z, Z_FINISH) != Z_STREAM_END)
            throw AppError(QStringLiteral("Не удалось сжать страницу отчёта"));
        m_out.resize(m_z.total_out);
        return m_out;
    }

private:
    z_stream m_z{};
    std::string m_out;
};

// ---- The embedded font -------------------------------------------------------------------------

// A TrueType font's tables as the font engine gives them, with what the PDF file needs to know.
class FontProgram {
public:
    bool load(const QRawFont &font) {
        // Every table a TrueType font for screen and print may carry.
        static const char *const tags[] = {"OS/2", "cmap", "cvt ", "fpgm", "gasp", "glyf", "head", "hhea",
                                           "hmtx", "kern", "loca", "maxp", "name", "post", "prep", "hdmx",
                                           "LTSH", "VDMX", "vhea", "vmtx", "GDEF", "GPOS", "GSUB", "BASE",
                                           "JSTF", "MATH", "FFTM", "PCLT", "meta"};
        for (const char *tag : tags) {
            const QByteArray t = font.fontTable(tag);
            if (!t.isEmpty())
                m_tables.emplace_back(tag, t);
        }
        std::sort(m_tables.begin(), m_tables.end(),
                  [](const auto &a, const auto &b) { return a.first < b.first; });
        const QByteArray &head = table("head"), &hhea = table("hhea"), &maxp = table("maxp"),
                         &hmtx = table("hmtx"), &loca = table("loca");
        if (head.size() < 54 || hhea.size() < 36 || maxp.size() < 6 || table("glyf").isEmpty())
            return false;
        unitsPerEm = u16(head, 18);
        numGlyphs = u16(maxp, 4);
        const bool longLoca = s16(head, 50) == 1;
        if (unitsPerEm == 0 || loca.size() < (numGlyphs + 1) * (longLoca ? 4 : 2))
            return false;
        for (int g = 0; g <= numGlyphs; ++g)
            m_offsets.push_back(longLoca ? u32(loca, 4 * g) : quint32(u16(loca, 2 * g)) * 2);
        const int metrics = u16(hhea, 34);
        if (metrics == 0 || hmtx.size() < metrics * 4)
            return false;
        for (int g = 0; g < numGlyphs; ++g)
            m_advances.push_back(u16(hmtx, 4 * qMin(g, metrics - 1)));
        bbox = {s16(head, 36), s16(head, 38), s16(head, 40), s16(head, 42)};
        ascent = s16(hhea, 4);
        descent = s16(hhea, 6);
        const QByteArray &os2 = table("OS/2");
        capHeight = u16(os2, 0) >= 2 && os2.size() >= 90 ? s16(os2, 88) : ascent;
        return true;
    }

    // In thousandths of the font size, as a PDF font's widths are.
    int width(quint32 glyph) const {
        return glyph < m_advances.size() ? int(std::lround(m_advances[glyph] * 1000.0 / unitsPerEm)) : 0;
    }
    int scaled(int units) const { return int(std::lround(units * 1000.0 / unitsPerEm)); }

    // The font file with the outlines of the glyphs not `used` left empty: every table as it is
    // but the glyph data and its index (in the long form). The parts of a used composite glyph
    // are kept with it.
    QByteArray subset(std::vector<bool> used) const {
        used.resize(size_t(numGlyphs), false);
        if (numGlyphs > 0)
            used[0] = true; // .notdef
        const QByteArray &glyf = table("glyf");
        std::vector<int> pending;
        for (int g = 0; g < numGlyphs; ++g)
            if (used[size_t(g)])
                pending.push_back(g);
        while (!pending.empty()) {
            const int g = pending.back();
            pending.pop_back();
            const qsizetype start = m_offsets[size_t(g)], end = m_offsets[size_t(g) + 1];
            if (end - start < 10 || end > glyf.size() || s16(glyf, start) >= 0)
                continue;
            for (qsizetype at = start + 10; at + 4 <= end;) {
                const quint16 flags = u16(glyf, at), part = u16(glyf, at + 2);
                at += 4 + ((flags & 0x1) ? 4 : 2);
                at += (flags & 0x8) ? 2 : (flags & 0x40) ? 4 : (flags & 0x80) ? 8 : 0;
                if (part < numGlyphs && !used[part]) {
                    used[part] = true;
                    pending.push_back(part);
                }
                if (!(flags & 0x20))
                    break;
            }
        }
        QByteArray newGlyf, newLoca;
        for (int g = 0; g < numGlyphs; ++g) {
            appendU32(newLoca, quint32(newGlyf.size()));
            const qsizetype start = m_offsets[size_t(g)], end = m_offsets[size_t(g) + 1];
            if (used[size_t(g)] && end > start && end <= glyf.size()) {
                newGlyf.append(glyf.constData() + start, end - start);
                while (newGlyf.size() % 4)
                    newGlyf.append('\0');
            }
        }
        appendU32(newLoca, quint32(newGlyf.size()));
        QByteArray head = table("head");
        setU32(head, 8, 0);  // the whole file's checksum, set below
        setU16(head, 50, 1); // long glyph offsets

        const int n = int(m_tables.size());
        int power = 1, log = 0;
        while (power * 2 <= n) {
            power *= 2;
            ++log;
        }
        QByteArray file;
        appendU32(file, 0x00010000);
        appendU16(file, quint16(n));
        appendU16(file, quint16(power * 16));
        appendU16(file, quint16(log));
        appendU16(file, quint16(n * 16 - power * 16));
        QByteArray data;
        qsizetype headAt = -1;
        const qsizetype dataStart = 12 + 16 * n;
        for (const auto &[tag, original] : m_tables) {
            const QByteArray &t = tag == "glyf"   ? newGlyf
                                  : tag == "loca" ? newLoca
                                  : tag == "head" ? head
                                                  : original;
            if (tag == "head")
                headAt = dataStart + data.size();
            file.append(tag);
            appendU32(file, tableChecksum(t));
            appendU32(file, quint32(dataStart + data.size()));
            appendU32(file, quint32(t.size()));
            data.append(t);
            while (data.size() % 4)
                data.append('\0');
        }
        file.append(data);
        if (headAt >= 0)
            setU32(file, headAt + 8, 0xB1B0AFBAu - tableChecksum(file));
        return file;
    }

    int unitsPerEm = 0, numGlyphs = 0;
    int ascent = 0, descent = 0, capHeight = 0;
    std::array<int, 4> bbox{};

private:
    const QByteArray &table(const char *tag) const {
        static const QByteArray none;
        for (const auto &t : m_tables)
            if (t.first == tag)
                return t.second;
        return none;
    }

    std::vector<std::pair<QByteArray, QByteArray>> m_tables; // by tag
    std::vector<quint32> m_offsets;                          // of each glyph's data in glyf
    std::vector<quint16> m_advances;                         // in font units
};

// ---- The file ----------------------------------------------------------------------------------

class PdfFile {
public:
    explicit PdfFile(const QString &path) : m_file(path) {
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            fail();
        m_buffer.reserve(1 << 20);
        m_buffer += "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    }

    // Starts object `number`: its place goes to the cross-reference table.
    std::string &begin(int number) {
        if (size_t(number) >= m_offsets.size())
            m_offsets.resize(size_t(number) + 1, -1);
        m_offsets[size_t(number)] = m_written + qint64(m_buffer.size());
        putInt(m_buffer, number);
        m_buffer += " 0 obj\n";
        return m_buffer;
    }
    void end() {
        m_buffer += "\nendobj\n";
        if (m_buffer.size() > (1 << 20))
            flush();
    }
    void object(int number, const std::string &body) {
        begin(number) += body;
        end();
    }
    // A stream object, compressed quickly.
    void stream(int number, const char *data, size_t size, const std::string &extra = {}) {
        const std::string &packed = m_deflater.packed(data, size);
        std::string &out = begin(number);
        out += "<< /Length ";
        putInt(out, packed.size());
        out += " /Filter /FlateDecode";
        out += extra;
        out += " >>\nstream\n";
        out += packed;
        out += "\nendstream";
        end();
    }

    void finish(int root, int info) {
        const qint64 xref = m_written + qint64(m_buffer.size());
        m_buffer += "xref\n0 ";
        putInt(m_buffer, qint64(m_offsets.size()));
        m_buffer += "\n0000000000 65535 f \n";
        for (size_t i = 1; i < m_offsets.size(); ++i) {
            // Ten digits of the place, the generation and the kind: twenty bytes an entry.
            char entry[21] = "0000000000 00000 n \n";
            for (qint64 v = qMax<qint64>(0, m_offsets[i]), k = 9; k >= 0 && v > 0; --k, v /= 10)
                entry[k] = char('0' + v % 10);
            m_buffer.append(entry, 20);
        }
        m_buffer += "trailer\n<< /Size ";
        putInt(m_buffer, qint64(m_offsets.size()));
        m_buffer += " /Root ";
        putInt(m_buffer, root);
        m_buffer += " 0 R /Info ";
        putInt(m_buffer, info);
        m_buffer += " 0 R >>\nstartxref\n";
        putInt(m_buffer, xref);
        m_buffer += "\n%%EOF\n";
        flush();
        if (!m_file.flush())
            fail();
        m_file.close();
    }

    void abandon() { m_file.close(); }

private:
    void flush() {
        if (m_file.write(m_buffer.data(), qint64(m_buffer.size())) != qint64(m_buffer.size()))
            fail();
        m_written += qint64(m_buffer.size());
        m_buffer.clear();
    }
    [[noreturn]] void fail() {
        throw AppError(
            QStringLiteral("Не удалось записать файл «%1»: %2").arg(m_file.fileName(), m_file.errorString()));
    }

    QFile m_file;
    std::string m_buffer;
    qint64 m_written = 0;
    std::vector<qint64> m_offsets; // by object number
    Deflater m_deflater{Z_BEST_SPEED};
};

// Compresses and writes the pages on a second thread while the next ones are laid out: the two
// take about the same time. The file is the writer's alone until finish().
class PageWriter {
public:
    PageWriter(PdfFile &file, int firstPage, std::string mediaBox)
        : m_file(file), m_firstPage(firstPage), m_mediaBox(std::move(mediaBox)), m_thread([this] { run(); }) {
    }
    ~PageWriter() { stop(); }
    PageWriter(const PageWriter &) = delete;
    PageWriter &operator=(const PageWriter &) = delete;

    // An empty buffer for a page's content, one the writer is done with where it can.
    std::string buffer() {
        std::lock_guard lock(m_mutex);
        if (m_spare.empty())
            return {};
        std::string b = std::move(m_spare.back());
        m_spare.pop_back();
        b.clear();
        return b;
    }

    // Queues page `number` (1-based) with its content; waits while the writer is far behind.
    void put(int number, std::string &&content) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_queue.size() < 8 || m_error; });
        if (m_error)
            std::rethrow_exception(m_error);
        m_queue.emplace_back(number, std::move(content));
        m_changed.notify_all();
    }

    // Waits for every queued page to be written; the writer's error, if any, is thrown here.
    void finish() {
        stop();
        if (m_error)
            std::rethrow_exception(m_error);
    }

private:
    void stop() {
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    void run() {
        for (;;) {
            std::pair<int, std::string> page;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return !m_queue.empty() || m_closing; });
                if (m_queue.empty())
                    return;
                page = std::move(m_queue.front());
                m_queue.pop_front();
                m_changed.notify_all();
            }
            try {
                const int object = m_firstPage + 2 * (page.first - 1);
                std::string &out = m_file.begin(object);
                out += "<< /Type /Page /Parent 2 0 R ";
                out += m_mediaBox;
                out += " /Resources 4 0 R /Contents ";
                putInt(out, object + 1);
                out += " 0 R >>";
                m_file.end();
                m_file.stream(object + 1, page.second.data(), page.second.size());
            } catch (...) {
                std::lock_guard lock(m_mutex);
                m_error = std::current_exception();
                m_queue.clear();
                m_changed.notify_all();
                return;
            }
            std::lock_guard lock(m_mutex);
            m_spare.push_back(std::move(page.second));
        }
    }

    PdfFile &m_file;
    const int m_firstPage;
    const std::string m_mediaBox;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::pair<int, std::string>> m_queue;
    std::vector<std::string> m_spare;
    std::exception_ptr m_error;
    bool m_closing = false;
    std::thread m_thread; // last: started once the rest is set up
};

// The subset's name prefix: six capitals that differ with the glyphs it holds.
std::string subsetTag(const std::vector<bool> &used, int salt) {
    quint32 h = 2166136261u + quint32(salt);
    for (size_t g = 0; g < used.size(); ++g)
        if (used[g])
            h = (h ^ quint32(g)) * 16777619u;
    std::string tag;
    for (int i = 0; i < 6; ++i, h /= 26)
        tag += char('A' + h % 26);
    return tag;
}

std::string postScriptName(const QRawFont &font) {
    std::string name;
    for (const QChar c : font.familyName())
        if (c.isLetterOrNumber() && c.unicode() < 0x80)
            name += char(c.unicode());
    const QString style = font.styleName();
    if (!style.isEmpty() && style != u"Book" && style != u"Regular") {
        name += '-';
        for (const QChar c : style)
            if (c.isLetterOrNumber() && c.unicode() < 0x80)
                name += char(c.unicode());
    }
    return name;
}

} // namespace

bool WriteReportPdfDirectly(const ReportTable &report, const QString &path) {
    const QPageLayout layout = ReportPageLayout(report);
    const double dpi = ReportPdfResolution;
    const QRect paint = layout.paintRectPixels(ReportPdfResolution);
    const QRectF full = layout.fullRectPoints();
    const QRectF paintPoints = layout.paintRect(QPageLayout::Point);

    // The fonts at the file's resolution, with design advances: the viewer places each cell's
    // glyphs from the font's widths, and the cutting must agree with it.
    std::vector<std::unique_ptr<CellSetter>> setters;
    CellSetter *setterOf[ReportStyleCount];
    double heights[ReportStyleCount];
    int fontOf[ReportStyleCount];  // the embedded font of each style
    std::vector<int> firstStyleOf; // of each embedded font
    for (int s = 0; s < ReportStyleCount; ++s) {
        const QFont f = ReportFont(ReportStyle(s));
        QRawFont raw = QRawFont::fromFont(f);
        if (!raw.isValid())
            return false;
        raw.setPixelSize(f.pointSizeF() * dpi / 72);
        setters.push_back(std::make_unique<CellSetter>(raw, true));
        setterOf[s] = setters.back().get();
        heights[s] = raw.ascent() + raw.descent();
        fontOf[s] = -1;
        for (int k = 0; k < int(firstStyleOf.size()); ++k) {
            const QRawFont &other = setterOf[firstStyleOf[size_t(k)]]->font();
            if (other.familyName() == raw.familyName() && other.styleName() == raw.styleName() &&
                other.weight() == raw.weight() && other.style() == raw.style())
                fontOf[s] = k;
        }
        if (fontOf[s] < 0) {
            fontOf[s] = int(firstStyleOf.size());
            firstStyleOf.push_back(s);
        }
    }
    const int fonts = int(firstStyleOf.size());
    std::vector<FontProgram> programs(static_cast<size_t>(fonts));
    for (int k = 0; k < fonts; ++k)
        if (!programs[size_t(k)].load(setterOf[firstStyleOf[size_t(k)]]->font()))
            return false;
    std::vector<std::vector<bool>> used(static_cast<size_t>(fonts));
    for (int k = 0; k < fonts; ++k)
        used[size_t(k)].assign(size_t(programs[size_t(k)].numGlyphs), false);

    // Objects: the catalogue, the page tree, the information, the shared resources, five for each
    // font, then the pages with their contents.
    const int catalog = 1, pageTree = 2, info = 3, resources = 4, fontObjects = 5;
    const int firstPage = fontObjects + 5 * fonts;
    PdfFile file(path);

    // The page's device units (top left, y down) to PDF points.
    std::string pageHead = "q ";
    const double scale = 72.0 / dpi;
    putNumber(pageHead, scale);
    pageHead += " 0 0 ";
    putNumber(pageHead, -scale);
    pageHead += ' ';
    putNumber(pageHead, paintPoints.left());
    pageHead += ' ';
    putNumber(pageHead, full.height() - paintPoints.top());
    pageHead += " cm\n";
    std::string mediaBox = "/MediaBox [0 0 ";
    putNumber(mediaBox, full.width());
    mediaBox += ' ';
    putNumber(mediaBox, full.height());
    mediaBox += ']';

    int pages = 0;
    bool plain = true;
    PageWriter writer(file, firstPage, mediaBox);
    LayOutReport(report, QSizeF(paint.width(), paint.height()), dpi, setterOf, heights,
                 [&](const ReportPage &page) {
                     pages = page.count;
                     std::string content = writer.buffer();
                     content += pageHead;
                     if (!page.fills.empty()) {
                         content += "0.902 g\n";
                         for (const QRectF &r : page.fills) {
                             putNumber(content, r.x());
                             content += ' ';
                             putNumber(content, r.y());
                             content += ' ';
                             putNumber(content, r.width());
                             content += ' ';
                             putNumber(content, r.height());
                             content += " re f\n";
                         }
                         content += "0 g\n";
                     }
                     if (!page.rules.empty()) {
                         content += "1 w\n";
                         for (const QLineF &l : page.rules) {
                             putNumber(content, l.x1());
                             content += ' ';
                             putNumber(content, l.y1());
                             content += " m ";
                             putNumber(content, l.x2());
                             content += ' ';
                             putNumber(content, l.y2());
                             content += " l S\n";
                         }
                     }
                     // Each text's origin relative to the one before: the text matrix turns
                     // the glyphs upright in the page's downward units.
                     content += "BT\n1 0 0 -1 0 0 Tm\n";
                     int style = -1;
                     double lineX = 0, lineY = 0;
                     for (const ReportItem &item : page.items) {
                         if (!item.simple) {
                             plain = false;
                             return false;
                         }
                         if (item.count == 0)
                             continue;
                         if (item.style != style) {
                             style = item.style;
                             content += "/F";
                             putInt(content, fontOf[style] + 1);
                             content += ' ';
                             putNumber(content, setterOf[style]->font().pixelSize());
                             content += " Tf\n";
                         }
                         const double x = item.x;
                         putNumber(content, x - lineX);
                         content += ' ';
                         putNumber(content, lineY - item.baseline);
                         content += " Td(";
                         lineX = x;
                         lineY = item.baseline;
                         std::vector<bool> &usedGlyphs = used[size_t(fontOf[style])];
                         for (quint32 i = item.first; i < item.first + item.count; ++i) {
                             const quint32 g = page.glyphs[i];
                             putGlyph(content, g);
                             if (g < usedGlyphs.size())
                                 usedGlyphs[g] = true;
                         }
                         content += ")Tj\n";
                     }
                     content += "ET Q\n";
                     writer.put(page.number, std::move(content));
                     return true;
                 });
    writer.finish();
    if (!plain) {
        file.abandon();
        return false;
    }

    std::string body = "<< /Type /Catalog /Pages 2 0 R >>";
    file.object(catalog, body);
    body = "<< /Type /Pages /Count ";
    putInt(body, pages);
    body += " /Kids [";
    for (int i = 0; i < pages; ++i) {
        putInt(body, firstPage + 2 * i);
        body += " 0 R ";
    }
    body += "] >>";
    file.object(pageTree, body);
    body = "<< /Title ";
    putTextString(body, report.title);
    body += " /Creator (Velmora) /Producer (Velmora) /CreationDate (D:";
    body += report.made.toString(QStringLiteral("yyyyMMddHHmmss")).toStdString();
    body += ") >>";
    file.object(info, body);
    body = "<< /Font << ";
    for (int k = 0; k < fonts; ++k) {
        body += "/F";
        putInt(body, k + 1);
        body += ' ';
        putInt(body, fontObjects + 5 * k);
        body += " 0 R ";
    }
    body += ">> >>";
    file.object(resources, body);

    for (int k = 0; k < fonts; ++k) {
        const FontProgram &program = programs[size_t(k)];
        const std::vector<bool> &glyphs = used[size_t(k)];
        const CellSetter *const setter0 = setterOf[firstStyleOf[size_t(k)]];
        const int type0 = fontObjects + 5 * k, cidFont = type0 + 1, descriptor = type0 + 2,
                  fontFile = type0 + 3, toUnicode = type0 + 4;
        const std::string name = subsetTag(glyphs, k) + '+' + postScriptName(setter0->font());

        body =
            "<< /Type /Font /Subtype /Type0 /BaseFont /" + name + " /Encoding /Identity-H /DescendantFonts [";
        putInt(body, cidFont);
        body += " 0 R] /ToUnicode ";
        putInt(body, toUnicode);
        body += " 0 R >>";
        file.object(type0, body);

        body = "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + name +
               " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /FontDescriptor ";
        putInt(body, descriptor);
        body += " 0 R /CIDToGIDMap /Identity /DW 1000 /W [";
        for (size_t g = 0; g < glyphs.size();) {
            if (!glyphs[g]) {
                ++g;
                continue;
            }
            putInt(body, qint64(g));
            body += " [";
            for (; g < glyphs.size() && glyphs[g]; ++g) {
                putInt(body, program.width(quint32(g)));
                body += ' ';
            }
            body += "] ";
        }
        body += "] >>";
        file.object(cidFont, body);

        body = "<< /Type /FontDescriptor /FontName /" + name + " /Flags 32 /FontBBox [";
        for (int v : program.bbox) {
            putInt(body, program.scaled(v));
            body += ' ';
        }
        body += "] /ItalicAngle 0 /Ascent ";
        putInt(body, program.scaled(program.ascent));
        body += " /Descent ";
        putInt(body, program.scaled(program.descent));
        body += " /CapHeight ";
        putInt(body, program.scaled(program.capHeight));
        body += " /StemV 80 /FontFile2 ";
        putInt(body, fontFile);
        body += " 0 R >>";
        file.object(descriptor, body);

        const QByteArray subset = program.subset(glyphs);
        std::string extra = " /Length1 ";
        putInt(extra, subset.size());
        file.stream(fontFile, subset.constData(), size_t(subset.size()), extra);

        // Each glyph back to its character, for copying and searching the text.
        std::vector<std::pair<quint32, char16_t>> map;
        for (size_t g = 0; g < glyphs.size(); ++g) {
            if (!glyphs[g])
                continue;
            char16_t u = 0;
            for (int s = 0; s < ReportStyleCount && u == 0; ++s)
                if (fontOf[s] == k)
                    u = setterOf[s]->unicodeOf(quint32(g));
            if (u != 0)
                map.emplace_back(quint32(g), u);
        }
        std::string cmap = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                           "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                           "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                           "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
        for (size_t i = 0; i < map.size(); i += 100) {
            const size_t n = qMin<size_t>(100, map.size() - i);
            putInt(cmap, qint64(n));
            cmap += " beginbfchar\n";
            for (size_t j = i; j < i + n; ++j) {
                cmap += '<';
                putHex4(cmap, map[j].first);
                cmap += "> <";
                putHex4(cmap, map[j].second);
                cmap += ">\n";
            }
            cmap += "endbfchar\n";
        }
        cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
        file.stream(toUnicode, cmap.data(), cmap.size());
    }
    file.finish(catalog, info);
    return true;
}
