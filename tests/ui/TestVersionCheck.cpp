// The version step of the main window over a real database: which version is newest, when the
// updater is written and started, and what the "Версия" tab shows.
#include "AppTest.h"
#include "data/TessalVersionInfo.h"
#include "data/dmTessalData.h"
#include "server/Schema.h"
#include "shell/VersionCheck.h"
#include "shell/fmMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>

#include <optional>

namespace {

struct Start {
    QString program;
    QStringList arguments;
};

class VersionCheckTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("prog")));
        SetUpdaterFolderForTesting(folder());
        previousStarter = SetProgramStarter([this](const QString &program, const QStringList &arguments) {
            starts.push_back({program, arguments});
            return starterWorks;
        });
        previousTerminate = SetTerminateRequest([this] { ++terminateRequests; });
        SetFileVersionTextForTesting(QStringLiteral("2.15.7.321")); // key 2.7.01500321
    }
    void TearDown() override {
        SetUpdaterFolderForTesting(QString());
        SetProgramStarter(previousStarter);
        SetTerminateRequest(previousTerminate);
        SetFileVersionTextForTesting(QString());
        AppTest::TearDown();
    }

    QString folder() const { return dir.filePath(QStringLiteral("prog")); }
    QString updaterPath() const { return QDir(folder()).filePath(UpdaterFileName()); }
    void publish(const QString &key, const QVariant &program, const QString &changes = {}) {
        insert(QStringLiteral("ProgramVersion"),
               {{QStringLiteral("Version"), key},
                {QStringLiteral("Programm"), program},
                {QStringLiteral("Change"), changes.isEmpty() ? QVariant() : changes}});
    }

    // The header of an executable of this platform (this very test's), then anything.
    const QByteArray updater = [] {
        QFile self(QStringLiteral("/proc/self/exe"));
        return (self.open(QIODevice::ReadOnly) ? self.read(64) : QByteArray()) + QByteArray(100, 'u');
    }();
    std::vector<Start> starts;
    bool starterWorks = true;
    int terminateRequests = 0;
    ProgramStarter previousStarter;
    TerminateRequest previousTerminate;
};

TEST_F(VersionCheckTest, NoPublishedVersionMeansNoUpdate) {
    // A new database has no version: the program goes on with its own.
    TMainFM fm;
    EXPECT_TRUE(starts.empty());
    EXPECT_EQ(terminateRequests, 0);
    EXPECT_TRUE(fm.taVersionChange->isActive());
    EXPECT_EQ(fm.mmChange->toPlainText(), QString());
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(VersionCheckTest, RunningTheNewestVersionShowsItsChanges) {
    publish(QStringLiteral("2.7.01500300"), QByteArray("old"), QStringLiteral("Старое"));
    publish(QStringLiteral("2.7.01500321"), QByteArray("current"),
            QStringLiteral("Новый отчёт\nИсправления"));
    publish(QStringLiteral("update"), updater);
    // The updater of the last update is removed.
    QFile stale(updaterPath());
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();

    TMainFM fm;
    EXPECT_TRUE(starts.empty());
    EXPECT_EQ(terminateRequests, 0);
    EXPECT_FALSE(QFile::exists(updaterPath()));
    EXPECT_EQ(fm.mmChange->toPlainText(), QStringLiteral("Новый отчёт\nИсправления"));
    EXPECT_TRUE(fm.mmChange->isReadOnly());
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(VersionCheckTest, AnyOtherNewestVersionStartsTheUpdater) {
    // The comparison is for equality: an older version in the database updates too.
    for (const QString &newest : {QStringLiteral("2.8.00000001"), QStringLiteral("2.7.01500320")}) {
        SCOPED_TRACE(newest.toStdString());
        cn().execute(QStringLiteral("DELETE FROM ProgramVersion"));
        publish(newest, QByteArray("image"), QStringLiteral("Изменения ") + newest);
        publish(QStringLiteral("update"), updater);
        starts.clear();
        terminateRequests = 0;

        TMainFM fm;
        ASSERT_EQ(starts.size(), 1u);
        EXPECT_EQ(starts[0].program, updaterPath());
        EXPECT_EQ(starts[0].arguments,
                  (QStringList{QStringLiteral("--pid"), QString::number(QCoreApplication::applicationPid()),
                               QStringLiteral("--program"), QCoreApplication::applicationFilePath()}));
        QFile written(updaterPath());
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readAll(), updater);
        EXPECT_TRUE(written.permissions() & QFileDevice::ExeOwner);
        EXPECT_EQ(terminateRequests, 1);
        // The rest of the step still runs.
        EXPECT_EQ(fm.mmChange->toPlainText(), QStringLiteral("Изменения ") + newest);
        EXPECT_TRUE(boxes.isEmpty());
    }
}

TEST_F(VersionCheckTest, UpdaterThatCannotRunKeepsTheProgramGoing) {
    const struct {
        const char *what;
        std::optional<QByteArray> updater; // none: no row
        bool starts;
        const char *message;
    } cases[] = {
        {"no updater stored", std::nullopt, false,
         "Версия 2.8.00000001 не установлена: в базе данных нет программы обновления."},
        {"empty updater", QByteArray(), false,
         "Версия 2.8.00000001 не установлена: в базе данных нет программы обновления."},
        {"updater that is no executable", QByteArray("MZ\x90"), false,
         "Версия 2.8.00000001 не установлена: программа обновления в базе данных не является исполняемым "
         "файлом."},
        {"updater that does not start", updater, true, "Не удалось запустить программу обновления"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        cn().execute(QStringLiteral("DELETE FROM ProgramVersion"));
        publish(QStringLiteral("2.8.00000001"), QByteArray("image"), QStringLiteral("Изменения"));
        if (c.updater)
            publish(QStringLiteral("update"), *c.updater);
        starterWorks = false;
        starts.clear();
        boxes.clear();

        TMainFM fm;
        EXPECT_EQ(starts.size(), c.starts ? 1u : 0u);
        EXPECT_EQ(terminateRequests, 0);
        ASSERT_EQ(boxes.size(), 1);
        EXPECT_EQ(boxes[0].kind, MessageKind::Exception);
        EXPECT_TRUE(boxes[0].text.startsWith(QString::fromUtf8(c.message))) << boxes[0].text.toStdString();
        // The later steps are skipped, the window is there with its version label.
        EXPECT_EQ(fm.mmChange->toPlainText(), QString());
        EXPECT_TRUE(fm.laVersion->text().startsWith(QStringLiteral("Версия 2.7.01500321 от ")));
    }
}

TEST_F(VersionCheckTest, DatabaseOfANewerProgramUpdatesToItInsteadOfRefusing) {
    // A newer program raised the schema: this one cannot open the database, but the version it
    // holds is still installed, so an older workstation catches up instead of stopping for good.
    const struct {
        const char *what;
        bool updating; // a version to update to is published
    } cases[] = {
        {"newer version published", true},
        {"nothing published", false},
    };
    const auto previousUpdate = TdmTessal::updateForNewerDatabase;
    TdmTessal::updateForNewerDatabase = UpdateForNewerDatabase;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        cn().execute(QStringLiteral("DELETE FROM ProgramVersion"));
        if (c.updating) {
            publish(QStringLiteral("2.8.00000001"), QByteArray("image"));
            publish(QStringLiteral("update"), updater);
        }
        cn().execute(QStringLiteral("UPDATE SchemaVersion SET Version = :V"),
                     {{QStringLiteral("V"), Schema::CurrentVersion + 1}});
        starts.clear();
        terminateRequests = 0;
        boxes.clear();
        {
            TdmTessal second(url());
            EXPECT_TRUE(second.startFailed());
            EXPECT_EQ(second.updating(), c.updating);
            EXPECT_FALSE(second.cnGeneral.isOpen());
            EXPECT_EQ(starts.size(), c.updating ? 1u : 0u);
            EXPECT_EQ(terminateRequests, c.updating ? 1 : 0);
            if (c.updating) {
                EXPECT_TRUE(boxes.isEmpty());
                EXPECT_TRUE(second.startError().isEmpty());
            } else {
                ASSERT_EQ(boxes.size(), 1);
                EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("более новой версией программы")))
                    << boxes[0].text.toStdString();
            }
        }
        dmTessal = dm.get();
        cn().execute(QStringLiteral("UPDATE SchemaVersion SET Version = :V"),
                     {{QStringLiteral("V"), Schema::CurrentVersion}});
    }
    TdmTessal::updateForNewerDatabase = previousUpdate;
}

} // namespace
