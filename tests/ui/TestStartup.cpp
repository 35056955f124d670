// Start-up: a database that cannot be reached or used stops the start with one Russian box, a log
// entry and a failed exit status; a new embedded database is offered the demo organisation; the
// program speaks Russian whatever the system's language. In this process through the same start-up
// code the program runs, and end to end with the built program.
#include "TestDatabase.h"
#include "data/Errors.h"
#include "data/TessalDialog.h"
#include "data/TessalLog.h"
#include "data/dmTessalData.h"
#include "dialogs/dgFirmList.h"
#include "server/Server.h"
#include "shell/Startup.h"
#include "shell/fmMain.h"
#include "shell/fmSplash.h"
#include "ui/Fonts.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>

namespace {

const QString Unreachable = QStringLiteral("postgresql://127.0.0.1:1/Velmora"); // nothing listens on port 1
const QString ServerDown = QStringLiteral("Сервер данных недоступен.");

// What the driver says when the address cannot be opened.
QString driverMessage(const QString &url) {
    Connection cn;
    try {
        cn.open(url);
    } catch (const DatabaseError &e) {
        return e.message();
    }
    return {};
}

// The driver's text as the box shows it: each line trimmed.
QString boxLines(const QString &text) {
    QStringList lines = text.split(u'\n');
    for (QString &line : lines)
        line = line.trimmed();
    return lines.join(u'\n');
}

QString crlf(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text.replace(u'\n', QStringLiteral("\r\n"));
}

QString readText(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// A new log with exactly one entry holding `message`, every line ended by CR LF.
void expectLogWithOneEntry(const QString &log, const QString &message) {
    EXPECT_FALSE(log.contains(QRegularExpression(QStringLiteral("[^\r]\n")))) << "a line not ended by CR LF";
    const QRegularExpression entry(QStringLiteral("^Журнал приложения Velmora [^\r\n]+\r\n"
                                                  "\r\n"
                                                  "[^\r\n]+ \\]-{70}\r\n") +
                                   QRegularExpression::escape(crlf(message)) + QStringLiteral("\r\n$"));
    EXPECT_TRUE(entry.match(log).hasMatch()) << log.toStdString();
}

void expectOwnerOnly(const QString &path) {
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    EXPECT_FALSE(QFile::permissions(path) & others) << path.toStdString();
}

// A database made by the real schema whose stored version is one a newer program would write.
void makeNewerDatabase(const QString &file) {
    InstallServer();
    Connection cn;
    cn.open(QStringLiteral("sqlite:") + file);
    PrepareDatabase(cn);
    cn.execute(QStringLiteral("UPDATE SchemaVersion SET Version = Version + 100"));
}

// What the program says of that database.
QString refusalOf(const QString &file) {
    Connection cn;
    cn.open(QStringLiteral("sqlite:") + file);
    try {
        PrepareDatabase(cn);
    } catch (const AppError &e) {
        return e.message();
    }
    return {};
}

int storedVersion(const QString &file) {
    Connection cn;
    cn.open(QStringLiteral("sqlite:") + file);
    return cn.scalar(QStringLiteral("SELECT max(Version) FROM SchemaVersion")).toInt();
}

// Boxes recorded and answered with OK; the log pointed into a folder of the test's own.
class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        previousLog = AppLogFileName();
        previousFallback = AppLogFallbackFileName();
        logFile = dir.filePath(QStringLiteral("bin/Velmora.log"));
        fallbackLog = dir.filePath(QStringLiteral("data/Korvant/Velmora/Velmora.log"));
        ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("bin"))));
        SetAppLogFileName(logFile);
        SetAppLogFallbackFileName(fallbackLog);
        previousPrepare = TdmTessal::prepareDatabase;
        previous = SetMessageHandler([this](const MessageRequest &r) {
            boxes << r;
            return true;
        });
    }

    void TearDown() override {
        SetMessageHandler(previous);
        TdmTessal::prepareDatabase = previousPrepare;
        SetAppLogFileName(previousLog);
        SetAppLogFallbackFileName(previousFallback);
    }

    void expectOneErrorBox(const QString &text) {
        ASSERT_EQ(boxes.size(), 1);
        EXPECT_EQ(boxes[0].kind, MessageKind::Error);
        EXPECT_EQ(boxes[0].title, QStringLiteral("Ошибка"));
        EXPECT_EQ(boxes[0].text, text);
        EXPECT_FALSE(boxes[0].hasCancel);
    }

    QTemporaryDir dir;
    QList<MessageRequest> boxes;
    MessageHandler previous;
    QString previousLog, previousFallback, logFile, fallbackLog;
    std::function<void(Connection &)> previousPrepare;
};

TEST_F(StartupTest, UnreachableDatabaseShowsOneRussianBoxWithTheDriverText) {
    const QString garbage = dir.filePath(QStringLiteral("garbage.db"));
    {
        QFile f(garbage);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, '\x5a'));
    }
    const QString cases[] = {
        // A folder that cannot be made: its parent is a file.
        Unreachable, QStringLiteral("sqlite:") + garbage + QStringLiteral("/inside/Velmora.db"),
        QStringLiteral("sqlite:") + garbage, // damaged
    };
    int prepared = 0;
    TdmTessal::prepareDatabase = [&](Connection &) { ++prepared; };
    for (const QString &url : cases) {
        SCOPED_TRACE(url.toStdString());
        boxes.clear();
        QFile::remove(logFile);
        const QString message = driverMessage(url);
        ASSERT_FALSE(message.isEmpty());

        TdmTessal dm(url);

        // The Russian sentence first, the driver's words below it; never the driver's box alone.
        expectOneErrorBox(ServerDown + u'\n' + boxLines(message));
        EXPECT_TRUE(dm.startFailed());
        EXPECT_TRUE(dm.startError().startsWith(ServerDown));
        EXPECT_FALSE(dm.cnGeneral.isOpen());
        EXPECT_EQ(prepared, 0);
        EXPECT_EQ(dm.logFile(), logFile);
        expectLogWithOneEntry(readText(logFile), message);
        expectOwnerOnly(logFile);
    }
}

TEST_F(StartupTest, RefusedOrFailedDatabaseStopsTheStartUntouched) {
    const QString newer = dir.filePath(QStringLiteral("newer.db"));
    makeNewerDatabase(newer);
    const QString refusal = refusalOf(newer);
    ASSERT_FALSE(refusal.isEmpty());
    const int version = storedVersion(newer);
    const QString stepFailure = QStringLiteral("Не удалось обновить базу данных: диск переполнен");

    struct Case {
        const char *name;
        QString url;
        std::function<void(Connection &)> prepare;
        QString message;
    } cases[] = {
        {"newer", QStringLiteral("sqlite:") + newer, PrepareDatabase, refusal},
        {"failed upgrade", QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("v.db")),
         [&](Connection &) { throw AppError(stepFailure); }, stepFailure},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        QFile::remove(logFile);
        TdmTessal::prepareDatabase = c.prepare;

        TdmTessal dm(c.url);

        expectOneErrorBox(ExceptionText(c.message));
        EXPECT_TRUE(dm.startFailed());
        EXPECT_FALSE(dm.cnGeneral.isOpen());
        expectLogWithOneEntry(readText(logFile), c.message);
    }
    EXPECT_EQ(storedVersion(newer), version) << "a refused database is left as it was";
}

TEST_F(StartupTest, LogFallsBackToTheUserDataFolderAndStillStops) {
    // A folder in place of the log beside the program keeps even root from writing it.
    QFile::remove(logFile);
    ASSERT_TRUE(QDir().mkpath(logFile));
    const QString message = driverMessage(Unreachable);
    {
        TdmTessal dm(Unreachable);
        EXPECT_TRUE(dm.startFailed());
        EXPECT_EQ(dm.logFile(), fallbackLog);
        expectLogWithOneEntry(readText(fallbackLog), message);
        expectOwnerOnly(fallbackLog);
        expectOwnerOnly(QFileInfo(fallbackLog).absolutePath());
    }

    // With nowhere to write, the start stops all the same and says why the log is missing.
    ASSERT_TRUE(QFile::remove(fallbackLog));
    ASSERT_TRUE(QDir().mkpath(fallbackLog));
    boxes.clear();
    TdmTessal dm(Unreachable);
    EXPECT_TRUE(dm.startFailed());
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_EQ(dm.logFile(), QString());
    EXPECT_TRUE(dm.startError().contains(fallbackLog)) << dm.startError().toStdString();
}

TEST_F(StartupTest, ReachableDatabaseStartsWithoutABox) {
    int prepared = 0;
    TdmTessal::prepareDatabase = [&](Connection &cn) { prepared += cn.isOpen() ? 1 : 100; };
    TdmTessal dm(QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("v.db")));
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_FALSE(dm.startFailed());
    EXPECT_TRUE(dm.cnGeneral.isOpen());
    EXPECT_EQ(prepared, 1);
    EXPECT_EQ(dmTessal, &dm);
    EXPECT_FALSE(QFileInfo::exists(logFile));
}

// The whole start as the program runs it, with the splash released at once.
class ProgramStartTest : public StartupTest {
protected:
    void SetUp() override {
        StartupTest::SetUp();
        InstallServer();
        TdmTessal::prepareDatabase = PrepareDatabase;
        previousQuestion = SetFirstStartQuestion([this](const QString &text) {
            questions << text;
            return demoAnswer;
        });
    }
    void TearDown() override {
        SetFirstStartQuestion(previousQuestion);
        StartupTest::TearDown();
    }
    int departments(const QString &file) {
        Connection cn;
        cn.open(QStringLiteral("sqlite:") + file);
        return cn.scalar(QStringLiteral("SELECT count(*) FROM Department")).toInt();
    }

    FirstStartQuestion previousQuestion;
    QStringList questions;
    bool demoAnswer = true;
};

TEST_F(ProgramStartTest, FailedStartCreatesNothingElse) {
    Program program;
    program.splashDelayMs = 0;
    EXPECT_FALSE(program.start(Unreachable));
    EXPECT_TRUE(program.failure().startsWith(ServerDown)) << program.failure().toStdString();
    EXPECT_EQ(program.mainWindow(), nullptr);
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_TRUE(questions.isEmpty());
}

TEST_F(ProgramStartTest, NewEmbeddedDatabaseIsOfferedTheDemoOrganisation) {
    const QString existing = dir.filePath(QStringLiteral("existing.db"));
    {
        Connection cn;
        cn.open(QStringLiteral("sqlite:") + existing);
        PrepareDatabase(cn);
    }
    struct Case {
        const char *name;
        QString file;
        bool answer;
        int questions;
        bool demo;
    } cases[] = {
        {"new, demo", dir.filePath(QStringLiteral("demo.db")), true, 1, true},
        {"new, empty", dir.filePath(QStringLiteral("empty.db")), false, 1, false},
        {"existing", existing, true, 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        questions.clear();
        demoAnswer = c.answer;
        {
            Program program;
            program.splashDelayMs = 0;
            ASSERT_TRUE(program.start(QStringLiteral("sqlite:") + c.file)) << program.failure().toStdString();
            ASSERT_NE(program.mainWindow(), nullptr);
            EXPECT_EQ(MainFM, program.mainWindow());
        }
        EXPECT_EQ(MainFM, nullptr) << "the program's objects go with it";
        ASSERT_EQ(questions.size(), c.questions);
        if (c.questions > 0) {
            EXPECT_EQ(questions[0], FirstStartText);
        }
        EXPECT_EQ(departments(c.file) > 0, c.demo);
        EXPECT_TRUE(boxes.isEmpty()) << boxes.value(0).text.toStdString();
    }
}

// ---- Russian whatever the system's language ---------------------------------------------------

// The dialogs belong to the program: one made while it runs ends with it, before the data module
// whose connection its datasets use; without a program no dialog can be made at all.
TEST_F(ProgramStartTest, DialogsEndWithTheProgramBeforeItsConnection) {
    const QString file = dir.filePath(QStringLiteral("dialogs.db"));
    {
        Connection cn;
        cn.open(QStringLiteral("sqlite:") + file);
        PrepareDatabase(cn);
    }
    QPointer<TFirmListDG> dialog;
    bool connectionAlive = false;
    {
        Program program;
        program.splashDelayMs = 0;
        ASSERT_TRUE(program.start(QStringLiteral("sqlite:") + file)) << program.failure().toStdString();
        dialog = TFirmListDG::Instance();
        ASSERT_FALSE(dialog.isNull());
        EXPECT_EQ(TFirmListDG::Instance(), dialog.data()) << "one instance while the program runs";
        EXPECT_EQ(dialog->taClient->connection(), &dmTessal->cnGeneral);
        QObject::connect(dialog.data(), &QObject::destroyed,
                         [&] { connectionAlive = dmTessal && dmTessal->cnGeneral.isOpen(); });
    }
    EXPECT_TRUE(dialog.isNull()) << "the dialog went with the program";
    EXPECT_TRUE(connectionAlive) << "and before the connection it used";
    EXPECT_THROW(TFirmListDG::Instance(), AppError);
    EXPECT_TRUE(boxes.isEmpty()) << boxes.value(0).text.toStdString();
}

TEST(RussianInterfaceTest, DatesNumbersAndQtsOwnButtons) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); // the system's, say
    {
        RussianInterface russian;
        EXPECT_TRUE(russian.qtTranslated()) << "qtbase_ru.qm (package qt6-translations-l10n) is missing";

        QDateEdit date(QDate(2016, 3, 12));
        date.setDisplayFormat(QStringLiteral("d MMMM yyyy"));
        EXPECT_EQ(date.locale().language(), QLocale::Russian);
        EXPECT_EQ(date.text(), QStringLiteral("12 марта 2016"));
        EXPECT_EQ(QLocale().toString(QDate(2016, 3, 12), QLocale::ShortFormat), QStringLiteral("12.03.2016"))
            << "the log header's date";
        EXPECT_EQ(QLocale().toString(1234.5, 'f', 2), QStringLiteral("1\u00a0234,50"));

        QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        EXPECT_EQ(buttons.button(QDialogButtonBox::Ok)->text(), QStringLiteral("ОК"));
        EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Отмена"));
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Предупреждение"), QStringLiteral("текст"),
                        QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_EQ(box.button(QMessageBox::Ok)->text(), QStringLiteral("ОК"));
        EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Отмена"));
    }
    EXPECT_EQ(QLocale().language(), QLocale::English) << "undone when it goes";
    QDialogButtonBox buttons(QDialogButtonBox::Cancel);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));
    QLocale::setDefault(before);
}

TEST(NamedFontTest, MissingFacesFallToTheirStandIns) {
    // Whatever is installed, the face drawn is the named one or one of its stand-ins, never a
    // face of another kind; a stand-in for the heavy "Impact" is bold.
    for (const char *name : {"Impact", "Tahoma", "Lucida Sans Unicode", "Courier New"}) {
        const QString family = QString::fromLatin1(name);
        SCOPED_TRACE(name);
        const QFont font = NamedFont(family, 27);
        const QFontInfo drawn(font);
        EXPECT_TRUE(FontFamilies(family).contains(drawn.family(), Qt::CaseInsensitive))
            << drawn.family().toStdString();
        if (family == u"Impact" && drawn.family() != family) {
            EXPECT_GE(drawn.weight(), int(QFont::Bold));
        }
        EXPECT_EQ(drawn.pixelSize(), 27);
    }
}

TEST(SplashTest, ShowsItsPictureAndTheNameInAHeavyFace) {
    TSplashFM splash;
    ASSERT_FALSE(splash.imSplash->pixmap().isNull()) << "the picture did not load";
    EXPECT_EQ(splash.imSplash->pixmap().size(), QSize(512, 370));
    EXPECT_EQ(splash.size(), QSize(512, 370));
    EXPECT_EQ(splash.laName->text(), QStringLiteral("Velmora"));
    EXPECT_EQ(splash.laName->font().families().value(0), QStringLiteral("Impact"));
    EXPECT_EQ(splash.laName->font().pixelSize(), 27);
}

// ---- the built program ----------------------------------------------------------------------

// The built program, copied to a folder of its own so that its log lands there: the test build of
// it, whose message boxes are written to a file and answered with OK.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        const QString built =
            QCoreApplication::applicationDirPath() + QStringLiteral("/velmora_program_probe");
        ASSERT_TRUE(QFileInfo::exists(built)) << built.toStdString();
        program = dir.filePath(QStringLiteral("bin/Velmora"));
        ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("bin"))));
        ASSERT_TRUE(QFile::copy(built, program));
        QFile::setPermissions(program, QFile::permissions(built) | QFileDevice::ExeOwner);
        messageLog = dir.filePath(QStringLiteral("messages.txt"));

        env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"config", "data", "cache"})
            ASSERT_TRUE(QDir().mkpath(dir.filePath(QString::fromLatin1(name))));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("VELMORA_MESSAGE_LOG"), messageLog);
        env.remove(QStringLiteral("VELMORA_DATABASE"));
        process.setProcessChannelMode(QProcess::MergedChannels);
    }

    void TearDown() override {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    // Starts the program on `database`, or on what its settings name when empty.
    void start(const QString &database) {
        if (!database.isEmpty())
            env.insert(QStringLiteral("VELMORA_DATABASE"), database);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        process.start(program, {});
    }

    // Waits for the end of a start that must fail: a failed status, the reason on standard error.
    void expectFailedStart() {
        ASSERT_TRUE(process.waitForStarted(10000)) << process.errorString().toStdString();
        ASSERT_TRUE(process.waitForFinished(30000)) << "still running: " << output().toStdString();
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_NE(process.exitCode(), 0) << "a failed start reported as success";
        shown = readText(messageLog);
    }

    QString output() { return QString::fromLocal8Bit(process.readAll()); }

    // The log of this run in `folder`, named after the start date (either side of midnight).
    QString logIn(const QString &folder) const {
        for (const QDate &d : {QDate::currentDate(), QDate::currentDate().addDays(-1)}) {
            const QString name = MakeAppLogFileName(folder + QStringLiteral("/Velmora"), d);
            if (QFileInfo(name).isFile())
                return name;
        }
        return {};
    }

    QTemporaryDir dir;
    QString program, messageLog, shown;
    QProcessEnvironment env;
    QProcess process;
};

TEST_F(ProgramTest, EndsWithAFailedStatusAfterReportingAnUnreachableServer) {
    const QString message = driverMessage(Unreachable);
    ASSERT_FALSE(message.isEmpty());
    start(Unreachable);
    expectFailedStart();

    // One box, answered with OK: the Russian sentence, then the driver's text.
    EXPECT_EQ(shown, QStringLiteral("Ошибка\t") + ServerDown + u' ' + boxLines(message).replace(u'\n', u' ') +
                         u'\n');

    // The log beside the executable, named after its start date, for its owner only.
    const QString log = logIn(dir.filePath(QStringLiteral("bin")));
    ASSERT_FALSE(log.isEmpty());
    expectLogWithOneEntry(readText(log), message);
    expectOwnerOnly(log);
}

TEST_F(ProgramTest, EndsEvenWhenItsFolderCannotTakeTheLog) {
    // Folders in place of the log files of today and tomorrow keep even root from writing them.
    for (int day : {0, 1})
        ASSERT_TRUE(QDir().mkpath(MakeAppLogFileName(dir.filePath(QStringLiteral("bin/Velmora")),
                                                     QDate::currentDate().addDays(day))));
    start(Unreachable);
    expectFailedStart();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Ошибка\t") + ServerDown)) << shown.toStdString();

    const QString folder = dir.filePath(QStringLiteral("data/Korvant/Velmora"));
    const QString log = logIn(folder);
    ASSERT_FALSE(log.isEmpty()) << "no log in the user's data folder";
    expectLogWithOneEntry(readText(log), driverMessage(Unreachable));
    expectOwnerOnly(log);
    expectOwnerOnly(folder);
}

TEST_F(ProgramTest, UsesTheUrlOfItsSettingsFileAndRefusesANewerDatabase) {
    // The settings file the README names, with the database address in [Database] Url.
    const QString newer = dir.filePath(QStringLiteral("data/newer.db"));
    makeNewerDatabase(newer);
    const int version = storedVersion(newer);
    const QString settings = dir.filePath(QStringLiteral("config/Korvant/Velmora.ini"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(settings).absolutePath()));
    {
        QFile f(settings);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Database]\nUrl=sqlite:" + QFile::encodeName(newer) + "\n");
    }

    start(QString());
    expectFailedStart();
    EXPECT_EQ(shown, QStringLiteral("Ошибка\t") + ExceptionText(refusalOf(newer)) + u'\n');
    EXPECT_EQ(storedVersion(newer), version) << "left untouched";
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("data/Korvant/Velmora/Velmora.db"))))
        << "the default database was opened instead";
    expectLogWithOneEntry(readText(logIn(dir.filePath(QStringLiteral("bin")))), refusalOf(newer));
}

TEST_F(ProgramTest, StartsOnAnExistingDatabaseWithoutAnyBox) {
    const QString database = dir.filePath(QStringLiteral("data/Velmora.db"));
    {
        InstallServer();
        Connection cn;
        cn.open(QStringLiteral("sqlite:") + database);
        PrepareDatabase(cn);
    }
    start(QStringLiteral("sqlite:") + database);
    ASSERT_TRUE(process.waitForStarted(10000)) << process.errorString().toStdString();
    EXPECT_FALSE(process.waitForFinished(3000))
        << "ended with code " << process.exitCode() << ": " << output().toStdString();
    EXPECT_EQ(readText(messageLog), QString());
    EXPECT_EQ(logIn(dir.filePath(QStringLiteral("bin"))), QString());
    process.kill();
    EXPECT_TRUE(process.waitForFinished(5000));
}

} // namespace
