// Start-up against a database that cannot be reached: the two boxes, the log entry and the end of
// the program; in this process through the data module, and end to end with the built program.
#include "Errors.h"
#include "TessalDialog.h"
#include "TessalLog.h"
#include "TestDatabase.h"
#include "dmTessalData.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
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

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The data module ends the process when its executable is named Velmora; this one is not,
        // so it goes on, which is what lets the test look at what happened.
        ASSERT_NE(QFileInfo(QCoreApplication::applicationFilePath())
                      .fileName()
                      .compare(QStringLiteral("Velmora"), Qt::CaseInsensitive),
                  0);
        ASSERT_TRUE(dir.isValid());
        previousLog = AppLogFileName();
        previousPrepare = TdmTessal::prepareDatabase;
        TdmTessal::prepareDatabase = [this](Connection &cn) { prepared << cn.isOpen(); };
        previous = SetMessageHandler([this](const MessageRequest &r) {
            boxes << r;
            if (onBox)
                onBox(r);
            return true;
        });
    }

    void TearDown() override {
        SetMessageHandler(previous);
        TdmTessal::prepareDatabase = previousPrepare;
        SetAppLogFileName(previousLog);
    }

    QTemporaryDir dir;
    QList<MessageRequest> boxes;
    std::function<void(const MessageRequest &)> onBox;
    QList<bool> prepared; // one entry per preparation, true when the connection was open
    MessageHandler previous;
    QString previousLog;
    std::function<void(Connection &)> previousPrepare;
};

TEST_F(StartupTest, UnreachableDatabaseShowsTwoBoxesAndLogsTheDriverMessage) {
    const QString garbage = dir.filePath(QStringLiteral("garbage.db"));
    {
        QFile f(garbage);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, '\x5a'));
    }
    const QString cases[] = {
        Unreachable,
        QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("no/such/folder/Velmora.db")),
        QStringLiteral("sqlite:") + garbage,
    };
    for (const QString &url : cases) {
        SCOPED_TRACE(url.toStdString());
        boxes.clear();
        prepared.clear();
        const QString message = driverMessage(url);
        ASSERT_FALSE(message.isEmpty());
        const QString logFile = dir.filePath(QString::number(qHash(url)) + QStringLiteral(".log"));
        SetAppLogFileName(logFile);

        TdmTessal dm(url);

        ASSERT_EQ(boxes.size(), 2);
        EXPECT_EQ(boxes[0].kind, MessageKind::Exception);
        EXPECT_EQ(boxes[0].title, QStringLiteral("Velmora"));
        EXPECT_EQ(boxes[0].text, ExceptionText(message));
        EXPECT_FALSE(boxes[0].hasCancel);
        EXPECT_EQ(boxes[1].kind, MessageKind::Error);
        EXPECT_EQ(boxes[1].title, QStringLiteral("Ошибка"));
        EXPECT_EQ(boxes[1].text, ServerDown);
        EXPECT_FALSE(boxes[1].hasCancel);

        EXPECT_FALSE(dm.cnGeneral.isOpen());
        EXPECT_TRUE(prepared.isEmpty());
        ASSERT_TRUE(QFileInfo::exists(logFile));
        expectLogWithOneEntry(readText(logFile), message);
    }
}

TEST_F(StartupTest, ServerAnsweringTheSecondAttemptGivesOneBoxAndANormalStart) {
    // The folder of the database appears while the first failure is on the screen.
    const QString folder = dir.filePath(QStringLiteral("late"));
    const QString url = QStringLiteral("sqlite:") + folder + QStringLiteral("/Velmora.db");
    const QString message = driverMessage(url);
    ASSERT_FALSE(message.isEmpty());
    const QString logFile = dir.filePath(QStringLiteral("Velmora.log"));
    SetAppLogFileName(logFile);
    onBox = [&](const MessageRequest &) { QDir().mkpath(folder); };

    TdmTessal dm(url);

    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].kind, MessageKind::Exception);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Velmora"));
    EXPECT_EQ(boxes[0].text, ExceptionText(message));
    EXPECT_TRUE(dm.cnGeneral.isOpen());
    EXPECT_EQ(prepared, QList<bool>{true});
    EXPECT_FALSE(QFileInfo::exists(logFile));
    EXPECT_EQ(dmTessal, &dm);
}

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
        process.setProcessChannelMode(QProcess::MergedChannels);
    }

    void TearDown() override {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    void start(const QString &database) {
        env.insert(QStringLiteral("VELMORA_DATABASE"), database);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        process.start(program, {});
    }

    QString output() { return QString::fromLocal8Bit(process.readAll()); }

    QStringList appLogs() const {
        return QDir(dir.filePath(QStringLiteral("bin")))
            .entryList({QStringLiteral("Velmora*.log")}, QDir::Files);
    }

    QTemporaryDir dir;
    QString program, messageLog;
    QProcessEnvironment env;
    QProcess process;
};

TEST_F(ProgramTest, EndsAfterReportingAnUnreachableServer) {
    const QString message = driverMessage(Unreachable);
    ASSERT_FALSE(message.isEmpty());

    const QDate before = QDate::currentDate();
    start(Unreachable);
    ASSERT_TRUE(process.waitForStarted(10000)) << process.errorString().toStdString();
    ASSERT_TRUE(process.waitForFinished(30000)) << "still running: " << output().toStdString();
    const QDate after = QDate::currentDate();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << output().toStdString();
    EXPECT_EQ(process.exitCode(), 0) << output().toStdString();

    // The boxes, answered with OK, in the order they were shown.
    const QString shown = readText(messageLog);
    EXPECT_EQ(shown, QStringLiteral("Velmora\t") + ExceptionText(message).replace(u'\n', u' ') + u'\n' +
                         QStringLiteral("Ошибка\t") + ServerDown + u'\n');
    EXPECT_TRUE(shown.contains(QStringLiteral("Ошибка\tСервер данных недоступен.")));

    // The log beside the executable, named after its start date.
    QString log;
    for (const QDate &d : {before, after}) {
        const QString name = MakeAppLogFileName(program, d);
        EXPECT_EQ(QFileInfo(name).fileName(),
                  QStringLiteral("Velmora") + d.toString(QStringLiteral("yyMMdd")) + QStringLiteral(".log"));
        if (QFileInfo::exists(name))
            log = readText(name);
    }
    EXPECT_EQ(appLogs().size(), 1) << appLogs().join(u' ').toStdString();
    expectLogWithOneEntry(log, message);
}

TEST_F(ProgramTest, StartsOnAnSQLiteDatabaseWithoutAnyBox) {
    const QString database = dir.filePath(QStringLiteral("data/Velmora.db"));
    start(QStringLiteral("sqlite:") + database);
    ASSERT_TRUE(process.waitForStarted(10000)) << process.errorString().toStdString();
    EXPECT_FALSE(process.waitForFinished(3000))
        << "ended with code " << process.exitCode() << ": " << output().toStdString();
    EXPECT_EQ(readText(messageLog), QString());
    EXPECT_TRUE(QFileInfo::exists(database));
    EXPECT_EQ(appLogs(), QStringList());
    process.kill();
    EXPECT_TRUE(process.waitForFinished(5000));
}

} // namespace
