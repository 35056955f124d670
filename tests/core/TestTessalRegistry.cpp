// The entry in the list of installed programs, in a system folder of the test's own.
#include "data/TessalRegistry.h"
#include "data/TessalVersionInfo.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace {

class UninstallEntry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        previous = qgetenv("XDG_CONFIG_DIRS");
        hadPrevious = qEnvironmentVariableIsSet("XDG_CONFIG_DIRS");
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(dir.filePath(QStringLiteral("xdg"))) + ":/etc/xdg");
    }
    void TearDown() override {
        if (hadPrevious)
            qputenv("XDG_CONFIG_DIRS", previous);
        else
            qunsetenv("XDG_CONFIG_DIRS");
        SetFileVersionTextForTesting(QString());
    }
    QString fileName() const { return dir.filePath(QStringLiteral("xdg/Korvant/Uninstall.conf")); }
    QVariant stored(const QString &name) const {
        return QSettings(fileName(), QSettings::IniFormat).value(QStringLiteral("Velmora/") + name);
    }
    void record(const QString &displayVersion) {
        QSettings s(fileName(), QSettings::IniFormat);
        s.setValue(QStringLiteral("Velmora/DisplayVersion"), displayVersion);
        s.setValue(QStringLiteral("Velmora/InstallDate"), QStringLiteral("20140305"));
    }

    QTemporaryDir dir;
    QByteArray previous;
    bool hadPrevious = false;
};

TEST_F(UninstallEntry, CreatedWhenMissing) {
    SetFileVersionTextForTesting(QStringLiteral("2.15.7.321"));
    QVariant value = QStringLiteral("untouched");
    ReadUninstallValue(UninstallValue::DisplayVersion, value); // opening creates the folders
    EXPECT_EQ(value, QString());

    UpdateUninstallEntry();
    EXPECT_EQ(stored(QStringLiteral("DisplayName")), QStringLiteral("Velmora"));
    EXPECT_EQ(stored(QStringLiteral("Publisher")), QStringLiteral("Korvant"));
    EXPECT_EQ(stored(QStringLiteral("DisplayVersion")), QStringLiteral("2.7.01500321"));
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
    EXPECT_EQ(stored(QStringLiteral("InstallDate")), today);
    ReadUninstallValue(UninstallValue::InstallDate, value);
    EXPECT_EQ(value, today);
    ReadUninstallValue(UninstallValue::DisplayVersion, value);
    EXPECT_EQ(value, QStringLiteral("2.7.01500321"));
}

TEST_F(UninstallEntry, RewrittenOnlyByAKeyThatSortsAfterTheRecordedOne) {
    const struct {
        const char *version;
        bool rewritten;
    } cases[] = {
        {"2.15.7.400", true},  // 2.7.01500400
        {"2.15.7.321", false}, // the same key
        {"2.15.10.1", false},  // 2.10.01500001: by text, 2.10 sorts before 2.7
        {"1.0.0.1", false},    // an older program leaves the entry alone
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.version);
        record(QStringLiteral("2.7.01500321"));
        SetFileVersionTextForTesting(QString::fromLatin1(c.version));
        UpdateUninstallEntry();
        EXPECT_EQ(stored(QStringLiteral("DisplayVersion")),
                  c.rewritten ? VersionKey(QString::fromLatin1(c.version)) : QStringLiteral("2.7.01500321"));
        EXPECT_EQ(stored(QStringLiteral("InstallDate")) != QStringLiteral("20140305"), c.rewritten);
    }
}

TEST_F(UninstallEntry, SilentWhenItCannotBeOpened) {
    // A file where the folder should be: the entry can be neither created nor opened, whatever the
    // rights of the user running the test.
    QFile blocker(dir.filePath(QStringLiteral("xdg")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SetFileVersionTextForTesting(QStringLiteral("2.15.7.321"));
    QVariant value = QStringLiteral("untouched");
    ReadUninstallValue(UninstallValue::DisplayVersion, value);
    EXPECT_EQ(value, QStringLiteral("untouched"));
    UpdateUninstallEntry();
    EXPECT_FALSE(QFile::exists(fileName()));
}

} // namespace
