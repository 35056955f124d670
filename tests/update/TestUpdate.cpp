// The update from start to end with the real programs: a version is published with velmora-db,
// the program started from a folder of its own finds it, writes and starts the updater and ends;
// the updater puts the new program in its place and starts it, and the new program's version
// label shows the new key. A failed update leaves the old program in place, and it still runs.
#include "data/Connection.h"
#include "data/Errors.h"
#include "data/ProgramVersions.h"
#include "data/TessalVersionInfo.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUuid>

namespace {

const QString BinDir = QStringLiteral(VELMORA_BIN_DIR);

QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes, bool executable = false) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return false;
    f.close();
    return !executable || f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
}

// The image of a built program without its debugging sections (what a package installs), so that
// the database holds megabytes rather than the debug build's hundreds.
QByteArray strippedImage(const QString &program, const QString &scratch) {
    QProcess strip;
    strip.start(QStringLiteral("strip"), {QStringLiteral("-o"), scratch, program});
    if (strip.waitForFinished(120000) && strip.exitStatus() == QProcess::NormalExit && strip.exitCode() == 0)
        return readAll(scratch);
    return readAll(program);
}

// The same program carrying another version in its note: what a build with another version gives.
QByteArray withVersion(QByteArray image, const QString &from, const QString &to) {
    const QByteArray note = QByteArray("VELMORA-VERSION:") + from.toLatin1() + QByteArray(1, '\0');
    const QByteArray replacement = QByteArray("VELMORA-VERSION:") + to.toLatin1() + QByteArray(1, '\0');
    const qsizetype at = image.indexOf(note);
    if (at >= 0)
        image.replace(at, replacement.size(), replacement);
    return image;
}

bool processRunning(qint64 pid) {
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close >= 0 && close + 2 < stat.size() && stat.at(close + 2) != 'Z';
}

// Waits until `done` holds, at most `seconds`.
template <class Done> bool waitFor(Done done, int seconds) {
    const QDeadlineTimer deadline(seconds * 1000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
    return true;
}

class UpdateTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        for (const char *sub : {"prog", "build", "config", "data", "home", "xdg"})
            ASSERT_TRUE(QDir(tmp.path()).mkpath(QString::fromLatin1(sub)));
        if (GetParam() == Engine::SQLite) {
            url = QStringLiteral("sqlite:") + tmp.filePath(QStringLiteral("Velmora.db"));
        } else {
            const QString server = qEnvironmentVariable("VELMORA_TEST_PG");
            if (server.isEmpty()) {
                if (qEnvironmentVariableIsSet("VELMORA_TEST_REQUIRE_PG"))
                    FAIL() << "PostgreSQL is required: VELMORA_TEST_PG is not set";
                GTEST_SKIP() << "VELMORA_TEST_PG is not set";
            }
            // A database of its own: the programs open it by its address, as workstations do.
            pgDatabase =
                QStringLiteral("velmora_update_") + QUuid::createUuid().toString(QUuid::Id128).left(12);
            admin.open(server);
            admin.execute(QStringLiteral("CREATE DATABASE %1").arg(pgDatabase));
            url = server.left(server.lastIndexOf(u'/') + 1) + pgDatabase;
        }
        ASSERT_EQ(run(BinDir + QStringLiteral("/velmora-db"),
                      {QStringLiteral("--database"), url, QStringLiteral("create")}),
                  0);

        current = GetFileVersionText(false);
        const QStringList parts = current.split(u'.');
        ASSERT_EQ(parts.size(), 4) << current.toStdString();
        next = QStringList{parts[0], parts[1], parts[2], QString::number(parts[3].toInt() + 1)}.join(u'.');

        oldImage = strippedImage(BinDir + QStringLiteral("/Velmora"),
                                 tmp.filePath(QStringLiteral("build/Velmora.old")));
        newImage = withVersion(oldImage, current, next);
        ASSERT_EQ(VersionNoteOf(oldImage), current);
        ASSERT_EQ(VersionNoteOf(newImage), next);
        updater = tmp.filePath(QStringLiteral("build/velmora-update"));
        ASSERT_TRUE(
            writeFile(updater, strippedImage(BinDir + QStringLiteral("/velmora-update"), updater), true));
        ASSERT_TRUE(writeFile(program(), oldImage, true));
    }

    void TearDown() override {
        for (qint64 pid : started) // let every program started here end before its folder goes
            waitFor([&] { return !processRunning(pid); }, 30);
        if (!pgDatabase.isEmpty()) {
            try {
                admin.execute(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(pgDatabase));
            } catch (const AppError &) {
            }
        }
    }

    QString program() const { return tmp.filePath(QStringLiteral("prog/Velmora")); }
    QString report() const { return tmp.filePath(QStringLiteral("report.txt")); }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VELMORA_DATABASE"), url);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("VELMORA_START_REPORT"), report());
        env.insert(QStringLiteral("VELMORA_MESSAGE_LOG"), tmp.filePath(QStringLiteral("boxes.txt")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), tmp.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), tmp.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), tmp.filePath(QStringLiteral("xdg")));
        env.insert(QStringLiteral("HOME"), tmp.filePath(QStringLiteral("home")));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return env;
    }

    // Runs a program to its end; its exit code, -1 when it did not end normally.
    int run(const QString &path, const QStringList &args, qint64 *pid = nullptr, QString *err = nullptr) {
        QProcess p;
        p.setProcessEnvironment(environment());
        if (!err)
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(path, args);
        if (!p.waitForStarted(30000))
            return -1;
        if (pid)
            *pid = p.processId();
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
            return -1;
        if (err)
            *err = QString::fromUtf8(p.readAllStandardError());
        return p.exitCode();
    }

    int publish(const QByteArray &image, const QString &version, QString *err = nullptr,
                const QByteArray &updaterImage = QByteArray()) {
        const QString file = tmp.filePath(QStringLiteral("build/Velmora.") + version);
        const QString changes = tmp.filePath(QStringLiteral("build/changes.txt"));
        writeFile(file, image, true);
        writeFile(changes, QStringLiteral("Версия %1: новые отчёты").arg(version).toUtf8());
        QString updaterFile = updater;
        if (!updaterImage.isNull()) {
            updaterFile = tmp.filePath(QStringLiteral("build/update.other"));
            writeFile(updaterFile, updaterImage, true);
        }
        return run(BinDir + QStringLiteral("/velmora-db"),
                   {QStringLiteral("--database"), url, QStringLiteral("publish"), QStringLiteral("--version"),
                    version, QStringLiteral("--program"), file, QStringLiteral("--updater"), updaterFile,
                    QStringLiteral("--changes"), changes},
                   nullptr, err);
    }

    // Puts `image` in the database as the image of version `next`, behind publish's back.
    void storeBehindPublish(const QByteArray &image) {
        Connection cn;
        cn.open(url);
        const QVariantMap v{{QStringLiteral("V"), VersionKey(next)}};
        cn.execute(QStringLiteral("DELETE FROM ProgramPart WHERE Version = :V"), v);
        cn.execute(QStringLiteral("UPDATE ProgramVersion SET Programm = :P WHERE Version = :V"),
                   {{QStringLiteral("P"), image.isNull() ? QByteArray("") : image},
                    {QStringLiteral("V"), VersionKey(next)}});
    }

    // Files left beside the program other than the program itself, its updater and the log.
    QStringList strayFiles() const {
        QStringList stray;
        for (const QString &name :
             QDir(tmp.filePath(QStringLiteral("prog"))).entryList(QDir::Files | QDir::Hidden))
            if (name != u"Velmora" && name != u"update" && !name.startsWith(QStringLiteral("update")))
                stray << name;
        return stray;
    }

    // A file that starts like a program of this platform and carries the version note, and is none.
    QByteArray fakeElf(const QString &version) const {
        QByteArray bytes =
            oldImage.left(64) + QByteArray("VELMORA-VERSION:") + version.toLatin1() + QByteArray(1, '\0');
        bytes += QByteArray(1144 - bytes.size(), 'x');
        return bytes;
    }

    // Starts the program and waits for the first report line of a program that started and did not
    // update: "pid<TAB>label". Empty when none came.
    QStringList startAndWaitForReport(int seconds) {
        QFile::remove(report());
        qint64 pid = 0;
        EXPECT_EQ(run(program(), {}, &pid), 0);
        QStringList line;
        waitFor(
            [&] {
                const QString text = QString::fromUtf8(readAll(report())).trimmed();
                if (!text.isEmpty())
                    line = text.section(u'\n', 0, 0).split(u'\t');
                return !line.isEmpty();
            },
            seconds);
        if (line.size() == 2)
            started << line[0].toLongLong();
        return line;
    }

    QString label(const QString &dotted) const {
        return QStringLiteral("Версия %1 от ").arg(VersionKey(dotted));
    }

    QTemporaryDir tmp;
    Connection admin;
    QString url, pgDatabase, current, next, updater;
    QByteArray oldImage, newImage;
    QList<qint64> started;
};

TEST_P(UpdateTest, PublishedVersionReplacesTheProgramAndStarts) {
    // Nothing published yet: the program starts as it is.
    QStringList line = startAndWaitForReport(60);
    ASSERT_EQ(line.size(), 2);
    EXPECT_TRUE(line[1].startsWith(label(current))) << line[1].toStdString();

    ASSERT_EQ(publish(newImage, next), 0);
    line = startAndWaitForReport(120);
    ASSERT_EQ(line.size(), 2) << "the new program did not report; boxes: "
                              << readAll(tmp.filePath(QStringLiteral("boxes.txt"))).toStdString();
    EXPECT_TRUE(line[1].startsWith(label(next))) << line[1].toStdString();
    EXPECT_EQ(readAll(program()), newImage);
    EXPECT_TRUE(QFileInfo(program()).isExecutable());
    // The updater removes the previous version once the new program has said it started.
    EXPECT_TRUE(
        waitFor([&] { return !QFile::exists(tmp.filePath(QStringLiteral("prog/.Velmora.old"))); }, 30));
    // The new program removed the updater; no temporary file is left beside it.
    EXPECT_FALSE(QFile::exists(tmp.filePath(QStringLiteral("prog/update"))));
    EXPECT_EQ(QDir(tmp.filePath(QStringLiteral("prog"))).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("Velmora")});

    // Started again, it is the newest version and stays.
    line = startAndWaitForReport(60);
    ASSERT_EQ(line.size(), 2);
    EXPECT_TRUE(line[1].startsWith(label(next))) << line[1].toStdString();
}

TEST_P(UpdateTest, FailedUpdateLeavesTheOldProgramWorking) {
    // Images that publish refuses, stored behind its back: the updater refuses them as well, and
    // a build that cannot start is taken out again.
    const QByteArray broken = withVersion(strippedImage(BinDir + QStringLiteral("/velmora-broken-program"),
                                                        tmp.filePath(QStringLiteral("build/broken"))),
                                          current, next);
    ASSERT_EQ(VersionNoteOf(broken), next);
    const struct {
        const char *what;
        QByteArray image;
        const char *reason;
    } cases[] = {
        {"empty image", QByteArray(), "нет файла версии"},
        {"not an executable", QByteArray("#!/bin/sh\necho VELMORA-VERSION:9.9.9.9"),
         "не является исполняемым файлом"},
        {"image of another version", oldImage, "имеет версию"},
        {"a header and a note, no program", fakeElf(next), "не запускается"},
        {"a build that does not start", broken, "завершилась, не начав работу"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(publish(newImage, next), 0);
        storeBehindPublish(c.image);
        const QString log = tmp.filePath(
            QStringLiteral("prog/update%1.log").arg(QDate::currentDate().toString(QStringLiteral("yyMMdd"))));
        QFile::remove(log);

        EXPECT_EQ(run(program(), {}), 0);
        ASSERT_TRUE(waitFor([&] { return readAll(log).contains(QByteArray(c.reason)); }, 120))
            << "updater log: " << readAll(log).toStdString();
        EXPECT_TRUE(readAll(log).contains("Прежняя версия оставлена"));
        EXPECT_EQ(readAll(program()), oldImage);
        EXPECT_TRUE(QFileInfo(program()).isExecutable());
        EXPECT_EQ(strayFiles(), QStringList());
        EXPECT_FALSE(QFile::exists(report())); // no program reported a start

        // The old program still runs: with the bad version withdrawn it starts as it is.
        Connection cn;
        cn.open(url);
        cn.execute(QStringLiteral("DELETE FROM ProgramVersion WHERE Version = :V"),
                   {{QStringLiteral("V"), VersionKey(next)}});
        const QStringList line = startAndWaitForReport(60);
        ASSERT_EQ(line.size(), 2);
        EXPECT_TRUE(line[1].startsWith(label(current))) << line[1].toStdString();
        QFile::remove(report());
    }
}

TEST_P(UpdateTest, PublishRefusesWhatIsNoWorkingProgram) {
    const QString big = tmp.filePath(QStringLiteral("build/big"));
    {
        QFile f(big); // sparse: it takes no room on the disk
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(newImage.left(64));
        ASSERT_TRUE(f.resize((qint64(256) << 20) + 1));
    }
    const struct {
        const char *what;
        QByteArray program, updater; // a null updater: the build's own
        const char *reason;
    } cases[] = {
        {"a header and a note, no program", fakeElf(next), {}, "не запускается"},
        {"a script",
         QByteArray("#!/bin/sh\necho VELMORA-VERSION:") + next.toLatin1(),
         {},
         "не является исполняемым"},
        {"a program of another version", oldImage, {}, "имеет версию"},
        {"an updater that is a header and nothing more", newImage, fakeElf(next),
         "Программа обновления не запускается"},
        {"the program given as the updater", newImage, newImage, "Программа обновления на --version ответил"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QString err;
        EXPECT_EQ(publish(c.program, next, &err, c.updater), 1);
        EXPECT_TRUE(err.contains(QString::fromUtf8(c.reason))) << err.toStdString();
    }
    QString err;
    EXPECT_EQ(run(BinDir + QStringLiteral("/velmora-db"),
                  {QStringLiteral("--database"), url, QStringLiteral("publish"), QStringLiteral("--version"),
                   next, QStringLiteral("--program"), big, QStringLiteral("--updater"), updater},
                  nullptr, &err),
              1);
    EXPECT_TRUE(err.contains(QStringLiteral("больше 256 МБ"))) << err.toStdString();

    // Nothing was published, and the installed program starts as it is.
    Connection cn;
    cn.open(url);
    EXPECT_EQ(cn.scalar(QStringLiteral("SELECT count(*) FROM ProgramVersion")).toInt(), 0);
    const QStringList line = startAndWaitForReport(60);
    ASSERT_EQ(line.size(), 2);
    EXPECT_TRUE(line[1].startsWith(label(current))) << line[1].toStdString();
    EXPECT_EQ(readAll(program()), oldImage);
}

INSTANTIATE_TEST_SUITE_P(Engines, UpdateTest, ::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                         [](const ::testing::TestParamInfo<Engine> &i) {
                             return std::string(i.param == Engine::SQLite ? "SQLite" : "PostgreSQL");
                         });

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
