// The program's own reports: each one rendered to PDF from the demo organisation on both engines
// and read back with pdftotext; a report of a row that is gone; the admin tool's report command.
#include "DemoData.h"
#include "Errors.h"
#include "Reports.h"
#include "Server.h"
#include "TestDatabase.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
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
         {QStringLiteral("Последние перемещения"), QStringLiteral("Дата Код Тип Модель Куда")}},
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

VELMORA_BOTH_ENGINES(ReportsTest);

// Every kind of cell text comes out of the PDF as it went in: the table's cells are set as glyphs
// without a text layout where they can be, and through the layout where they cannot.
TEST(ReportLayout, CellsOfEveryKindOfTextComeOutAsWritten) {
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty());
    const QString longText =
        QStringLiteral("Очень длинное название подразделения, которое никак не помещается в колонку");
    const struct {
        const char *what;
        QString cell, expected, absent;
    } cases[] = {
        {"Cyrillic with signs",
         QStringLiteral("Склад №1; «главный»"),
         QStringLiteral("Склад №1; «главный»"),
         {}},
        {"money, right-aligned", QStringLiteral("1 234,50 ₽"), QStringLiteral("1 234,50 ₽"), {}},
        {"a tab and a line break stand as blanks",
         QStringLiteral("Стол\t3\nокно"),
         QStringLiteral("Стол 3 окно"),
         {}},
        {"a combining mark goes through the text layout",
         QStringLiteral("И\u0306ошкар-Ола"),
         QStringLiteral("Йошкар-Ола"),
         {}},
        {"too long for its column: cut with an ellipsis", longText, QStringLiteral("Очень длинное"),
         QStringLiteral("колонку")},
    };
    ReportTable r;
    r.title = QStringLiteral("Проверка");
    r.made = QDateTime(QDate(2026, 1, 2), QTime(3, 4));
    r.columns = {{QStringLiteral("Что"), 1}, {QStringLiteral("Значение"), 1.5, Qt::AlignRight}};
    for (const auto &c : cases)
        r.rows.push_back({QString::fromLatin1(c.what).left(8), c.cell});
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cells.pdf"));
    WriteReportPdf(r, path);
    const QString text = pdfText(path).normalized(QString::NormalizationForm_C);
    EXPECT_TRUE(text.contains(QStringLiteral("Дата: 02.01.2026 03:04"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Страница 1 из 1"))) << text.toStdString();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_TRUE(text.contains(c.expected)) << text.toStdString();
        if (!c.absent.isEmpty()) {
            EXPECT_FALSE(text.contains(c.absent)) << text.toStdString();
            EXPECT_TRUE(text.contains(QStringLiteral("…"))) << text.toStdString();
        }
    }
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
