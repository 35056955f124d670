#include "model/Labels.h"

#include "data/Connection.h"
#include "data/Errors.h"
#include "data/Procedures.h"
#include "data/Settings.h"
#include "model/LabelCode.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QMarginsF>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>

#include <zint.h>

#include <algorithm>
#include <cmath>
#include <memory>

const QVector<LabelSheet> &LabelSheets() {
    // The A4 sheets as their makers lay them out: 3 × 8 fills the width edge to edge, 2 × 7 and
    // 4 × 10 sit in margins (2 × 7 with 2.5 mm between the columns).
    static const QVector<LabelSheet> sheets = {
        {QStringLiteral("a4-3x8"),
         QStringLiteral("A4, 3 × 8, 70 × 37 мм"),
         {210, 297},
         3,
         8,
         {70, 37},
         {0, 0.5},
         {70, 37}},
        {QStringLiteral("a4-2x7"),
         QStringLiteral("A4, 2 × 7, 99,1 × 38,1 мм"),
         {210, 297},
         2,
         7,
         {99.1, 38.1},
         {4.65, 15.15},
         {101.6, 38.1}},
        {QStringLiteral("a4-4x10"),
         QStringLiteral("A4, 4 × 10, 48,5 × 25,4 мм"),
         {210, 297},
         4,
         10,
         {48.5, 25.4},
         {8, 21.5},
         {48.5, 25.4}},
        {QStringLiteral("roll-58x40"),
         QStringLiteral("Рулон, 58 × 40 мм (принтер этикеток)"),
         {58, 40},
         1,
         1,
         {58, 40},
         {0, 0},
         {58, 40}},
    };
    return sheets;
}

const LabelSheet *FindLabelSheet(const QString &name) {
    for (const LabelSheet &s : LabelSheets())
        if (s.name == name)
            return &s;
    return nullptr;
}

const QVector<LabelCodeType> &LabelCodeTypes() {
    static const QVector<LabelCodeType> types = {
        {LabelCodeKind::QrCode, QStringLiteral("qr"), QStringLiteral("QR-код")},
        {LabelCodeKind::DataMatrix, QStringLiteral("datamatrix"), QStringLiteral("DataMatrix")},
        {LabelCodeKind::Code128, QStringLiteral("code128"), QStringLiteral("Штрихкод Code 128")},
    };
    return types;
}

bool FindLabelCodeType(const QString &name, LabelCodeKind *kind) {
    for (const LabelCodeType &t : LabelCodeTypes())
        if (t.name == name) {
            *kind = t.kind;
            return true;
        }
    return false;
}

// ---- Reading -----------------------------------------------------------------------------------

namespace {

QString text(const QVariant &v) {
    return v.isNull() ? QString() : v.toString().trimmed();
}

// The devices' labels, each followed by its elements' when asked, in the order of `devices`.
std::vector<LabelItem> readItems(Connection &cn, const QVector<int> &devices, bool elements) {
    std::vector<LabelItem> out;
    if (devices.isEmpty())
        return out;
    QHash<int, LabelItem> device;
    QHash<int, std::vector<LabelItem>> parts;
    // In slices, so that no statement carries more values than an engine takes.
    constexpr int Slice = 500;
    for (int from = 0; from < devices.size(); from += Slice) {
        QStringList marks;
        QVariantMap keys;
        for (int i = from; i < std::min<int>(devices.size(), from + Slice); ++i) {
            const QString mark = QStringLiteral("K%1").arg(i - from);
            marks << u':' + mark;
            keys.insert(mark, devices[i]);
        }
        const QString in = marks.join(u',');
        const ResultSet d = cn.query(
            QStringLiteral("SELECT v.IdDevice, v.DevcName, v.DevcNumber, k.KindName FROM DeviceUnit v "
                           "LEFT JOIN Kind k ON k.IdKind = v.DevcIdKind WHERE v.IdDevice IN (%1)")
                .arg(in),
            keys);
        for (const auto &r : d.rows) {
            const int id = r[0].toInt();
            device.insert(id, {text(r[1]), text(r[3]), MakeLabelCode(text(r[2]), id), id, 0});
        }
        if (!elements)
            continue;
        const ResultSet e = cn.query(
            QStringLiteral("SELECT s.CmplIdDevice, s.IdComponent, s.NumberManufact, m.ModlName, k.KindName "
                           "FROM CompleteSet s LEFT JOIN Model m ON m.IdModel = s.CmplIdModel "
                           "LEFT JOIN Kind k ON k.IdKind = coalesce(s.ModelKind, m.ModlKind) "
                           "WHERE s.CmplIdDevice IN (%1) AND trim(s.NumberManufact) <> '' "
                           "ORDER BY k.KindOrder IS NULL, k.KindOrder, m.ModlName IS NULL, m.ModlName, "
                           "s.IdComponent")
                .arg(in),
            keys);
        for (const auto &r : e.rows)
            parts[r[0].toInt()].push_back({text(r[3]), text(r[4]), text(r[2]), r[0].toInt(), r[1].toInt()});
    }
    QSet<int> done;
    for (const int id : devices) {
        const auto it = device.constFind(id);
        if (it == device.constEnd() || done.contains(id))
            continue;
        done.insert(id);
        out.push_back(*it);
        for (const LabelItem &p : parts.value(id))
            out.push_back(p);
    }
    return out;
}

} // namespace

std::vector<LabelItem> ReadLabels(Connection &cn, const QString &kind, int key, bool elements) {
    QVector<int> devices;
    if (kind == u"V") {
        if (cn.scalar(QStringLiteral("SELECT count(*) FROM DeviceUnit WHERE IdDevice = :K"),
                      {{QStringLiteral("K"), key}})
                .toInt() == 0)
            throw AppError(
                QStringLiteral("Устройство не найдено: возможно, его удалили на другом рабочем месте"));
        devices << key;
        return readItems(cn, devices, elements);
    }
    if (!kind.isEmpty() && kind != u"D" && kind != u"W")
        throw AppError(QStringLiteral("Этикетки печатаются для отдела, рабочего места или устройства"));
    // The tree itself gives the order the user sees: parents before their children, so a node's
    // subtree is the run of rows whose parent is already in it.
    QVector<Parameter> none;
    const ResultSet tree = callProcedure(cn, QStringLiteral("LoadTree"), none);
    const int cKind = tree.indexOf(QStringLiteral("Kind")), cId = tree.indexOf(QStringLiteral("ID")),
              cHigher = tree.indexOf(QStringLiteral("Higher"));
    QSet<qint64> inside; // (kind letter << 32 | key) of the nodes taken
    auto nodeKey = [](char16_t k, int id) { return qint64(k) << 32 | quint32(id); };
    bool found = kind.isEmpty();
    for (const auto &r : tree.rows) {
        const QString k = r[cKind].toString();
        const int id = r[cId].toInt();
        const char16_t letter = k.isEmpty() ? u' ' : k[0].unicode();
        bool take = kind.isEmpty();
        if (!take && k == kind && id == key) {
            take = found = true;
        } else if (!take && !r[cHigher].isNull()) {
            const char16_t parent = letter == u'V' ? u'W' : u'D';
            take = inside.contains(nodeKey(parent, r[cHigher].toInt()));
        }
        if (!take)
            continue;
        inside.insert(nodeKey(letter, id));
        if (letter == u'V')
            devices << id;
    }
    if (!found)
        throw AppError(
            kind == u"D"
                ? QStringLiteral("Отдел не найден: возможно, его удалили на другом рабочем месте")
                : QStringLiteral("Рабочее место не найдено: возможно, его удалили на другом рабочем месте"));
    return readItems(cn, devices, elements);
}

std::vector<LabelItem> ReadDeviceLabels(Connection &cn, const QVector<int> &devices, bool elements) {
    return readItems(cn, devices, elements);
}

// ---- Codes -------------------------------------------------------------------------------------

namespace {

struct SymbolDeleter {
    void operator()(zint_symbol *s) const { ZBarcode_Delete(s); }
};
using Symbol = std::unique_ptr<zint_symbol, SymbolDeleter>;

bool plainAscii(const QString &s) {
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7f; });
}

// The code drawn by libzint as rectangles, its quiet zones included.
Symbol encode(const QString &code, LabelCodeKind kind) {
    Symbol s(ZBarcode_Create());
    if (!s)
        throw AppError(QStringLiteral("Не хватило памяти для кода этикетки"));
    s->symbology = kind == LabelCodeKind::QrCode       ? BARCODE_QRCODE
                   : kind == LabelCodeKind::DataMatrix ? BARCODE_DATAMATRIX
                                                       : BARCODE_CODE128;
    s->input_mode = UNICODE_MODE;
    s->show_hrt = 0;
    s->output_options |= BARCODE_QUIET_ZONES;
    if (kind == LabelCodeKind::QrCode)
        s->option_1 = 2; // error correction M: a scuffed label still reads
    if (kind == LabelCodeKind::DataMatrix)
        s->option_3 = DM_SQUARE;
    // Text beyond ASCII goes as UTF-8, said so in the code, so a reader does not take it for
    // another character set.
    if (kind != LabelCodeKind::Code128 && !plainAscii(code))
        s->eci = 26;
    if (kind == LabelCodeKind::Code128)
        s->height = 50;
    const QByteArray bytes = code.toUtf8();
    const int rc = ZBarcode_Encode_and_Buffer_Vector(
        s.get(), reinterpret_cast<const unsigned char *>(bytes.constData()), int(bytes.size()), 0);
    if (rc >= ZINT_ERROR || !s->vector)
        throw AppError(
            QStringLiteral("Код «%1» не удалось построить: %2").arg(code, QString::fromUtf8(s->errtxt)));
    return s;
}

// ---- Layout ------------------------------------------------------------------------------------

constexpr double MmPerInch = 25.4;
constexpr int PdfResolution = 1200;
// The narrowest bar a label printer and a scanner handle reliably.
constexpr double MinBarWidthMm = 0.17;

struct TextBlock {
    QString text;
    bool bold;
    double size, min; // points: the size wanted, and the smallest one before the text wraps
};

struct SetBlock {
    QFont font;
    QStringList lines;
    double lineHeight = 0, ascent = 0;
    double height() const { return lineHeight * lines.size(); }
};

QFont labelFont(bool bold, double points) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(bold);
    f.setPointSizeF(points);
    f.setKerning(false);
    return f;
}

// The text in lines no wider than `width`: words as they come, a word wider than a line broken
// between characters. Nothing is dropped.
QStringList wrap(const QString &text, const QFontMetricsF &fm, double width) {
    QStringList lines;
    QString line;
    for (const QString &word : text.split(u' ', Qt::SkipEmptyParts)) {
        const QString joined = line.isEmpty() ? word : line + u' ' + word;
        if (fm.horizontalAdvance(joined) <= width) {
            line = joined;
            continue;
        }
        if (!line.isEmpty())
            lines << line;
        line.clear();
        for (const QChar c : word) {
            if (!line.isEmpty() && fm.horizontalAdvance(line + c) > width) {
                lines << line;
                line.clear();
            }
            line += c;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

// Sets a text in the box's width: at the largest size from `size` down to `min` that keeps it on
// one line, else wrapped at `min`.
SetBlock setBlock(const TextBlock &b, double scale, double width, QPaintDevice *device) {
    SetBlock s;
    const double min = std::max(3.5, b.min * scale);
    auto measure = [&](double pt) {
        s.font = labelFont(b.bold, pt);
        const QFontMetricsF fm(s.font, device);
        s.lineHeight = fm.height();
        s.ascent = fm.ascent();
        return fm.horizontalAdvance(b.text);
    };
    // A text's width grows with its size: the size that fits is guessed from the width at the
    // size wanted, then checked and stepped down while it is still too wide.
    double pt = std::max(min, b.size * scale);
    const double wide = measure(pt);
    if (wide <= width) {
        s.lines = QStringList{b.text};
        return s;
    }
    for (pt = std::max(min, std::floor(pt * width / wide * 4) / 4);; pt = std::max(min, pt - 0.25)) {
        if (measure(pt) <= width) {
            s.lines = QStringList{b.text};
            return s;
        }
        if (pt <= min) {
            s.lines = wrap(b.text, QFontMetricsF(s.font, device), width);
            return s;
        }
    }
}

struct LabelGeometry {
    QRectF code, texts; // device units, from the label's corner
};

LabelGeometry geometry(const LabelSheet &sheet, LabelCodeKind kind, double k) {
    const double w = sheet.label.width(), h = sheet.label.height();
    const double pad = std::min(2.5, 0.07 * h);
    LabelGeometry g;
    if (kind == LabelCodeKind::Code128) {
        const double ch = 0.32 * (h - 2 * pad);
        g.code = QRectF(pad, h - pad - ch, w - 2 * pad, ch);
        g.texts = QRectF(pad, pad, w - 2 * pad, h - 3 * pad - ch);
    } else {
        const double side = std::min(h - 2 * pad, 0.42 * w);
        g.code = QRectF(pad, (h - side) / 2, side, side);
        g.texts = QRectF(2 * pad + side, pad, w - 3 * pad - side, h - 2 * pad);
    }
    g.code = QRectF(g.code.topLeft() * k, g.code.size() * k);
    g.texts = QRectF(g.texts.topLeft() * k, g.texts.size() * k);
    return g;
}

void drawCode(QPainter &p, const zint_symbol &s, const QRectF &box, bool square) {
    const zint_vector &v = *s.vector;
    double sx = box.width() / v.width, sy = box.height() / v.height;
    QPointF at = box.topLeft();
    if (square) {
        sx = sy = std::min(sx, sy);
        at += QPointF((box.width() - v.width * sx) / 2, (box.height() - v.height * sy) / 2);
    }
    for (const zint_vector_rect *r = v.rectangles; r; r = r->next)
        p.fillRect(QRectF(at.x() + r->x * sx, at.y() + r->y * sy, r->width * sx, r->height * sy), Qt::black);
}

// The narrowest bar of a drawn Code 128, in millimetres.
double barWidthMm(const zint_symbol &s, double boxWidthMm) {
    double narrowest = s.vector->width;
    for (const zint_vector_rect *r = s.vector->rectangles; r; r = r->next)
        narrowest = std::min<double>(narrowest, r->width);
    return narrowest * boxWidthMm / s.vector->width;
}

QString labelWhat(const LabelItem &l) {
    const QString name = l.name.isEmpty() ? l.kind : l.name;
    return l.element ? QStringLiteral("элемента «%1» устройства %2").arg(name).arg(l.device)
                     : QStringLiteral("устройства «%1»").arg(name);
}

void paintLabel(QPainter &p, const LabelItem &l, const LabelOptions &o, const LabelSheet &sheet,
                const QPointF &corner, double k, QPaintDevice *device) {
    const LabelGeometry g = geometry(sheet, o.code, k);
    const Symbol s = encode(l.code, o.code);
    drawCode(p, *s, g.code.translated(corner), o.code != LabelCodeKind::Code128);

    std::vector<TextBlock> blocks;
    if (!o.organisation.trimmed().isEmpty())
        blocks.push_back({o.organisation.simplified(), false, 6.5, 5});
    if (!l.name.isEmpty())
        blocks.push_back({l.name.simplified(), true, 9, 6});
    if (!l.kind.isEmpty())
        blocks.push_back({l.kind.simplified(), false, 7, 5});
    const bool big = sheet.label.height() >= 30;
    blocks.push_back({l.code, true, big ? 18.0 : 14.0, 6});

    // Shrink every text together until they all fit the box; each one itself first shrinks to
    // stay on one line, then wraps.
    std::vector<SetBlock> set;
    const double gap = 0.6 * k;
    for (double scale = 1;; scale *= 0.9) {
        set.clear();
        double total = gap * double(blocks.size() - 1);
        for (const TextBlock &b : blocks) {
            set.push_back(setBlock(b, scale, g.texts.width(), device));
            total += set.back().height();
        }
        if (total <= g.texts.height() || scale < 0.3)
            break;
    }
    // From the top; the number at the foot of the box, nearest the code of a bar code.
    double y = corner.y() + g.texts.top();
    const double x = corner.x() + g.texts.left();
    for (size_t i = 0; i < set.size(); ++i) {
        const SetBlock &b = set[i];
        if (i + 1 == set.size())
            y = std::max(y, corner.y() + g.texts.bottom() - b.height());
        p.setFont(b.font);
        for (const QString &line : b.lines) {
            p.drawText(QPointF(x, y + b.ascent), line);
            y += b.lineHeight;
        }
        y += gap;
    }
}

} // namespace

void CheckLabels(const std::vector<LabelItem> &labels, const LabelOptions &options) {
    const LabelSheet *sheet = FindLabelSheet(options.sheet);
    if (!sheet)
        throw AppError(QStringLiteral("Формат листа %1 неизвестен").arg(quoteInput(options.sheet)));
    if (options.start < 1 || options.start > sheet->perPage())
        throw AppError(QStringLiteral("Начальная позиция на листе «%1» — от 1 до %2")
                           .arg(sheet->caption)
                           .arg(sheet->perPage()));
    if (labels.empty())
        throw AppError(QStringLiteral("Здесь нет устройств: печатать нечего"));
    for (const LabelItem &l : labels) {
        if (l.code.isEmpty())
            throw AppError(QStringLiteral("У %1 нет номера для кода").arg(labelWhat(l)));
        if (options.code != LabelCodeKind::Code128)
            continue;
        if (!plainAscii(l.code))
            throw AppError(
                QStringLiteral("Номер «%1» %2 нельзя записать штрихкодом Code 128: он передаёт только "
                               "латинские буквы, цифры и знаки. Выберите QR-код или DataMatrix")
                    .arg(l.code, labelWhat(l)));
        const Symbol s = encode(l.code, options.code);
        const double width = geometry(*sheet, options.code, 1).code.width();
        if (barWidthMm(*s, width) < MinBarWidthMm)
            throw AppError(
                QStringLiteral("Номер «%1» %2 слишком длинный для штрихкода на этикетке %3 × %4 мм. "
                               "Выберите QR-код, DataMatrix или этикетку шире")
                    .arg(l.code, labelWhat(l))
                    .arg(sheet->label.width())
                    .arg(sheet->label.height()));
    }
}

void PaintLabels(const std::vector<LabelItem> &labels, const LabelOptions &options,
                 QPagedPaintDevice &device) {
    CheckLabels(labels, options);
    const LabelSheet &sheet = *FindLabelSheet(options.sheet);
    const double k = device.logicalDpiX() / MmPerInch;
    QPainter p(&device);
    if (!p.isActive())
        throw AppError(QStringLiteral("Не удалось начать печать этикеток"));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::black);
    const int per = sheet.perPage();
    int page = 0;
    for (size_t i = 0; i < labels.size(); ++i) {
        const int slot = options.start - 1 + int(i);
        if (slot / per != page) {
            device.newPage();
            page = slot / per;
        }
        const int at = slot % per, col = at % sheet.columns, row = at / sheet.columns;
        const QPointF corner((sheet.origin.x() + col * sheet.pitch.width()) * k,
                             (sheet.origin.y() + row * sheet.pitch.height()) * k);
        paintLabel(p, labels[i], options, sheet, corner, k, &device);
    }
    p.end();
}

namespace {

// Marks a PDF for printing at its true size (a print dialog then offers no fitting to the page)
// by an incremental update: the catalogue again, with viewer preferences, and a cross-reference
// section of that one object after the file as it was. A file not laid out as the writer lays
// it out is left as it is, still a valid file.
void markNoScaling(QByteArray &pdf) {
    static const QRegularExpression rootRe(QStringLiteral(R"(/Root\s+(\d+)\s+(\d+)\s+R)"));
    static const QRegularExpression startRe(QStringLiteral(R"(startxref\s+(\d+)\s+%%EOF\s*$)"));
    static const QRegularExpression sizeRe(QStringLiteral(R"(/Size\s+(\d+))"));
    static const QRegularExpression infoRe(QStringLiteral(R"(/Info\s+\d+\s+\d+\s+R)"));
    const QString tail = QString::fromLatin1(pdf.right(4096));
    const auto root = rootRe.match(tail), start = startRe.match(tail), size = sizeRe.match(tail);
    if (!root.hasMatch() || !start.hasMatch() || !size.hasMatch())
        return;
    const QByteArray num = root.captured(1).toLatin1(), gen = root.captured(2).toLatin1();
    const QByteArray head = num + ' ' + gen + " obj";
    const qsizetype at = pdf.lastIndexOf("\n" + head);
    if (at < 0)
        return;
    const qsizetype open = pdf.indexOf("<<", at), end = pdf.indexOf("endobj", at);
    const qsizetype close = end < 0 ? -1 : pdf.lastIndexOf(">>", end);
    if (open < 0 || close < open)
        return;
    const QByteArray dict = pdf.mid(open + 2, close - open - 2);
    if (dict.contains("/ViewerPreferences"))
        return;
    if (!pdf.endsWith('\n'))
        pdf += '\n';
    const qsizetype objAt = pdf.size();
    pdf += head + "\n<<" + dict + "\n/ViewerPreferences << /PrintScaling /None >>\n>>\nendobj\n";
    const qsizetype xrefAt = pdf.size();
    const auto info = infoRe.match(tail);
    pdf += "xref\n" + num + " 1\n" + QByteArray::number(objAt).rightJustified(10, '0') + ' ' +
           gen.rightJustified(5, '0') + " n\r\ntrailer\n<< /Size " + size.captured(1).toLatin1() + " /Root " +
           num + ' ' + gen + " R" + (info.hasMatch() ? ' ' + info.captured(0).toLatin1() : QByteArray()) +
           " /Prev " + start.captured(1).toLatin1() + " >>\nstartxref\n" + QByteArray::number(xrefAt) +
           "\n%%EOF\n";
}

} // namespace

void WriteLabelsPdf(const std::vector<LabelItem> &labels, const LabelOptions &options, const QString &path) {
    CheckLabels(labels, options);
    const LabelSheet &sheet = *FindLabelSheet(options.sheet);
    // Laid out in memory and written at once: a failure leaves a file there before untouched.
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter pdf(&buffer);
        pdf.setTitle(QStringLiteral("Этикетки"));
        pdf.setCreator(QStringLiteral("Velmora"));
        pdf.setResolution(PdfResolution);
        pdf.setPageLayout(
            QPageLayout(QPageSize(sheet.page, QPageSize::Millimeter, sheet.caption, QPageSize::ExactMatch),
                        QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
        PaintLabels(labels, options, pdf);
    }
    markNoScaling(bytes);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw AppError(QStringLiteral("Не удалось записать файл «%1»: %2").arg(path, file.errorString()));
}

QString LabelOrganisation() {
    return PropertyStore(QStringLiteral("Labels")).read(QStringLiteral("Organisation")).toString();
}

void SetLabelOrganisation(const QString &name) {
    PropertyStore(QStringLiteral("Labels")).write(QStringLiteral("Organisation"), name.trimmed());
}
