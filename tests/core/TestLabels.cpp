// Labels: which devices and elements a node's labels cover, on both engines; the PDF read back
// as a scanner would (pdftoppm, then zbarimg on each label's place) and as text with its positions
// (pdftotext -bbox); bad options; the admin tool's labels command.
#include "TestDatabase.h"
#include "ToolRun.h"
#include "data/Errors.h"
#include "model/LabelCode.h"
#include "model/Labels.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>

namespace {

constexpr double PtPerMm = 72 / 25.4;

// The sheets as their makers give them, in millimetres, written out apart from the program's list.
struct Sheet {
    const char *name;
    double pageW, pageH;
    int columns, rows;
    double left, top, stepX, stepY, w, h;

    QRectF slotMm(int slot) const {
        const int at = slot % (columns * rows);
        return {left + (at % columns) * stepX, top + (at / columns) * stepY, w, h};
    }
};
const Sheet Sheets[] = {
    {"a4-3x8", 210, 297, 3, 8, 0, 0.5, 70, 37, 70, 37},
    {"a4-2x7", 210, 297, 2, 7, 4.65, 15.15, 101.6, 38.1, 99.1, 38.1},
    {"a4-4x10", 210, 297, 4, 10, 8, 21.5, 48.5, 25.4, 48.5, 25.4},
    {"roll-58x40", 58, 40, 1, 1, 0, 0, 58, 40, 58, 40},
};
const Sheet &sheet(const char *name) {
    for (const Sheet &s : Sheets)
        if (qstrcmp(s.name, name) == 0)
            return s;
    throw std::logic_error("no such sheet");
}

// A word pdftotext found: its page (from 0) and box in points from the page's top left corner.
struct Word {
    int page = 0;
    QRectF box;
    QString text;
};
struct PdfText {
    QSizeF page; // points, of the first page
    int pages = 0;
    std::vector<Word> words;
};
QString unescaped(QString s) {
    return s.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
        .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
        .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
        .replace(QStringLiteral("&apos;"), QStringLiteral("'"))
        .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
}
PdfText pdfText(const QString &path) {
    PdfText t;
    const ToolRun r =
        RunProgram(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    static const QRegularExpression pageRe(
        QStringLiteral(R"re(<page width="([\d.]+)" height="([\d.]+)">)re"));
    static const QRegularExpression wordRe(QStringLiteral(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    for (const QString &line : r.out.split(u'\n')) {
        if (const auto m = pageRe.match(line); m.hasMatch()) {
            if (t.pages++ == 0)
                t.page = QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
        } else if (const auto w = wordRe.match(line); w.hasMatch()) {
            const QPointF a(w.captured(1).toDouble(), w.captured(2).toDouble());
            const QPointF b(w.captured(3).toDouble(), w.captured(4).toDouble());
            t.words.push_back({t.pages - 1, QRectF(a, b), unescaped(w.captured(5))});
        }
    }
    return t;
}

// What a scanner reads from each label's place of every page, sorted: each place is cut out of the
// page drawn at 300 dpi and read on its own, as a hand-held scanner sees one label at a time.
// zbar reads QR codes and Code 128, libdmtx's reader DataMatrix.
QStringList scanLabels(const QString &pdf, const Sheet &s, LabelCodeKind code = LabelCodeKind::QrCode) {
    QTemporaryDir dir;
    const QString prefix = dir.filePath(QStringLiteral("page"));
    const ToolRun drawn = RunProgram(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("300"),
                                                                  QStringLiteral("-png"), pdf, prefix});
    EXPECT_EQ(drawn.exitCode, 0) << drawn.err.toStdString();
    QStringList crops;
    const QStringList pages =
        QDir(dir.path()).entryList({QStringLiteral("page*.png")}, QDir::Files, QDir::Name);
    for (const QString &name : pages) {
        const QImage page = QImage(dir.filePath(name)).convertToFormat(QImage::Format_Grayscale8);
        const double px = page.width() / s.pageW;
        for (int slot = 0; slot < s.columns * s.rows; ++slot) {
            const QRectF mm = s.slotMm(slot);
            const QImage crop = page.copy(
                QRect(int(mm.x() * px), int(mm.y() * px), int(mm.width() * px), int(mm.height() * px)));
            // A place with nothing printed holds no code; the readers need not search it.
            bool empty = true;
            for (int y = 0; y < crop.height() && empty; ++y) {
                const uchar *line = crop.constScanLine(y);
                empty = std::all_of(line, line + crop.width(), [](uchar v) { return v > 200; });
            }
            if (empty) {

                continue;
            }
            const QString file = dir.filePath(QStringLiteral("%1-%2.png").arg(name).arg(slot));
            EXPECT_TRUE(crop.save(file));
            crops << file;
        }
    }
    if (crops.isEmpty())
        return {};
    const bool dm = code == LabelCodeKind::DataMatrix;
    const ToolRun read = dm ? RunProgram(QStringLiteral("dmtxread"),
                                         QStringList{QStringLiteral("-n"), QStringLiteral("-N1")} + crops)
                            : RunProgram(QStringLiteral("zbarimg"),
                                         QStringList{QStringLiteral("-q"), QStringLiteral("--raw")} + crops);
    // 4 from zbarimg, 1 from dmtxread: no code anywhere.
    EXPECT_TRUE(read.exitCode == 0 || read.exitCode == (dm ? 1 : 4)) << read.err.toStdString();
    QStringList codes = read.out.split(u'\n', Qt::SkipEmptyParts);
    // dmtxread hands the character set a symbol names (ECI 26, UTF-8) over as a byte before the
    // text instead of applying it: the text is UTF-8 either way.
    for (QString &c : codes)
        if (dm && c.startsWith(QChar(26)))
            c.remove(0, 1);
    codes.sort();
    return codes;
}

QStringList codesOf(const std::vector<LabelItem> &labels) {
    QStringList codes;
    for (const LabelItem &l : labels)
        codes << l.code;
    return codes;
}

std::vector<LabelItem> items(const QStringList &codes) {
    std::vector<LabelItem> out;
    int key = 0;
    for (const QString &c : codes)
        out.push_back({QStringLiteral("Устройство %1").arg(++key), QStringLiteral("Компьютер"), c, key, 0});
    return out;
}

// A small organisation: a department with one below it, their workplaces and devices (one without
// an inventory number, one with blanks around it), a computer with elements with and without a
// serial number, and a device in another department that no label of the first one covers.
class LabelsTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        top = insert("Department", {{"DprtName", "Бухгалтерия"}}).toInt();
        sub = insert("Department", {{"DprtName", "Касса"}, {"DprtIdHigher", top}}).toInt();
        other = insert("Department", {{"DprtName", "Склад"}}).toInt();
        chief = insert("Workplace", {{"WrkpIdDepartment", top}, {"WrkpName", "Главный бухгалтер"}}).toInt();
        cash = insert("Workplace", {{"WrkpIdDepartment", sub}, {"WrkpName", "Кассир"}}).toInt();
        store = insert("Workplace", {{"WrkpIdDepartment", other}, {"WrkpName", "Кладовщик"}}).toInt();
        const int kindPc = insert("Kind", {{"KindType", "D"}, {"KindName", "Компьютер"}}).toInt();
        const int kindDisk = insert("Kind", {{"KindType", "H"}, {"KindName", "Жёсткий диск"}}).toInt();
        pc = device(chief, "ПК главного бухгалтера", "000101", kindPc);
        printer = device(cash, "Принтер кассы", "  ИНВ-7/2 ", 0);
        monitor = device(cash, "Монитор кассы", "", 0);
        device(store, "ПК кладовщика", "000900", kindPc);
        const int disk = insert("Model", {{"ModlKind", kindDisk}, {"ModlName", "WD Blue 1TB"}}).toInt();
        for (const char *serial : {"WD-123", "", "   "})
            insert("CompleteSet", {{"CmplIdDevice", pc},
                                   {"CmplIdModel", disk},
                                   {"ModelKind", kindDisk},
                                   {"NumberManufact", *serial ? QVariant(serial) : QVariant()}});
    }
    int device(int place, const char *name, const char *number, int kind) {
        QVariantMap v{{"DevcIdWorkplace", place}, {"DevcName", name}};
        if (*number)
            v["DevcNumber"] = number;
        if (kind)
            v["DevcIdKind"] = kind;
        return insert("DeviceUnit", v).toInt();
    }
    int top = 0, sub = 0, other = 0, chief = 0, cash = 0, store = 0, pc = 0, printer = 0, monitor = 0;
};

// Each node covers what the tree shows under it, in the tree's order (a department's own
// sub-departments before its workplaces, devices by name), each device followed by its elements
// with a serial number when asked.
TEST_P(LabelsTest, NodeCoversWhatTheTreeShowsUnderIt) {
    const QString mon = MakeLabelCode({}, monitor);
    struct Case {
        const char *kind;
        int key;
        bool elements;
        QStringList codes;
    } cases[] = {
        {"D", top, false, {mon, "ИНВ-7/2", "000101"}},
        {"D", top, true, {mon, "ИНВ-7/2", "000101", "WD-123"}},
        {"D", sub, true, {mon, "ИНВ-7/2"}},
        {"W", chief, true, {"000101", "WD-123"}},
        {"V", printer, true, {"ИНВ-7/2"}},
        {"", 0, false, {mon, "ИНВ-7/2", "000101", "000900"}},
    };
    for (const Case &c : cases) {
        const auto labels = ReadLabels(cn(), QString::fromLatin1(c.kind), c.key, c.elements);
        EXPECT_EQ(codesOf(labels), c.codes) << c.kind << c.key;
    }
    const auto withParts = ReadLabels(cn(), QStringLiteral("W"), chief, true);
    ASSERT_EQ(withParts.size(), 2u);
    EXPECT_EQ(withParts[0].name, QStringLiteral("ПК главного бухгалтера"));
    EXPECT_EQ(withParts[0].kind, QStringLiteral("Компьютер"));
    EXPECT_EQ(withParts[1].name, QStringLiteral("WD Blue 1TB"));
    EXPECT_EQ(withParts[1].kind, QStringLiteral("Жёсткий диск"));
    EXPECT_EQ(withParts[1].device, pc);
    EXPECT_NE(withParts[1].element, 0);

    // The devices of a find: in its order, a device twice or one since deleted passed over.
    EXPECT_EQ(codesOf(ReadDeviceLabels(cn(), {printer, 999999, pc, printer}, false)),
              (QStringList{"ИНВ-7/2", "000101"}));

    // A node deleted on another workstation meanwhile.
    cn().execute(QStringLiteral("DELETE FROM DeviceUnit WHERE DevcIdWorkplace = :K"), {{"K", store}});
    cn().execute(QStringLiteral("DELETE FROM Workplace WHERE IdWorkplace = :K"), {{"K", store}});
    struct Gone {
        const char *kind;
        int key;
        const char *message;
    } gone[] = {
        {"W", store, "Рабочее место не найдено"},
        {"D", 999999, "Отдел не найден"},
        {"V", 999999, "Устройство не найдено"},
    };
    for (const Gone &g : gone) {
        try {
            ReadLabels(cn(), QString::fromLatin1(g.kind), g.key, false);
            ADD_FAILURE() << g.kind << " " << g.key;
        } catch (const AppError &e) {
            EXPECT_TRUE(e.message().startsWith(QString::fromUtf8(g.message))) << e.message().toStdString();
        }
    }
}

// The department's labels decoded back: every code once and nothing else.
TEST_P(LabelsTest, ScannedBackEveryCodeOnce) {
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("labels.pdf"));
    const auto labels = ReadLabels(cn(), QStringLiteral("D"), top, true);
    LabelOptions o;
    o.organisation = QStringLiteral("ООО «Ромашка»");
    WriteLabelsPdf(labels, o, pdf);
    QStringList want = codesOf(labels);
    want.sort();
    EXPECT_EQ(scanLabels(pdf, sheet("a4-3x8")), want);
}

VELMORA_BOTH_ENGINES(LabelsTest);

// Each code type, on a sheet where a label follows the start and spills onto a second page: what a
// scanner reads is the codes, each once.
TEST(Labels, EveryCodeTypeScansBack) {
    struct Case {
        LabelCodeKind code;
        const char *sheet;
        QStringList codes;
    } cases[] = {
        {LabelCodeKind::QrCode, "a4-4x10", {"000101", "ИНВ-7/2", "V15", "SN 12/34-X"}},
        {LabelCodeKind::DataMatrix, "a4-2x7", {"000101", "ИНВ-7/2", "V15", "Ёж №5"}},
        {LabelCodeKind::Code128, "a4-3x8", {"000101", "A-77/3", "V15", "SN 12/34-X"}},
        {LabelCodeKind::QrCode, "roll-58x40", {"000101", "V15"}},
    };
    for (const Case &c : cases) {
        const Sheet &s = sheet(c.sheet);
        QStringList codes = c.codes;
        // Enough labels to reach the second page from the last place of the first.
        for (int i = codes.size(); i < 3; ++i)
            codes << QStringLiteral("N%1").arg(i);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("labels.pdf"));
        LabelOptions o;
        o.sheet = QString::fromLatin1(c.sheet);
        o.code = c.code;
        o.start = s.columns * s.rows;
        WriteLabelsPdf(items(codes), o, pdf);
        codes.sort();
        EXPECT_EQ(scanLabels(pdf, s, c.code), codes) << c.sheet;
    }
}

// Each sheet's page and the place of every label on it, from the texts of the PDF: a start on a
// partly used sheet leaves the places before it empty, and the labels go on onto the next page.
TEST(Labels, SheetGeometry) {
    for (const Sheet &s : Sheets) {
        const int per = s.columns * s.rows;
        const int start = per > 1 ? 2 : 1;
        QStringList codes;
        for (int i = 0; i < per + 1; ++i)
            codes << QStringLiteral("N%1").arg(i, 3, 10, QLatin1Char('0'));
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("labels.pdf"));
        LabelOptions o;
        o.sheet = QString::fromLatin1(s.name);
        o.start = start;
        WriteLabelsPdf(items(codes), o, pdf);

        const PdfText t = pdfText(pdf);
        EXPECT_NEAR(t.page.width(), s.pageW * PtPerMm, 0.5) << s.name;
        EXPECT_NEAR(t.page.height(), s.pageH * PtPerMm, 0.5) << s.name;
        EXPECT_EQ(t.pages, (start - 1 + codes.size() + per - 1) / per) << s.name;
        for (int i = 0; i < codes.size(); ++i) {
            const auto w = std::find_if(t.words.begin(), t.words.end(),
                                        [&](const Word &w) { return w.text == codes[i]; });
            ASSERT_NE(w, t.words.end()) << s.name << " " << codes[i].toStdString();
            const int slot = start - 1 + i;
            EXPECT_EQ(w->page, slot / per) << s.name << " " << i;
            const QRectF mm = s.slotMm(slot);
            const QRectF label(mm.topLeft() * PtPerMm, mm.size() * PtPerMm);
            EXPECT_TRUE(label.adjusted(-0.5, -0.5, 0.5, 0.5).contains(w->box))
                << s.name << " label " << i << " at " << w->box.x() << "," << w->box.y();
            // The number in large type, in the label's right part beside a square code.
            EXPECT_GT(w->box.height(), 9) << s.name;
            EXPECT_GT(w->box.left(), label.left() + label.height() * 0.5) << s.name;
        }
    }
}

// A text too long for its line shrinks, then wraps between words, then between characters: all of
// it is printed within its label, nothing cut.
TEST(Labels, LongTextsShrinkThenWrap) {
    const QString longName = QStringLiteral(
        "Многофункциональное устройство лазерное цветное двустороннее сетевое с автоподатчиком");
    const QString longWord =
        QStringLiteral("Сверхдлиннаяоднословнаямодельсерверабезединогопробеламеждусловами");
    const QString organisation = QStringLiteral("Государственное бюджетное учреждение «Центр»");
    struct Case {
        const char *sheet;
        LabelCodeKind code;
    } cases[] = {
        {"a4-4x10", LabelCodeKind::QrCode},
        {"a4-3x8", LabelCodeKind::Code128},
        {"roll-58x40", LabelCodeKind::DataMatrix},
    };
    for (const Case &c : cases) {
        std::vector<LabelItem> labels = {
            {longName, QStringLiteral("МФУ"), QStringLiteral("000777"), 1, 0},
            {longWord, QStringLiteral("Сервер"), QStringLiteral("000778"), 2, 0}};
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("labels.pdf"));
        LabelOptions o;
        o.sheet = QString::fromLatin1(c.sheet);
        o.code = c.code;
        o.organisation = organisation;
        WriteLabelsPdf(labels, o, pdf);
        const Sheet &s = sheet(c.sheet);
        const PdfText t = pdfText(pdf);
        for (int i = 0; i < 2; ++i) {
            const QRectF mm = s.slotMm(i);
            const QRectF label(mm.topLeft() * PtPerMm, mm.size() * PtPerMm);
            QString inside;
            QList<double> lines;
            for (const Word &w : t.words)
                if (w.page == (s.columns * s.rows > 1 ? 0 : i) && label.intersects(w.box)) {
                    EXPECT_TRUE(label.adjusted(-0.5, -0.5, 0.5, 0.5).contains(w.box))
                        << c.sheet << " " << w.text.toStdString();
                    inside += w.text;
                    if (!lines.contains(w.box.top()))
                        lines << w.box.top();
                }
            const QString name = i == 0 ? longName : longWord;
            EXPECT_TRUE(inside.contains(QString(name).remove(u' ')))
                << c.sheet << ": " << inside.toStdString();
            EXPECT_TRUE(inside.contains(QString(organisation).remove(u' '))) << c.sheet;
            // The texts did not all stay on one line each: something wrapped.
            EXPECT_GT(lines.size(), 4) << c.sheet;
        }
    }
}

// Options and codes a sheet cannot take are refused before anything is written.
TEST(Labels, RefusesWhatCannotBePrinted) {
    struct Case {
        const char *sheet;
        int start;
        LabelCodeKind code;
        QStringList codes;
        const char *message;
    } cases[] = {
        {"a4-5x5", 1, LabelCodeKind::QrCode, {"1"}, "Формат листа «a4-5x5» неизвестен"},
        {"a4-3x8",
         0,
         LabelCodeKind::QrCode,
         {"1"},
         "Начальная позиция на листе «A4, 3 × 8, 70 × 37 мм» — от 1 до 24"},
        {"a4-3x8", 25, LabelCodeKind::QrCode, {"1"}, "Начальная позиция"},
        {"roll-58x40", 2, LabelCodeKind::QrCode, {"1"}, "Начальная позиция"},
        {"a4-3x8", 1, LabelCodeKind::QrCode, {}, "Здесь нет устройств"},
        {"a4-3x8",
         1,
         LabelCodeKind::Code128,
         {"000101", "ИНВ-7"},
         "Номер «ИНВ-7» устройства «Устройство 2» нельзя"},
        {"a4-4x10",
         1,
         LabelCodeKind::Code128,
         {"SN-ABCDEFGHIJKLMNOPQRSTUVWXYZ-0123456789"},
         "слишком длинный"},
    };
    for (const Case &c : cases) {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("labels.pdf"));
        LabelOptions o;
        o.sheet = QString::fromLatin1(c.sheet);
        o.start = c.start;
        o.code = c.code;
        try {
            WriteLabelsPdf(items(c.codes), o, pdf);
            ADD_FAILURE() << c.message;
        } catch (const AppError &e) {
            EXPECT_TRUE(e.message().startsWith(QString::fromUtf8(c.message)) ||
                        e.message().contains(QString::fromUtf8(c.message)))
                << e.message().toStdString();
        }
        EXPECT_FALSE(QFileInfo::exists(pdf)) << c.message;
    }
}

// The PDF prints at its true size: a valid file whose catalogue asks for no scaling, its fonts
// embedded.
TEST(Labels, PdfAsksForNoScalingAndEmbedsItsFonts) {
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("labels.pdf"));
    LabelOptions o;
    o.organisation = QStringLiteral("ООО «Ромашка»");
    WriteLabelsPdf(items({"000101", "V15"}), o, pdf);
    const ToolRun check = RunProgram(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf});
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString() << check.err.toStdString();
    // Rewritten by qpdf, only what the document's root reaches is kept.
    const QString plain = dir.filePath(QStringLiteral("plain.pdf"));
    const ToolRun rewrite =
        RunProgram(QStringLiteral("qpdf"),
                   {QStringLiteral("--qdf"), QStringLiteral("--object-streams=disable"), pdf, plain});
    ASSERT_EQ(rewrite.exitCode, 0) << rewrite.err.toStdString();
    QFile f(plain);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("/PrintScaling /None"));
    // A file that cannot be written is said so.
    try {
        WriteLabelsPdf(items({"000101"}), o, dir.filePath(QStringLiteral("нет такой папки/labels.pdf")));
        ADD_FAILURE() << "written into a folder that is not there";
    } catch (const AppError &e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("Не удалось записать файл")))
            << e.message().toStdString();
    }
    const ToolRun fonts = RunProgram(QStringLiteral("pdffonts"), {pdf});
    const QStringList rows = fonts.out.split(u'\n', Qt::SkipEmptyParts).mid(2);
    ASSERT_FALSE(rows.isEmpty());
    for (const QString &row : rows)
        EXPECT_TRUE(row.contains(QRegularExpression(QStringLiteral(R"(\s+yes\s+(yes|no)\s+yes\s+)"))))
            << row.toStdString();
}

// velmora-db labels: a workplace's labels written and counted; a wrong command line is a usage
// error, a node that is not there an error, neither writes a file.
class LabelsToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        tool = ToolPath();
        if (!QFileInfo(tool).isExecutable())
            GTEST_SKIP() << "velmora-db is not built beside the tests";
        url = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("v.db"));
        ASSERT_EQ(RunProgram(tool, {"--database", url, "create"}).exitCode, 0);
        ASSERT_EQ(
            RunProgram(tool, {"--database", url, "sql", "INSERT INTO Department (DprtName) VALUES ('Отдел')"})
                .exitCode,
            0);
        ASSERT_EQ(RunProgram(tool, {"--database", url, "sql",
                                    "INSERT INTO Workplace (WrkpIdDepartment, WrkpName) VALUES (1, 'Место')"})
                      .exitCode,
                  0);
        for (const char *number : {"'000101'", "NULL"})
            ASSERT_EQ(RunProgram(tool, {"--database", url, "sql",
                                        QStringLiteral(
                                            "INSERT INTO DeviceUnit (DevcIdWorkplace, DevcName, DevcNumber) "
                                            "VALUES (1, 'ПК', %1)")
                                            .arg(QString::fromLatin1(number))})
                          .exitCode,
                      0);
    }
    QString tool, url;
    QTemporaryDir dir;
};

TEST_F(LabelsToolTest, WritesAWorkplacesLabels) {
    const QString pdf = dir.filePath(QStringLiteral("w.pdf"));
    const ToolRun ok =
        RunProgram(tool, {"--database", url, "labels", "--workplace", "1", "--pdf", pdf, "--format", "a4-2x7",
                          "--code", "datamatrix", "--start", "3", "--organisation", "ООО «Ромашка»"});
    ASSERT_EQ(ok.exitCode, 0) << ok.err.toStdString();
    EXPECT_EQ(ok.out, QStringLiteral("Этикеток: 2\n"));
    Sheet s = sheet("a4-2x7");
    EXPECT_EQ(scanLabels(pdf, s, LabelCodeKind::DataMatrix), (QStringList{"000101", "V2"}));
    const PdfText t = pdfText(pdf);
    const auto w =
        std::find_if(t.words.begin(), t.words.end(), [](const Word &w) { return w.text == u"000101"; });
    ASSERT_NE(w, t.words.end());
    const QRectF third = s.slotMm(2);
    EXPECT_TRUE(QRectF(third.topLeft() * PtPerMm, third.size() * PtPerMm).contains(w->box));
    EXPECT_TRUE(
        std::any_of(t.words.begin(), t.words.end(), [](const Word &w) { return w.text == u"«Ромашка»"; }));

    struct Case {
        QStringList args;
        int exitCode;
        const char *message;
    } cases[] = {
        {{"--pdf", pdf}, 2, "укажите --department N, --workplace N, --device N или --all"},
        {{"--workplace", "1"}, 2, "укажите файл"},
        {{"--workplace", "1", "--all", "--pdf", pdf}, 2, "укажите одно из"},
        {{"--workplace", "x", "--pdf", pdf}, 2, "после --workplace нужно целое число"},
        {{"--all", "--pdf", pdf, "--format", "a5"}, 2, "формат «a5» неизвестен"},
        {{"--all", "--pdf", pdf, "--code", "ean13"}, 2, "код «ean13» неизвестен"},
        {{"--workplace", "7", "--pdf", pdf}, 1, "Рабочее место не найдено"},
        {{"--all", "--pdf", pdf, "--start", "25"}, 1, "Начальная позиция"},
    };
    for (const Case &c : cases) {
        QFile::remove(pdf);
        const ToolRun r = RunProgram(tool, QStringList{"--database", url, "labels"} + c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.message;
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.message))) << r.err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(pdf)) << c.message;
    }
}

} // namespace
