// The program's own reports: each one rendered to PDF from the demo organisation on both engines
// and read back with pdftotext; a report of a row that is gone; the admin tool's report command.
#include "TestDatabase.h"
#include "data/Errors.h"
#include "data/TessalString.h"
#include "model/ReportRender.h"
#include "model/Reports.h"
#include "server/DemoData.h"
#include "server/Server.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

// The text of a PDF file as pdftotext reads it, lines joined with blanks.
QString pdfText(const QString &path) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QStringLiteral("<pdftotext failed: %1>").arg(QString::fromUtf8(p.readAllStandardError()));
    return QString::fromUtf8(p.readAllStandardOutput()).simplified();
}

// The text of a PDF file in the order it was written, without any blank: a cell wrapped onto
// several lines reads as one.
QString pdfTextUnspaced(const QString &path) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), path, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return QStringLiteral("<pdftotext failed>");
    return QString::fromUtf8(p.readAllStandardOutput()).remove(QRegularExpression(QStringLiteral("\\s+")));
}

// What a command-line tool says about a file (standard output), with its exit code.
std::pair<int, QString> toolSays(const QString &tool, const QStringList &args) {
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(60000))
        return {-1, QString()};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput())};
}

// Whether the file was written by the reports' own writer rather than through the painter.
bool writtenDirectly(const QString &path) {
    return toolSays(QStringLiteral("pdfinfo"), {path})
        .second.contains(QRegularExpression(QStringLiteral("^Producer:\\s+Velmora$"),
                                            QRegularExpression::MultilineOption));
}

class ReportsTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            << "pdftotext (poppler-utils) is needed: scripts/install-deps.sh installs it";
        CreateDemoData(cn());
    }
    QString text(const QString &sql) { return scalar(sql).toString().trimmed(); }
    int number(const QString &sql) { return scalar(sql).toInt(); }

    QString rendered(const QString &name, int key = -1) {
        const QString path = dir.filePath(name + QStringLiteral(".pdf"));
        WriteReportPdf(BuildReport(cn(), name, key), path);
        return pdfText(path);
    }

    QTemporaryDir dir;
};

TEST_P(ReportsTest, EachReportShowsAKnownDemoRow) {
    const int device = number("SELECT min(CmplIdDevice) FROM CompleteSet");
    const int workplace =
        number(QStringLiteral("SELECT DevcIdWorkplace FROM DeviceUnit WHERE IdDevice = %1").arg(device));
    const int document = number("SELECT min(DocumentId) FROM CompleteSet WHERE DocumentPosition = 1");
    const int user = number("SELECT min(ID) FROM [User]");
    cn().execute(
        "INSERT INTO UserInstall ([User], Line, Title, Name, Done) VALUES (:U, 1, :F, 'Настроить почту', :T)",
        {{"U", user}, {"F", false}, {"T", true}});
    const int mailUser = number("SELECT min(ID) FROM [User] WHERE EMail IS NOT NULL");
    ASSERT_GT(device, 0);
    ASSERT_GT(document, 0);
    ASSERT_GT(user, 0);

    const struct {
        const char *name;
        int key;
        QStringList expected;
    } cases[] = {
        {"device",
         device,
         {QStringLiteral("Устройство «%1»")
              .arg(text(QStringLiteral("SELECT DevcName FROM DeviceUnit WHERE IdDevice = %1").arg(device))),
          QStringLiteral("Рабочее место: ") +
              text(QStringLiteral("SELECT WrkpName FROM Workplace WHERE IdWorkplace = %1").arg(workplace)),
          QStringLiteral("Код Тип Модель Номер Установлен"),
          ElementCodeText(
              number(QStringLiteral("SELECT min(IdComponent) FROM CompleteSet WHERE CmplIdDevice = %1")
                         .arg(device)))}},
        {"workplace",
         workplace,
         {QStringLiteral("Рабочее место «%1»")
              .arg(text(
                  QStringLiteral("SELECT WrkpName FROM Workplace WHERE IdWorkplace = %1").arg(workplace))),
          QStringLiteral("Устройство Код Тип Модель Номер")}},
        {"last.move",
         -1,
         {QStringLiteral("Последние перемещения"), QStringLiteral("Дата Код Тип Модель Откуда Где сейчас")}},
        {"prevention",
         -1,
         {QStringLiteral("Профилактика"), QStringLiteral("Подразделение Рабочее место Устройство")}},
        {"document",
         document,
         {QStringLiteral("№ ") +
              text(QStringLiteral("SELECT DocNumber FROM Document WHERE IdDocument = %1").arg(document)),
          QStringLiteral("Поставщик: "),
          QStringLiteral("Позиций: %1, сумма: ")
              .arg(number(
                  QStringLiteral("SELECT count(*) FROM CompleteSet WHERE DocumentId = %1").arg(document)))}},
        {"computer.list", -1, {QStringLiteral("Список компьютеров"), QStringLiteral("Сетевое имя")}},
        {"user.info",
         mailUser,
         {QStringLiteral("Пользователь «%1»")
              .arg(text(QStringLiteral("SELECT Name FROM [User] WHERE ID = %1").arg(mailUser))),
          text(QStringLiteral("SELECT EMail FROM [User] WHERE ID = %1").arg(mailUser))}},
        {"user.list", -1, {QStringLiteral("Список пользователей"), QStringLiteral("Учётная запись")}},
        {"mail.box",
         -1,
         {QStringLiteral("Внешние почтовые ящики"),
          text(QStringLiteral("SELECT EMail FROM [User] WHERE ID = %1").arg(mailUser))}},
        {"user.install",
         user,
         {QStringLiteral("Настройка компьютера: «%1»")
              .arg(text(QStringLiteral("SELECT Name FROM [User] WHERE ID = %1").arg(user))),
          QStringLiteral("Настроить почту"), QStringLiteral("Выполнено")}},
    };
    QStringList seen;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        seen << QString::fromLatin1(c.name);
        const QString pdf = rendered(QString::fromLatin1(c.name), c.key);
        EXPECT_TRUE(pdf.contains(QStringLiteral("Дата: ") +
                                 QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"))))
            << pdf.left(300).toStdString();
        EXPECT_TRUE(pdf.contains(QStringLiteral("Страница 1 из "))) << pdf.left(300).toStdString();
        for (const QString &e : c.expected)
            EXPECT_TRUE(pdf.contains(e)) << e.toStdString() << "\n" << pdf.left(600).toStdString();
    }
    EXPECT_EQ(seen, ReportNames());
}

TEST_P(ReportsTest, ANameCannotTurnTheTitleAround) {
    const int device = number("SELECT min(IdDevice) FROM DeviceUnit");
    const struct {
        QString name, title;
    } cases[] = {
        {QStringLiteral("ПК-01"), QStringLiteral("Устройство «ПК-01»")},
        // A right-to-left override (U+202E) in the name stays inside it.
        {QStringLiteral("ПК\u202Eгип"), QStringLiteral("Устройство «\u2068ПК\u202Eгип\u2069»")},
        {QStringLiteral("שרת"), QStringLiteral("Устройство «\u2068שרת\u2069»")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        cn().execute("UPDATE DeviceUnit SET DevcName = :N WHERE IdDevice = :K",
                     {{"N", c.name}, {"K", device}});
        const ReportTable r = BuildReport(cn(), QStringLiteral("device"), device);
        EXPECT_EQ(r.title, c.title);
        EXPECT_NO_THROW(WriteReportPdf(r, dir.filePath(QStringLiteral("title.pdf"))));
    }
}

TEST_P(ReportsTest, ALongReportNumbersItsPagesAndAnEmptyOneSaysSo) {
    const int workplace = number("SELECT min(IdWorkplace) FROM Workplace");
    for (int i = number("SELECT count(*) FROM DeviceUnit"); i < 120; ++i)
        insert("DeviceUnit",
               {{"DevcIdWorkplace", workplace}, {"DevcName", QStringLiteral("Терминал %1").arg(i)}});
    const QString prevention = rendered(QStringLiteral("prevention"));
    EXPECT_TRUE(prevention.contains(QStringLiteral("Страница 2 из "))) << prevention.left(300).toStdString();

    cn().execute("DELETE FROM ElementMove");
    EXPECT_TRUE(rendered(QStringLiteral("last.move")).contains(QStringLiteral("Нет данных.")));
}

// What an inventory needs whole comes out whole: the longest serial numbers and model names,
// and the column titles, in the reports with the most columns.
TEST_P(ReportsTest, NumbersModelsAndTitlesAreNeverCut) {
    const int component = number("SELECT min(IdComponent) FROM CompleteSet WHERE CmplIdDevice IS NOT NULL");
    const int device =
        number(QStringLiteral("SELECT CmplIdDevice FROM CompleteSet WHERE IdComponent = %1").arg(component));
    const int workplace =
        number(QStringLiteral("SELECT DevcIdWorkplace FROM DeviceUnit WHERE IdDevice = %1").arg(device));
    const QString serial = QStringLiteral("WS40008337-1457-2025-SN-0000000000000042"); // 40 characters
    const QString model = QStringLiteral("Системный блок OfficeLine Pro 7000 Tower i7-13700 32GB W11");
    cn().execute(
        QStringLiteral("UPDATE CompleteSet SET CmplNumber = :N WHERE IdComponent = %1").arg(component),
        {{"N", serial}});
    cn().execute(QStringLiteral("UPDATE Model SET ModlName = :M WHERE IdModel = (SELECT CmplIdModel FROM "
                                "CompleteSet WHERE IdComponent = %1)")
                     .arg(component),
                 {{"M", model}});
    const struct {
        const char *name;
        int key;
        QStringList whole;
    } cases[] = {
        {"device", device, {serial, model, QStringLiteral("Установлен")}},
        {"workplace", workplace, {serial, model}},
        {"prevention", -1, {QStringLiteral("Профилактика"), QStringLiteral("Рабочее место")}},
        {"last.move", -1, {QStringLiteral("Где сейчас")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromLatin1(c.name) + QStringLiteral(".pdf"));
        WriteReportPdf(BuildReport(cn(), QString::fromLatin1(c.name), c.key), path);
        const QString pdf = pdfTextUnspaced(path);
        for (const QString &w : c.whole)
            EXPECT_TRUE(pdf.contains(QString(w).remove(u' '))) << w.toStdString() << "\n"
                                                               << pdf.toStdString();
        // Whole words stay on one line: a serial number is never broken.
        EXPECT_TRUE(pdfText(path).contains(serial) || c.key < 0) << pdfText(path).toStdString();
        EXPECT_FALSE(pdf.contains(QStringLiteral("…"))) << pdf.toStdString();
    }
}

TEST_P(ReportsTest, ARowThatIsGoneOrAMissingKeyIsRefusedWithAMessage) {
    for (const char *name : {"device", "workplace", "document", "user.info", "user.install"}) {
        SCOPED_TRACE(name);
        try {
            BuildReport(cn(), QString::fromLatin1(name), 999999);
            ADD_FAILURE() << "no error";
        } catch (const AppError &e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("удалили на другом рабочем месте")))
                << e.message().toStdString();
        }
        EXPECT_THROW(BuildReport(cn(), QString::fromLatin1(name), -1), AppError);
    }
    EXPECT_THROW(BuildReport(cn(), QStringLiteral("nothing")), AppError);
    const QString unwritable = dir.filePath(QStringLiteral("нет папки/r.pdf"));
    EXPECT_THROW(WriteReportPdf(BuildReport(cn(), QStringLiteral("user.list")), unwritable), AppError);
}

// The prevention list: never serviced first, then by the day, then by department, workplace and
// device in the program's order of names (small and capital letters together, "ё" as "е"),
// whatever order the database's collation would give.
TEST_P(ReportsTest, PreventionListsNeverServicedFirstThenByDayAndNames) {
    const QDateTime day(QDate(2001, 2, 3), QTime(10, 0)), earlier(QDate(2001, 1, 5), QTime(9, 0));
    const struct {
        const char *department, *workplace, *device;
        QDateTime prevention;
    } devices[] = {
        // Inserted out of order, so that neither the keys nor the insertion give the order.
        {"Ёлочный цех", "Окно", "Принтер", day},     {"ели", "Окно", "Принтер", day},
        {"бухгалтерия", "Окно", "Принтер", day},     {"Архив", "Окно", "Принтер", day},
        {"Архив", "Окно", "монитор", day},           {"Архив", "дверь", "Принтер", day},
        {"Ёлочный цех", "Окно", "Принтер", earlier}, {"Ёлочный цех", "Окно", "Никогда", {}},
    };
    QHash<QString, QVariant> departments, workplaces;
    for (const auto &d : devices) {
        const QString department = QString::fromUtf8(d.department);
        if (!departments.contains(department))
            departments[department] = insert("Department", {{"DprtName", department}});
        const QString place = department + u'/' + QString::fromUtf8(d.workplace);
        if (!workplaces.contains(place))
            workplaces[place] = insert("Workplace", {{"WrkpName", QString::fromUtf8(d.workplace)},
                                                     {"WrkpIdDepartment", departments[department]}});
        QVariantMap values{{"DevcIdWorkplace", workplaces[place]}, {"DevcName", QString::fromUtf8(d.device)}};
        if (d.prevention.isValid())
            values.insert("Prevention", d.prevention);
        insert("DeviceUnit", values);
    }
    const QStringList expected = {
        "Ёлочный цех/Окно/Никогда/",      "Ёлочный цех/Окно/Принтер/05.01.2001",
        "Архив/дверь/Принтер/03.02.2001", "Архив/Окно/монитор/03.02.2001",
        "Архив/Окно/Принтер/03.02.2001",  "бухгалтерия/Окно/Принтер/03.02.2001",
        "ели/Окно/Принтер/03.02.2001",    "Ёлочный цех/Окно/Принтер/03.02.2001",
    };

    const ReportTable report = BuildReport(cn(), QStringLiteral("prevention"));
    QStringList ours;
    qsizetype lastNever = -1, firstServiced = -1;
    for (size_t i = 0; i < report.rows.size(); ++i) {
        const QStringList &row = report.rows[i];
        if (row[3].isEmpty())
            lastNever = qsizetype(i);
        else if (firstServiced < 0)
            firstServiced = qsizetype(i);
        if (departments.contains(row[0]))
            ours << QStringList{row[0], row[1], row[2], row[3]}.join(u'/');
    }
    EXPECT_EQ(ours, expected);
    EXPECT_LT(lastNever, firstServiced) << "a device never serviced stands among the serviced ones";
}

// Departments of the same name count as one name in the prevention list: their devices of one day
// go by workplace and device across them, whichever department came first.
TEST_P(ReportsTest, PreventionTreatsDepartmentsOfOneNameAsOne) {
    const QDateTime day(QDate(2003, 4, 5), QTime(8, 0));
    const QVariant first = insert("Department", {{"DprtName", "Склад"}});
    const QVariant second = insert("Department", {{"DprtName", "Склад"}});
    const QVariant other = insert("Department", {{"DprtName", "склад"}});
    const struct {
        QVariant department;
        const char *workplace, *device;
    } devices[] = {{first, "Ворота", "Весы"},
                   {second, "Ангар", "Весы"},
                   {first, "Ангар", "Кран"},
                   {other, "Ангар", "Весы"}};
    for (const auto &d : devices) {
        const QVariant place = insert(
            "Workplace", {{"WrkpName", QString::fromUtf8(d.workplace)}, {"WrkpIdDepartment", d.department}});
        insert("DeviceUnit",
               {{"DevcIdWorkplace", place}, {"DevcName", QString::fromUtf8(d.device)}, {"Prevention", day}});
    }
    QStringList ours;
    for (const QStringList &row : BuildReport(cn(), QStringLiteral("prevention")).rows)
        if (row[3] == u"05.04.2003")
            ours << QStringList{row[0], row[1], row[2]}.join(u'/');
    // "Склад" before "склад": equal when folded, then by the exact text.
    EXPECT_EQ(ours,
              (QStringList{"Склад/Ангар/Весы", "Склад/Ангар/Кран", "Склад/Ворота/Весы", "склад/Ангар/Весы"}));
}

// The lists of names in the other reports follow the same order of names, whatever the
// database's collation would give (a C collation puts capitals and "Ё" before small letters).
TEST_P(ReportsTest, ListsOfNamesFollowTheProgramsOrderOfNames) {
    const QVariant department = insert("Department", {{"DprtName", "Отдел"}});
    const QVariant workplace = insert("Workplace", {{"WrkpName", "Стол"}, {"WrkpIdDepartment", department}});
    const QVariant user = insert("User", {{"Login", "tester"}, {"Name", "Тестов"}});
    const QStringList users = {"борисов", "Ёлкин", "Андреев", "ежов"};
    for (const QString &name : users)
        insert("User", {{"Login", FoldText(name)}, {"Name", name}, {"EMail", name + "@example.test"}});
    const QStringList devices = {"принтер", "Монитор", "ёмкость", "Ежик"};
    for (const QString &name : devices)
        insert("DeviceUnit", {{"DevcIdWorkplace", workplace}, {"DevcName", name}});
    const QStringList domains = {"zeta-pc", "Beta-pc", "alpha-pc"};
    for (const QString &name : domains)
        insert("DeviceUnit", {{"DevcIdWorkplace", workplace}, {"DevcName", "ПК"}, {"Domain", name}});
    const QStringList places = {"окно", "Дверь", "дверца"};
    for (const QString &name : places)
        insert("Workplace", {{"WrkpName", name}, {"WrkpIdDepartment", department}, {"User", user}});

    const struct {
        const char *report;
        int key, column;
        QStringList names, expected;
    } cases[] = {
        {"user.list", -1, 0, users, {"Андреев", "борисов", "ежов", "Ёлкин"}},
        {"mail.box", -1, 0, users, {"Андреев", "борисов", "ежов", "Ёлкин"}},
        {"workplace", workplace.toInt(), 0, devices, {"Ежик", "ёмкость", "Монитор", "принтер"}},
        {"computer.list", -1, 0, domains, {"alpha-pc", "Beta-pc", "zeta-pc"}},
        {"user.info", user.toInt(), 1, places, {"дверца", "Дверь", "окно"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.report);
        const ReportTable report = BuildReport(cn(), QString::fromLatin1(c.report), c.key);
        QStringList seen;
        for (const QStringList &row : report.rows)
            if (c.names.contains(row.value(c.column)))
                seen << row.value(c.column);
        EXPECT_EQ(seen, c.expected);
    }
}

VELMORA_BOTH_ENGINES(ReportsTest);

// Every kind of cell text comes out of the PDF as it went in. The report's own writer sets the
// cells as glyphs of the embedded fonts; a report with a text it cannot set that way (combining
// marks, right-to-left script) is rendered through the painter instead, all of its cells still
// read back.
TEST(ReportLayout, CellsOfEveryKindOfTextComeOutAsWritten) {
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty());
    const QString longText = QStringLiteral(
        "Очень длинное название подразделения, которое никак не помещается в колонку и занимает "
        "не одну строку страницы, даже когда колонке отдана вся ширина, что остаётся от соседней");
    const struct {
        const char *what;
        QString cell, expected, absent;
        bool plain; // set as glyphs by the own writer
    } cases[] = {
        {"Cyrillic with signs",
         QStringLiteral("Склад №1; «главный»"),
         QStringLiteral("Склад №1; «главный»"),
         {},
         true},
        {"the PDF string's own characters",
         QStringLiteral("C:\\Отчёты\\(копия) \"1\" 'а' ))\\"),
         QStringLiteral("C:\\Отчёты\\(копия) \"1\" 'а' ))\\"),
         {},
         true},
        // Every glyph code, whatever its bytes, must survive the string it is written in.
        {"ASCII, first half",
         QStringLiteral("!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMN"),
         QStringLiteral("!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMN"),
         {},
         true},
        {"ASCII, second half",
         QStringLiteral("OPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~"),
         QStringLiteral("OPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~"),
         {},
         true},
        {"Russian capitals",
         QStringLiteral("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"),
         QStringLiteral("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"),
         {},
         true},
        {"Russian small letters",
         QStringLiteral("абвгдеёжзийклмнопрстуфхцчшщъыьэюя"),
         QStringLiteral("абвгдеёжзийклмнопрстуфхцчшщъыьэюя"),
         {},
         true},
        {"money, right-aligned", QStringLiteral("1 234,50 ₽"), QStringLiteral("1 234,50 ₽"), {}, true},
        {"a tab and a line break stand as blanks",
         QStringLiteral("Стол\t3\nокно"),
         QStringLiteral("Стол 3 окно"),
         {},
         true},
        {"too long for the page: wraps onto further lines, whole", longText, longText, QStringLiteral("…"),
         true},
        {"a combining mark goes through the text layout",
         QStringLiteral("И\u0306ошкар-Ола"),
         QStringLiteral("Йошкар-Ола"),
         {},
         false},
        {"right-to-left goes through the text layout",
         QStringLiteral("שלום"),
         QStringLiteral("שלום"),
         {},
         false},
    };
    QTemporaryDir dir;
    for (const bool withLayoutCells : {false, true}) {
        SCOPED_TRACE(withLayoutCells ? "through the painter" : "own writer");
        ReportTable r;
        r.title = QStringLiteral("Проверка (\\)");
        r.made = QDateTime(QDate(2026, 1, 2), QTime(3, 4));
        r.columns = {{QStringLiteral("Что"), 1}, {QStringLiteral("Значение"), 1.5, Qt::AlignRight}};
        for (const auto &c : cases)
            if (c.plain || withLayoutCells)
                r.rows.push_back({QString::fromLatin1(c.what).left(8), c.cell});
        const QString path =
            dir.filePath(withLayoutCells ? QStringLiteral("layout.pdf") : QStringLiteral("own.pdf"));
        WriteReportPdf(r, path);
        EXPECT_EQ(writtenDirectly(path), !withLayoutCells);
        const QString text = pdfText(path).normalized(QString::NormalizationForm_C);
        EXPECT_TRUE(text.contains(QStringLiteral("Проверка (\\)"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("Дата: 02.01.2026 03:04"))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("Страница 1 из 1"))) << text.toStdString();
        for (const auto &c : cases) {
            if (!c.plain && !withLayoutCells)
                continue;
            SCOPED_TRACE(c.what);
            EXPECT_TRUE(text.contains(c.expected)) << text.toStdString();
            if (!c.absent.isEmpty()) {
                EXPECT_FALSE(text.contains(c.absent)) << text.toStdString();
            }
        }
    }
}

// The own writer's file is a sound PDF: its structure passes qpdf's check, every page is there
// on a page of the report's orientation, and the fonts are embedded subsets, small for a short
// report.
TEST(ReportLayout, TheWrittenFileIsASoundPdfWithEmbeddedFonts) {
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("qpdf")).isEmpty())
        << "qpdf is needed: scripts/install-deps.sh installs it";
    const struct {
        bool landscape;
        int rows;
        const char *pageSize;
    } cases[] = {{false, 3, "595 x 842"}, {false, 150, "595 x 842"}, {true, 90, "842 x 595"}};
    QTemporaryDir dir;
    for (const auto &c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 rows, landscape %2").arg(c.rows).arg(c.landscape).toStdString());
        ReportTable r;
        r.title = QStringLiteral("Список");
        r.made = QDateTime::currentDateTime();
        r.landscape = c.landscape;
        r.columns = {{QStringLiteral("№"), 0.5, Qt::AlignHCenter}, {QStringLiteral("Название"), 3}};
        for (int i = 1; i <= c.rows; ++i)
            r.rows.push_back({QString::number(i), QStringLiteral("Устройство %1").arg(i)});
        r.totals << QStringLiteral("Всего: %1").arg(c.rows);
        const QString path = dir.filePath(QStringLiteral("list.pdf"));
        WriteReportPdf(r, path);
        ASSERT_TRUE(writtenDirectly(path));

        const auto check = toolSays(QStringLiteral("qpdf"), {QStringLiteral("--check"), path});
        EXPECT_EQ(check.first, 0) << check.second.toStdString();

        const QString info = toolSays(QStringLiteral("pdfinfo"), {path}).second;
        const QString text = pdfText(path);
        const QRegularExpressionMatch pages =
            QRegularExpression(QStringLiteral("Страница 1 из (\\d+)")).match(text);
        ASSERT_TRUE(pages.hasMatch()) << text.left(300).toStdString();
        EXPECT_EQ(c.rows > 60, pages.captured(1).toInt() > 1);
        EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("^Pages:\\s+%1$").arg(pages.captured(1)),
                                                     QRegularExpression::MultilineOption)))
            << info.toStdString();
        EXPECT_TRUE(info.contains(QString::fromLatin1(c.pageSize))) << info.toStdString();
        EXPECT_TRUE(info.contains(
            QRegularExpression(QStringLiteral("^Title:\\s+Список$"), QRegularExpression::MultilineOption)))
            << info.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("Устройство %1").arg(c.rows))) << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("Всего: %1").arg(c.rows)));

        // Both fonts embedded as subsets with their character map: name, type, encoding, emb, sub, uni.
        const QString fonts = toolSays(QStringLiteral("pdffonts"), {path}).second;
        for (const char *font : {"DejaVuSans ", "DejaVuSans-Bold "})
            EXPECT_TRUE(fonts.contains(QRegularExpression(
                QStringLiteral("^[A-Z]{6}\\+%1\\s*CID TrueType\\s+Identity-H\\s+yes yes yes")
                    .arg(QString::fromLatin1(font).trimmed()),
                QRegularExpression::MultilineOption)))
                << font << "\n"
                << fonts.toStdString();
        // The two whole fonts take some 600 KB even compressed.
        EXPECT_LT(QFileInfo(path).size(), 300 * 1024);
    }
}

// The file name a report's PDF is offered under keeps the whole title, a date's dots included,
// loses only what a file system refuses, and ends in ".pdf".
TEST(ReportFileName, KeepsTheWholeTitleAndEndsInPdf) {
    const struct {
        const char *title, *file;
    } cases[] = {
        {"Счёт-фактура № 1457 от 25.05.2025", "Счёт-фактура № 1457 от 25.05.2025.pdf"},
        {"Устройство «ПК бухгалтера»", "Устройство «ПК бухгалтера».pdf"},
        {"Накладная 12/3: \"Ромашка\" <опт>", "Накладная 12 3 Ромашка опт.pdf"},
        {"Что? *Всё* | сразу\tи\nвдруг", "Что Всё сразу и вдруг.pdf"},
        {"Список компьютеров...", "Список компьютеров.pdf"},
        {"", "Отчёт.pdf"},
        {" / ", "Отчёт.pdf"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ReportFileName(QString::fromUtf8(c.title)), QString::fromUtf8(c.file)) << c.title;
}

TEST(ReportCommand, WritesAReportOfTheDemoDatabase) {
    const QString tool = QCoreApplication::applicationDirPath() + QStringLiteral("/velmora-db");
    if (!QFileInfo(tool).isExecutable())
        GTEST_SKIP() << "velmora-db is not built beside the tests";
    QTemporaryDir dir;
    const QString db = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("demo.db"));
    auto run = [&](const QStringList &args) {
        QProcess p;
        p.start(tool, QStringList{QStringLiteral("--database"), db} + args);
        p.waitForFinished(120000);
        return std::pair{p.exitCode(), QString::fromUtf8(p.readAllStandardError())};
    };
    ASSERT_EQ(run({QStringLiteral("create"), QStringLiteral("--demo")}).first, 0);
    const QString pdf = dir.filePath(QStringLiteral("users.pdf"));
    const auto ok =
        run({QStringLiteral("report"), QStringLiteral("user.list"), QStringLiteral("--pdf"), pdf});
    ASSERT_EQ(ok.first, 0) << ok.second.toStdString();
    EXPECT_TRUE(pdfText(pdf).contains(QStringLiteral("Список пользователей")));

    const struct {
        QStringList args;
        int exit;
        const char *err;
    } wrong[] = {
        {{QStringLiteral("report"), QStringLiteral("user.list")}, 2, "--pdf"},
        {{QStringLiteral("report"), QStringLiteral("device"), QStringLiteral("x"), QStringLiteral("--pdf"),
          pdf},
         2,
         "ключ"},
        {{QStringLiteral("report"), QStringLiteral("device"), QStringLiteral("--pdf"), pdf}, 1, "нужен ключ"},
        {{QStringLiteral("report"), QStringLiteral("device"), QStringLiteral("999999"),
          QStringLiteral("--pdf"), pdf},
         1,
         "не найдена"},
        {{QStringLiteral("report"), QStringLiteral("payroll"), QStringLiteral("--pdf"), pdf},
         1,
         "Неизвестный отчёт"},
    };
    for (const auto &w : wrong) {
        const auto r = run(w.args);
        EXPECT_EQ(r.first, w.exit) << w.args.join(u' ').toStdString();
        EXPECT_TRUE(r.second.contains(QString::fromUtf8(w.err))) << r.second.toStdString();
    }
}

} // namespace
