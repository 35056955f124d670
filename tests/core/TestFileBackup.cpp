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

TEST(FileBackupServer, AServerDatabaseHasNoFileBackup) {
    TestDatabase pg(Engine::PostgreSQL);
    if (!pg.available())
        GTEST_SKIP() << "no PostgreSQL";
    EXPECT_TRUE(FileBackup::makeIfDue(pg.cn()).isEmpty());
    EXPECT_THROW(FileBackup::make(pg.cn()), AppError);
}

} // namespace
