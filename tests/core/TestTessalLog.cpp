#include "data/Errors.h"
#include "data/TessalLog.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>

TEST(TessalLog, MakeAppLogFileName) {
    const QDate date(2016, 3, 12);
    const std::pair<const char *, const char *> cases[] = {
        {"/opt/prog/Velmora", "/opt/prog/Velmora160312.log"},
        {"C:/Prog/Velmora.exe", "C:/Prog/Velmora160312.log"},
        {"C:\\Prog\\Velmora.exe", "C:\\Prog\\Velmora160312.log"},
        {"/opt/prog.d/Velmora", "/opt/prog.d/Velmora160312.log"}, // a dot in a folder is no extension
        {"/opt/prog/Velmora.bin.x", "/opt/prog/Velmora.bin160312.log"},
    };
    for (const auto &[path, expected] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(MakeAppLogFileName(QString::fromUtf8(path), date).toStdString(), expected);
    }
    EXPECT_EQ(MakeAppLogFileName(QStringLiteral("/opt/Velmora"), QDate(2009, 11, 5)),
              QStringLiteral("/opt/Velmora091105.log"));
}

class TessalLogFile : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        previous = AppLogFileName();
        previousFallback = AppLogFallbackFileName();
        path = dir.filePath(QStringLiteral("Velmora160312.log"));
        fallback = dir.filePath(QStringLiteral("data/Korvant/Velmora/Velmora160312.log"));
        SetAppLogFileName(path);
        SetAppLogFallbackFileName(fallback);
    }
    void TearDown() override {
        SetAppLogFileName(previous);
        SetAppLogFallbackFileName(previousFallback);
    }

    QByteArray contents() const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    QString previous, previousFallback;
    QString path, fallback;
};

TEST_F(TessalLogFile, HeaderOnceThenEntries) {
    WriteAppLog(QStringLiteral("Сервер данных недоступен"));
    WriteAppLog(QStringLiteral("первая строка\nвторая строка"));

    const QByteArray bytes = contents();
    ASSERT_TRUE(bytes.endsWith("\r\n"));
    // Every line break is CR LF, including the one inside the second text.
    EXPECT_EQ(bytes.count("\n"), bytes.count("\r\n"));
    EXPECT_EQ(bytes.count("\r"), bytes.count("\r\n"));

    const QStringList lines = QString::fromUtf8(bytes.chopped(2)).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 8) << bytes.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Журнал приложения Velmora ") +
                            QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));

    const QRegularExpression timeLine(QStringLiteral("^\\d{1,2}:\\d{2}:\\d{2}[^\\]]* \\]-{70}$"));
    for (int entry : {1, 4}) {
        SCOPED_TRACE(entry);
        EXPECT_EQ(lines[entry], QString());
        EXPECT_TRUE(timeLine.match(lines[entry + 1]).hasMatch()) << lines[entry + 1].toStdString();
    }
    EXPECT_EQ(lines[3], QStringLiteral("Сервер данных недоступен"));
    EXPECT_EQ(lines[6], QStringLiteral("первая строка"));
    EXPECT_EQ(lines[7], QStringLiteral("вторая строка"));
}

TEST_F(TessalLogFile, AppendsToExistingFileWithoutHeader) {
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("earlier\r\n");
    }
    WriteAppLog(QStringLiteral("текст"));
    const QByteArray bytes = contents();
    EXPECT_TRUE(bytes.startsWith("earlier\r\n\r\n")) << bytes.toStdString();
    EXPECT_FALSE(bytes.contains(QStringLiteral("Журнал").toUtf8()));
    EXPECT_TRUE(bytes.endsWith(QStringLiteral("]").toUtf8() + QByteArray(70, '-') + "\r\nтекст\r\n"));
}

TEST_F(TessalLogFile, ReadableByItsOwnerOnly) {
    EXPECT_EQ(WriteAppLog(QStringLiteral("текст")), path);
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                        QFileDevice::WriteOther | QFileDevice::ExeGroup | QFileDevice::ExeOther;
    EXPECT_FALSE(QFile::permissions(path) & others);

    // A file left readable by others is closed to them at the next entry.
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ReadOther);
    WriteAppLog(QStringLiteral("ещё"));
    EXPECT_FALSE(QFile::permissions(path) & others);
}

TEST_F(TessalLogFile, FallsBackToTheUserDataFolder) {
    // Where the program's folder cannot be written (a folder in place of the file keeps even root
    // out), the entry lands in the user's data folder, which is made for the owner alone.
    const QString blocked = dir.filePath(QStringLiteral("blocked.log"));
    ASSERT_TRUE(QDir().mkpath(blocked));
    SetAppLogFileName(blocked);
    EXPECT_EQ(WriteAppLog(QStringLiteral("Сервер данных недоступен.")), fallback);
    QFile f(fallback);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().endsWith(QStringLiteral("Сервер данных недоступен.\r\n").toUtf8()));
    const QString folder = QFileInfo(fallback).absolutePath();
    EXPECT_EQ(QFile::permissions(folder) &
                  ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(TessalLogFile, NeitherFileWritableThrowsNamingBoth) {
    const QString paths[] = {dir.filePath(QStringLiteral("missing/folder/Velmora.log")), dir.path()};
    const QString blockedFallback = dir.filePath(QStringLiteral("fallback.log"));
    ASSERT_TRUE(QDir().mkpath(blockedFallback));
    SetAppLogFallbackFileName(blockedFallback);
    for (const QString &bad : paths) {
        SCOPED_TRACE(bad.toStdString());
        SetAppLogFileName(bad);
        try {
            WriteAppLog(QStringLiteral("текст"));
            ADD_FAILURE() << "no error";
        } catch (const AppError &e) {
            EXPECT_TRUE(e.message().contains(bad)) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(blockedFallback)) << e.message().toStdString();
        }
    }
}
