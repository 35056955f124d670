#include "data/SheetReader.h"

#include "data/Errors.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>
#include <QXmlStreamReader>
#include <cmath>
#include <vector>
#include <zip.h>

SheetReader::~SheetReader() = default;

namespace {

constexpr qint64 ChunkBytes = 1 << 20;

QString fileName(const QString &path) {
    return QFileInfo(path).fileName();
}

// ---- CSV ----------------------------------------------------------------------------------------

// Windows-1251 from 0x80 to 0xBF; from 0xC0 on the Russian letters А to я in order.
const char16_t Cp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

// Whether the bytes are well-formed UTF-8; `state` carries an unfinished sequence over to the next
// chunk (the number of continuation bytes still expected).
bool validUtf8(const QByteArray &bytes, int &state) {
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (state > 0) {
            if ((b & 0xC0) != 0x80)
                return false;
            --state;
        } else if (b >= 0x80) {
            if ((b & 0xE0) == 0xC0 && b >= 0xC2)
                state = 1;
            else if ((b & 0xF0) == 0xE0)
                state = 2;
            else if ((b & 0xF8) == 0xF0 && b <= 0xF4)
                state = 3;
            else
                return false;
        }
    }
    return true;
}

class CsvReader final : public SheetReader {
public:
    explicit CsvReader(const QString &path) : m_file(path) {
        if (!m_file.open(QIODevice::ReadOnly))
            throw AppError(
                QStringLiteral("Файл «%1» не открывается: %2").arg(fileName(path), m_file.errorString()));
        m_size = m_file.size();
        // The encoding: a byte-order mark says UTF-8; otherwise the whole file must be well-formed
        // UTF-8 to be read as such, else it is Windows-1251.
        const QByteArray head = m_file.peek(3);
        if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) {
            // "Unicode text" as a spreadsheet program saves it.
            const bool little = head.startsWith("\xFF\xFE");
            m_file.read(2);
            m_decoder = QStringDecoder(little ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
            m_utf8 = true;
            m_encoding = QStringLiteral("UTF-16");
        } else if (head == QByteArrayLiteral("\xEF\xBB\xBF")) {
            m_file.read(3);
            m_utf8 = true;
            m_encoding = QStringLiteral("UTF-8 с меткой порядка байтов");
        } else {
            int state = 0;
            bool utf8 = true;
            while (utf8 && !m_file.atEnd())
                utf8 = validUtf8(m_file.read(ChunkBytes), state);
            m_utf8 = utf8 && state == 0;
            m_encoding = m_utf8 ? QStringLiteral("UTF-8") : QStringLiteral("Windows-1251");
            m_file.seek(0);
        }
        // The separator: the one of ";", tab and "," found most often outside quotes in the first row.
        fill();
        int semicolons = 0, tabs = 0, commas = 0;
        bool quoted = false;
        for (qsizetype i = 0; i < m_buffer.size(); ++i) {
            const QChar c = m_buffer.at(i);
            if (c == u'"')
                quoted = !quoted;
            else if (quoted)
                continue;
            else if (c == u'\n' || c == u'\r')
                break;
            else if (c == u';')
                ++semicolons;
            else if (c == u'\t')
                ++tabs;
            else if (c == u',')
                ++commas;
        }
        m_separator = u';';
        if (tabs > semicolons && tabs >= commas)
            m_separator = u'\t';
        else if (commas > semicolons && commas > tabs)
            m_separator = u',';
    }

    bool next(QStringList &cells) override {
        for (;;) {
            const ParseResult r = parse(cells);
            if (r == ParseResult::Row) {
                ++m_row;
                return true;
            }
            if (r == ParseResult::End)
                return false;
            fill(); // ParseResult::MoreData
        }
    }

    int permille() const override {
        return m_size > 0 ? int(qMin<qint64>(1000, (m_file.pos() * 1000) / m_size)) : 1000;
    }

    QString format() const override {
        const QString sep =
            m_separator == u'\t' ? QStringLiteral("табуляция") : QStringLiteral("«%1»").arg(m_separator);
        return QStringLiteral("CSV, %1, разделитель %2").arg(m_encoding, sep);
    }

private:
    enum class ParseResult { Row, MoreData, End };

    // Reads the next chunk of the file into the buffer, dropping what has been parsed.
    void fill() {
        if (m_pos > 0) {
            m_buffer.remove(0, m_pos);
            m_pos = 0;
        }
        const QByteArray bytes = m_file.read(ChunkBytes);
        if (bytes.isEmpty()) {
            m_eof = true;
            if (m_utf8)
                m_buffer += m_decoder(QByteArray()); // what a cut sequence left
            return;
        }
        if (m_utf8) {
            m_buffer += m_decoder(bytes);
        } else {
            const qsizetype at = m_buffer.size();
            m_buffer.resize(at + bytes.size());
            QChar *out = m_buffer.data() + at;
            for (const char ch : bytes) {
                const auto b = static_cast<unsigned char>(ch);
                *out++ = b < 0x80    ? QChar(b)
                         : b >= 0xC0 ? QChar(char16_t(0x410 + (b - 0xC0)))
                                     : QChar(Cp1251High[b - 0x80]);
            }
        }
    }

    // One row from the buffer, from m_pos on. A row not wholly in the buffer is parsed again once
    // more of the file has been read.
    ParseResult parse(QStringList &cells) {
        cells.clear();
        const qsizetype n = m_buffer.size();
        qsizetype i = m_pos;
        if (i >= n)
            return m_eof ? ParseResult::End : ParseResult::MoreData;
        const QChar *d = m_buffer.constData();
        QString cell;
        for (;;) {
            // One field from i.
            cell.clear();
            if (i < n && d[i] == u'"') {
                ++i;
                for (;;) {
                    if (i >= n) {
                        if (!m_eof)
                            return ParseResult::MoreData;
                        break; // an unclosed quote takes the rest of the file
                    }
                    if (d[i] == u'"') {
                        if (i + 1 >= n && !m_eof)
                            return ParseResult::MoreData;
                        if (i + 1 < n && d[i + 1] == u'"') {
                            cell += u'"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    cell += d[i++];
                }
                // Anything between the closing quote and the separator is kept as it is.
                while (i < n && d[i] != m_separator && d[i] != u'\n' && d[i] != u'\r')
                    cell += d[i++];
            } else {
                const qsizetype start = i;
                while (i < n && d[i] != m_separator && d[i] != u'\n' && d[i] != u'\r')
                    ++i;
                cell = QString(d + start, i - start);
            }
            if (i >= n && !m_eof)
                return ParseResult::MoreData;
            cells << cell;
            if (i < n && d[i] == m_separator) {
                ++i;
                continue;
            }
            // The end of the row: "\r\n", "\n", "\r" or the end of the file.
            if (i < n && d[i] == u'\r') {
                if (i + 1 >= n && !m_eof)
                    return ParseResult::MoreData;
                ++i;
                if (i < n && d[i] == u'\n')
                    ++i;
            } else if (i < n) {
                ++i;
            }
            m_pos = i;
            return ParseResult::Row;
        }
    }

    QFile m_file;
    qint64 m_size = 0;
    bool m_utf8 = false; // decoded by m_decoder (UTF-8 or UTF-16), else Windows-1251
    bool m_eof = false;
    QString m_encoding;
    QStringDecoder m_decoder{QStringDecoder::Utf8};
    QChar m_separator = u';';
    QString m_buffer;
    qsizetype m_pos = 0;
};

// ---- xlsx ---------------------------------------------------------------------------------------

QString brokenWorkbook(const QString &path, const QString &why) {
    return QStringLiteral("Книга «%1» не читается: %2").arg(fileName(path), why);
}

// The built-in number formats that show dates or times.
bool builtinDateFormat(int id) {
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
           (id >= 50 && id <= 58);
}

// Whether a format code shows a date or a time: a d, m, y, h or s outside quoted text, brackets
// (colours, conditions) and escaped characters.
bool dateFormatCode(const QString &code) {
    bool quoted = false, bracket = false;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code.at(i);
        if (quoted) {
            quoted = c != u'"';
            continue;
        }
        if (bracket) {
            bracket = c != u']';
            continue;
        }
        if (c == u'"')
            quoted = true;
        else if (c == u'[')
            bracket = true;
        else if (c == u'\\' || c == u'_' || c == u'*')
            ++i;
        else if (QStringLiteral("dmyhsDMYHS").contains(c))
            return true;
    }
    return false;
}

// The column number (0 for A) of a cell reference such as "AB12"; -1 when it has none.
int columnOf(QStringView ref) {
    int col = 0;
    qsizetype i = 0;
    for (; i < ref.size() && ref[i].isLetter(); ++i)
        col = col * 26 + (ref[i].toUpper().unicode() - u'A' + 1);
    return i == 0 ? -1 : col - 1;
}

class XlsxReader final : public SheetReader {
public:
    explicit XlsxReader(const QString &path) : m_path(path) {
        int error = 0;
        m_zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
        if (!m_zip) {
            zip_error_t ze;
            zip_error_init_with_code(&ze, error);
            const QString why = QString::fromLocal8Bit(zip_error_strerror(&ze));
            zip_error_fini(&ze);
            throw AppError(brokenWorkbook(path, why));
        }
        readWorkbook();
        readSharedStrings();
        readStyles();
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat(m_zip, m_sheetName.toUtf8().constData(), 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE))
            m_sheetSize = qint64(st.size);
        m_sheet = zip_fopen(m_zip, m_sheetName.toUtf8().constData(), 0);
        if (!m_sheet)
            throw AppError(brokenWorkbook(path, QStringLiteral("нет листа %1").arg(m_sheetName)));
    }

    ~XlsxReader() override {
        if (m_sheet)
            zip_fclose(m_sheet);
        if (m_zip)
            zip_discard(m_zip);
    }

    bool next(QStringList &cells) override {
        cells.clear();
        int col = -1, style = 0;
        QString type, value;
        bool inRow = false, inValue = false, inInline = false, inPhonetic = false;
        for (;;) {
            const QXmlStreamReader::TokenType t = m_xml.readNext();
            if (t == QXmlStreamReader::Invalid) {
                if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError && feed())
                    continue;
                if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError && !inRow)
                    return false;
                throw AppError(brokenWorkbook(m_path, m_xml.errorString()));
            }
            if (t == QXmlStreamReader::EndDocument)
                return false;
            if (t == QXmlStreamReader::StartElement) {
                const QStringView name = m_xml.name();
                if (name == u"row") {
                    inRow = true;
                    bool ok = false;
                    const int r = m_xml.attributes().value(QLatin1String("r")).toInt(&ok);
                    m_row = ok ? r : m_row + 1;
                } else if (name == u"c" && inRow) {
                    const QXmlStreamAttributes a = m_xml.attributes();
                    const int c = columnOf(a.value(QLatin1String("r")));
                    col = c >= 0 ? c : int(cells.size());
                    type = a.value(QLatin1String("t")).toString();
                    style = a.value(QLatin1String("s")).toInt();
                    value.clear();
                } else if (name == u"v" || (name == u"t" && inInline && !inPhonetic)) {
                    inValue = true;
                } else if (name == u"is") {
                    inInline = true;
                } else if (name == u"rPh") {
                    inPhonetic = true;
                }
            } else if (t == QXmlStreamReader::Characters && inValue) {
                value += m_xml.text();
            } else if (t == QXmlStreamReader::EndElement) {
                const QStringView name = m_xml.name();
                if (name == u"v" || name == u"t") {
                    inValue = false;
                } else if (name == u"is") {
                    inInline = false;
                } else if (name == u"rPh") {
                    inPhonetic = false;
                } else if (name == u"c" && col >= 0) {
                    while (cells.size() < col)
                        cells << QString();
                    cells << cellText(type, style, value);
                    col = -1;
                } else if (name == u"row" && inRow) {
                    return true;
                }
            }
        }
    }

    int permille() const override {
        return m_sheetSize > 0 ? int(qMin<qint64>(1000, m_read * 1000 / m_sheetSize)) : 0;
    }

    QString format() const override { return QStringLiteral("книга Excel, первый лист"); }

private:
    bool feed() {
        if (!m_sheet)
            return false;
        QByteArray chunk(int(ChunkBytes / 4), Qt::Uninitialized);
        const zip_int64_t got = zip_fread(m_sheet, chunk.data(), zip_uint64_t(chunk.size()));
        if (got < 0)
            throw AppError(brokenWorkbook(m_path, QString::fromLocal8Bit(zip_file_strerror(m_sheet))));
        if (got == 0)
            return false;
        chunk.truncate(qsizetype(got));
        m_read += got;
        m_xml.addData(chunk);
        return true;
    }

    QByteArray readEntry(const QString &name, bool required) {
        zip_file_t *f = zip_fopen(m_zip, name.toUtf8().constData(), 0);
        if (!f) {
            if (required)
                throw AppError(
                    brokenWorkbook(m_path, QStringLiteral("это не книга .xlsx (нет %1)").arg(name)));
            return {};
        }
        QByteArray out;
        char buf[65536];
        for (;;) {
            const zip_int64_t got = zip_fread(f, buf, sizeof buf);
            if (got < 0) {
                const QString why = QString::fromLocal8Bit(zip_file_strerror(f));
                zip_fclose(f);
                throw AppError(brokenWorkbook(m_path, why));
            }
            if (got == 0)
                break;
            out.append(buf, qsizetype(got));
        }
        zip_fclose(f);
        return out;
    }

    void readWorkbook() {
        QString firstId;
        QXmlStreamReader wb(readEntry(QStringLiteral("xl/workbook.xml"), true));
        while (!wb.atEnd()) {
            if (wb.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (wb.name() == u"workbookPr") {
                const QStringView v = wb.attributes().value(QLatin1String("date1904"));
                m_date1904 = v == u"1" || v == u"true";
            } else if (wb.name() == u"sheet" && firstId.isEmpty()) {
                for (const QXmlStreamAttribute &a : wb.attributes())
                    if (a.name() == u"id")
                        firstId = a.value().toString();
            }
        }
        if (firstId.isEmpty())
            throw AppError(brokenWorkbook(m_path, QStringLiteral("в книге нет листов")));
        QXmlStreamReader rels(readEntry(QStringLiteral("xl/_rels/workbook.xml.rels"), true));
        while (!rels.atEnd()) {
            if (rels.readNext() == QXmlStreamReader::StartElement && rels.name() == u"Relationship" &&
                rels.attributes().value(QLatin1String("Id")) == firstId) {
                const QString target = rels.attributes().value(QLatin1String("Target")).toString();
                m_sheetName = target.startsWith(u'/') ? target.mid(1) : QStringLiteral("xl/") + target;
            }
        }
        if (m_sheetName.isEmpty())
            throw AppError(brokenWorkbook(m_path, QStringLiteral("не найден первый лист")));
    }

    void readSharedStrings() {
        QXmlStreamReader x(readEntry(QStringLiteral("xl/sharedStrings.xml"), false));
        QString current;
        bool inText = false, inPhonetic = false;
        while (!x.atEnd()) {
            switch (x.readNext()) {
            case QXmlStreamReader::StartElement:
                if (x.name() == u"si")
                    current.clear();
                else if (x.name() == u"rPh")
                    inPhonetic = true;
                else if (x.name() == u"t" && !inPhonetic)
                    inText = true;
                break;
            case QXmlStreamReader::Characters:
                if (inText)
                    current += x.text();
                break;
            case QXmlStreamReader::EndElement:
                if (x.name() == u"si")
                    m_strings.push_back(current);
                else if (x.name() == u"rPh")
                    inPhonetic = false;
                else if (x.name() == u"t")
                    inText = false;
                break;
            default:
                break;
            }
        }
    }

    void readStyles() {
        QXmlStreamReader x(readEntry(QStringLiteral("xl/styles.xml"), false));
        QHash<int, bool> custom;
        bool inXfs = false;
        while (!x.atEnd()) {
            const auto t = x.readNext();
            if (t == QXmlStreamReader::StartElement) {
                if (x.name() == u"numFmt")
                    custom.insert(
                        x.attributes().value(QLatin1String("numFmtId")).toInt(),
                        dateFormatCode(x.attributes().value(QLatin1String("formatCode")).toString()));
                else if (x.name() == u"cellXfs")
                    inXfs = true;
                else if (x.name() == u"xf" && inXfs) {
                    const int id = x.attributes().value(QLatin1String("numFmtId")).toInt();
                    m_dateStyles.push_back(custom.contains(id) ? custom.value(id) : builtinDateFormat(id));
                }
            } else if (t == QXmlStreamReader::EndElement && x.name() == u"cellXfs") {
                inXfs = false;
            }
        }
    }

    QString cellText(const QString &type, int style, const QString &value) const {
        if (type == u"s") {
            const int i = value.toInt();
            return i >= 0 && size_t(i) < m_strings.size() ? m_strings[size_t(i)] : QString();
        }
        if (type == u"inlineStr" || type == u"str" || type == u"e")
            return value;
        if (type == u"b")
            return value.trimmed() == u"1" ? QStringLiteral("1") : QStringLiteral("0");
        bool ok = false;
        const double v = value.toDouble(&ok);
        if (!ok)
            return value;
        if (style >= 0 && size_t(style) < m_dateStyles.size() && m_dateStyles[size_t(style)]) {
            const QDate base = m_date1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
            return base.addDays(qint64(std::floor(v))).toString(QStringLiteral("dd.MM.yyyy"));
        }
        if (v == std::floor(v) && std::fabs(v) < 1e15)
            return QString::number(qint64(v));
        return QString::number(v, 'g', 15);
    }

    QString m_path;
    zip_t *m_zip = nullptr;
    zip_file_t *m_sheet = nullptr;
    QString m_sheetName;
    qint64 m_sheetSize = 0, m_read = 0;
    bool m_date1904 = false;
    std::vector<QString> m_strings;
    std::vector<bool> m_dateStyles;
    QXmlStreamReader m_xml;
};

} // namespace

std::unique_ptr<SheetReader> SheetReader::open(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Файл «%1» не открывается: %2").arg(fileName(path), f.errorString()));
    const bool zip = f.peek(4) == QByteArrayLiteral("PK\x03\x04");
    f.close();
    if (zip)
        return std::make_unique<XlsxReader>(path);
    return std::make_unique<CsvReader>(path);
}

QString CsvRow(const QStringList &cells, QChar separator) {
    QString out;
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            out += separator;
        const QString &c = cells[i];
        const bool quote = c.contains(separator) || c.contains(u'"') || c.contains(u'\n') ||
                           c.contains(u'\r') || (!c.isEmpty() && (c.front().isSpace() || c.back().isSpace()));
        if (quote) {
            QString q = c;
            q.replace(u'"', QStringLiteral("\"\""));
            out += u'"' + q + u'"';
        } else {
            out += c;
        }
    }
    return out;
}
