// Publishing program versions and reading them back through the version procedures, on both engines.
#include "TestDatabase.h"
#include "data/Errors.h"
#include "data/ProgramVersions.h"
#include "data/TessalVersionInfo.h"
#include "server/Schema.h"
#include "server/Server.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

namespace {

// The first 64 bytes of this very program: an ELF header of this platform.
QByteArray ownHeader() {
    QFile self(QStringLiteral("/proc/self/exe"));
    return self.open(QIODevice::ReadOnly) ? self.read(64) : QByteArray();
}

// A file that looks like a program of this platform carrying the version note `version`, and
// does not run: the header of a real one, the note, and nothing behind them.
QByteArray image(const QString &version, const QByteArray &filler = "code") {
    return ownHeader() + filler + QByteArray("VELMORA-VERSION:") + version.toLatin1() + QByteArray(1, '\0') +
           QByteArray(16, '\x90');
}

class ProgramVersionsTest : public ServerTest {
protected:
    QString change(const QString &key) {
        return cn()
            .scalar(QStringLiteral("SELECT [Change] FROM ProgramVersion WHERE Version = :V"),
                    {{QStringLiteral("V"), key}})
            .toString();
    }
    int rows() { return cn().scalar(QStringLiteral("SELECT count(*) FROM ProgramVersion")).toInt(); }

    // Writes `bytes` into a file of the test's folder and returns its path.
    QString file(const QString &name, const QByteArray &bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    QByteArray streamed(const QString &version) {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        WriteStoredProgram(cn(), version, out);
        return out.data();
    }

    QTemporaryDir dir;
    const QByteArray updater = ownHeader() + QByteArray(200, 'u');
};

TEST_P(ProgramVersionsTest, NothingPublishedOnANewDatabase) {
    EXPECT_EQ(NewestProgramVersion(cn()), QString());
    EXPECT_EQ(StoredProgram(cn(), UpdaterVersionName), QByteArray());
    EXPECT_EQ(StoredProgramSize(cn(), UpdaterVersionName), -1);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    EXPECT_THROW(WriteStoredProgram(cn(), UpdaterVersionName, out), AppError);
}

TEST_P(ProgramVersionsTest, StoredImagesComeBackWholeFromTheirParts) {
    // Parts of 7 bytes: an image is split over many rows and put together again.
    const QByteArray program = image(QStringLiteral("1.2.3.4"));
    StoreProgramVersion(cn(), QStringLiteral("1.3.00200004"), file("p1", program), file("u1", updater),
                        QStringLiteral("Первая версия"), 7);
    EXPECT_EQ(NewestProgramVersion(cn()), QStringLiteral("1.3.00200004"));
    EXPECT_GT(cn().scalar(QStringLiteral("SELECT count(*) FROM ProgramPart")).toInt(), 20);
    EXPECT_EQ(StoredProgram(cn(), QStringLiteral("1.3.00200004")), program);
    EXPECT_EQ(streamed(QStringLiteral("1.3.00200004")), program);
    EXPECT_EQ(StoredProgramSize(cn(), QStringLiteral("1.3.00200004")), program.size());
    EXPECT_EQ(StoredProgram(cn(), UpdaterVersionName), updater);
    EXPECT_EQ(change(QStringLiteral("1.3.00200004")), QStringLiteral("Первая версия"));

    // A newer version becomes the newest; the updater is replaced, the older version kept.
    const QByteArray newer = image(QStringLiteral("1.2.3.10"), "newer code");
    const QByteArray newUpdater = updater + "2";
    StoreProgramVersion(cn(), QStringLiteral("1.3.00200010"), file("p2", newer), file("u2", newUpdater), {});
    EXPECT_EQ(NewestProgramVersion(cn()), QStringLiteral("1.3.00200010"));
    EXPECT_EQ(StoredProgram(cn(), UpdaterVersionName), newUpdater);
    EXPECT_EQ(StoredProgram(cn(), QStringLiteral("1.3.00200004")), program);
    EXPECT_EQ(rows(), 3);

    // The same version stored again replaces its image (a shorter one: no part of the old is left)
    // and notes.
    const QByteArray rebuilt = image(QStringLiteral("1.2.3.10"), "re");
    StoreProgramVersion(cn(), QStringLiteral("1.3.00200010"), file("p3", rebuilt), file("u3", newUpdater),
                        QStringLiteral("Исправлено"), 5);
    EXPECT_EQ(streamed(QStringLiteral("1.3.00200010")), rebuilt);
    EXPECT_EQ(change(QStringLiteral("1.3.00200010")), QStringLiteral("Исправлено"));
    EXPECT_EQ(rows(), 3);
}

TEST_P(ProgramVersionsTest, RefusedPublicationsStoreNothing) {
    const QString big = dir.filePath(QStringLiteral("big"));
    {
        QFile f(big); // sparse: no disk is used
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(ownHeader());
        ASSERT_TRUE(f.resize(MaxProgramImageBytes + 1));
    }
    const struct {
        const char *what;
        QString version, program, updater;
        const char *message;
    } cases[] = {
        {"version not four numbers", QStringLiteral("1.2.3"), file("a", image(QStringLiteral("1.2.3"))),
         file("u", updater), "должна состоять из четырёх чисел"},
        {"version with letters", QStringLiteral("1.2.3.x"), file("b", image(QStringLiteral("1.2.3.0"))),
         file("u", updater), "должна состоять из четырёх чисел"},
        {"empty program", QStringLiteral("1.2.3.4"), file("c", QByteArray()), file("u", updater), "пуст"},
        {"program that is no executable", QStringLiteral("1.2.3.4"),
         file("d", QByteArray("#!/bin/sh\n") + image(QStringLiteral("1.2.3.4"))), file("u", updater),
         "не является исполняемым файлом"},
        {"program of another machine", QStringLiteral("1.2.3.4"),
         file("e", image(QStringLiteral("1.2.3.4")).replace(18, 2, QByteArray("\x28\x00", 2))),
         file("u", updater), "не является исполняемым файлом"},
        {"program without a version note", QStringLiteral("1.2.3.4"), file("f", updater), file("u", updater),
         "нет отметки о версии"},
        // Every workstation would update again at each start: the image is of another version.
        {"program of another version", QStringLiteral("1.2.3.5"), file("g", image(QStringLiteral("1.2.3.4"))),
         file("u", updater), "имеет версию 1.2.3.4"},
        // A header and the right note are not a program: it must run.
        {"program that does not run", QStringLiteral("1.2.3.4"), file("h", image(QStringLiteral("1.2.3.4"))),
         file("u", updater), "не запускается"},
        {"program over the size limit", QStringLiteral("1.2.3.4"), big, file("u", updater), "больше 256 МБ"},
        {"missing program", QStringLiteral("1.2.3.4"), dir.filePath(QStringLiteral("none")),
         file("u", updater), "Не удалось открыть"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        try {
            PublishProgramVersion(cn(), {c.version, c.program, c.updater, {}});
            ADD_FAILURE() << "accepted";
        } catch (const AppError &e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.message))) << e.message().toStdString();
        }
        EXPECT_EQ(rows(), 0);
    }
    // The updater file goes through the same checks (the program above is refused first).
    for (const QByteArray &bad : {QByteArray(), QByteArray("MZ"), updater}) {
        try {
            CheckProgramFile(file("bad-updater", bad), ProgramKind::Updater);
            ADD_FAILURE() << "updater accepted";
        } catch (const AppError &e) {
            EXPECT_TRUE(e.message().startsWith(QStringLiteral("Программа обновления")))
                << e.message().toStdString();
        }
    }
}

TEST_P(ProgramVersionsTest, UpdaterRowIsNeverTheNewest) {
    StoreProgramVersion(cn(), QStringLiteral("1.0.00000001"), file("p", image(QStringLiteral("1.0.0.1"))),
                        file("u", updater), {});
    // "update" sorts after every key by text, and still is not a version.
    EXPECT_EQ(NewestProgramVersion(cn()), QStringLiteral("1.0.00000001"));
}

VELMORA_BOTH_ENGINES(ProgramVersionsTest);

// Images of a database made before they were kept in parts are moved into parts by the upgrade
// and read as before.
class ProgramPartsUpgradeTest : public EngineTest {};

TEST_P(ProgramPartsUpgradeTest, WholeImagesMoveIntoParts) {
    InstallServer(); // the stored image is read back through the server's procedure
    Schema::describe();
    Schema::upgradeTo(cn(), 4);
    const QByteArray old = image(QStringLiteral("1.0.0.1"));
    cn().execute(QStringLiteral("INSERT INTO ProgramVersion (Version, Programm) VALUES ('1.0.00000001', :P)"),
                 {{QStringLiteral("P"), old}});
    Schema::prepare(cn());
    EXPECT_EQ(cn().scalar(QStringLiteral("SELECT count(*) FROM ProgramPart")).toInt(), 1);
    EXPECT_EQ(StoredProgram(cn(), QStringLiteral("1.0.00000001")), old);
    EXPECT_EQ(StoredProgramSize(cn(), QStringLiteral("1.0.00000001")), old.size());
}

VELMORA_BOTH_ENGINES(ProgramPartsUpgradeTest);

} // namespace
