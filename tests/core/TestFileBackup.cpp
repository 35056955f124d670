// Backups of the embedded database file: a whole, readable copy beside the file, owner-only; the
// newest seven kept and nothing else in the folder touched; one per day at the start; none for a
// server database.

#include "TestDatabase.h"
#include "data/Errors.h"
#include "data/FileBackup.h"
#include "server/Schema.h"
#include "server/Server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <thread>

namespace {

class FileBackupTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallServer();
        db = std::make_unique<TestDatabase>(Engine::SQLite);
        Schema::prepare(db->cn());
        insertRow(db->cn(), "Department", {{"DprtName", "Бухгалтерия"}});
        path = db->cn().url().path;
    }
    QDateTime at(int day, int hour = 9) const { return QDateTime(QDate(2024, 3, day), QTime(hour, 0)); }

    std::unique_ptr<TestDatabase> db;
    QString path;
};

TEST_F(FileBackupTest, ABackupIsAWholeDatabaseForItsOwnerOnly) {
    // Written while another connection holds an open transaction with rows of its own.
    auto other = db->connect();
    other->begin();
    insertRow(*other, "Department", {{"DprtName", "Не записано"}});
    const QString file = FileBackup::make(db->cn(), at(1));
    other->rollback();

    EXPECT_EQ(QFileInfo(file).absolutePath(), QFileInfo(path).absoluteDir().filePath("backups"));
    EXPECT_EQ(QFileInfo(file).fileName(), QFileInfo(path).completeBaseName() + "-2024-03-01-090000.db");
    EXPECT_EQ(QFileInfo(file).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
              QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(QFileInfo(FileBackup::folder(path)).permissions() &
                  ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_FALSE(QFileInfo::exists(file + ".part"));

    Connection copy;
    copy.open("sqlite:" + file);
    EXPECT_EQ(Schema::version(copy), Schema::CurrentVersion);
    EXPECT_EQ(copy.scalar("SELECT group_concat(DprtName) FROM Department").toString(), "Бухгалтерия");
}

TEST_F(FileBackupTest, TheNewestSevenAreKeptAndNothingElseIsTouched) {
    const QString dir = FileBackup::folder(path);
    QDir().mkpath(dir);
    const QStringList strangers = {"notes.txt", QFileInfo(path).completeBaseName() + "-old.db",
                                   "Other-2024-01-01-090000.db"};
    for (const QString &name : strangers) {
        QFile f(QDir(dir).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QStringList made;
    for (int day = 1; day <= 9; ++day)
        made << FileBackup::make(db->cn(), at(day));
    // Two within one second get names of their own, and sort after the first.
    made << FileBackup::make(db->cn(), at(9));

    const QStringList kept = FileBackup::list(path);
    EXPECT_EQ(kept, made.mid(made.size() - FileBackup::Kept));
    for (const QString &gone : made.mid(0, made.size() - FileBackup::Kept))
        EXPECT_FALSE(QFileInfo::exists(gone)) << gone.toStdString();
    for (const QString &name : strangers)
        EXPECT_TRUE(QFileInfo::exists(QDir(dir).filePath(name))) << name.toStdString();
}

TEST_F(FileBackupTest, OnePerDayAtTheStart) {
    const struct {
        QDateTime now;
        bool made;
    } starts[] = {
        {at(1, 8), true}, {at(1, 17), false}, {at(2, 0), true}, {at(2, 23), false}, {at(4, 12), true},
    };
    for (const auto &s : starts) {
        SCOPED_TRACE(s.now.toString().toStdString());
        EXPECT_EQ(!FileBackup::makeIfDue(db->cn(), s.now).isEmpty(), s.made);
    }
    EXPECT_EQ(FileBackup::list(path).size(), 3);
}

// The day's backup at the start is made on a thread of its own, a few pages at a time, through a
// read-only connection of its own: the program's writes go on meanwhile without waiting for the
// copy, and the copy comes out whole, once a day. Stopped (the program ends), it leaves no file
// and stays due.
TEST_F(FileBackupTest, TheDaysBackupIsMadeAlongsideTheProgramsWrites) {
    Connection &cn = db->cn();
    cn.execute("CREATE TABLE filler (b blob)");
    {
        Transaction tx(cn);
        for (int i = 0; i < 60; ++i)
            cn.execute("INSERT INTO filler SELECT randomblob(4000) FROM (WITH RECURSIVE n(x) AS "
                       "(SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 200) SELECT x FROM n)");
        tx.commit();
    }
    const QString file = FileBackup::databaseFile(cn);
    ASSERT_EQ(file, QFileInfo(path).absoluteFilePath());

    std::atomic<bool> stop{true};
    EXPECT_EQ(FileBackup::makeIfDueAlongside(file, stop, at(5, 8)), QString());
    EXPECT_EQ(FileBackup::list(path), QStringList());
    const QDir dir(FileBackup::folder(path));
    EXPECT_EQ(dir.entryList(QDir::Files), QStringList()) << "no part left";

    // What copies cut short long ago left goes with the next backup; a copy being written now and
    // files of other names stay.
    const QString base = QFileInfo(path).completeBaseName();
    const QStringList parts = {base + "-2024-03-01-090000.db.part",
                               base + "-2024-03-01-090000.db.part-journal",
                               base + "-2024-03-05-085959.db.part", "Other-2024-03-01-090000.db.part"};
    for (const QString &name : parts) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        if (name != parts[2] && name != parts[3])
            f.setFileTime(QDateTime::currentDateTime().addDays(-1), QFileDevice::FileModificationTime);
    }

    stop = false;
    QString made, again, failed;
    std::thread worker([&] {
        try {
            made = FileBackup::makeIfDueAlongside(file, stop, at(5, 9));
            again = FileBackup::makeIfDueAlongside(file, stop, at(5, 18));
        } catch (const AppError &e) {
            failed = e.message();
        }
    });
    cn.setWaitLimit(1);
    for (int i = 0; i < 3; ++i)
        insertRow(cn, "Department", {{"DprtName", QStringLiteral("Во время копии %1").arg(i)}});
    worker.join();
    EXPECT_EQ(failed, QString());
    ASSERT_FALSE(made.isEmpty());
    EXPECT_EQ(again, QString()) << "one a day";
    Connection copy;
    copy.open("sqlite:" + made);
    EXPECT_EQ(copy.scalar("PRAGMA integrity_check").toString(), "ok");
    EXPECT_EQ(copy.scalar("SELECT count(*) FROM filler").toInt(), 60 * 200);
    EXPECT_EQ(Schema::version(copy), Schema::CurrentVersion);
    for (const QString &name : parts)
        EXPECT_EQ(QFileInfo::exists(dir.filePath(name)), name == parts[2] || name == parts[3])
            << name.toStdString();
}

TEST(FileBackupServer, AServerDatabaseHasNoFileBackup) {
    TestDatabase pg(Engine::PostgreSQL);
    if (!pg.available())
        GTEST_SKIP() << "no PostgreSQL";
    EXPECT_TRUE(FileBackup::makeIfDue(pg.cn()).isEmpty());
    EXPECT_THROW(FileBackup::make(pg.cn()), AppError);
}

} // namespace
