// Replays the fuzzing corpus of the PE reader and the version note search: every file there must
// be read without a fault, a file named "...-stamp-YYYYMMDDTHHMMSS" gives that stamp, any other
// file none (and the build date falls back to the modification time); a file named "...-note-V"
// carries the version note V, any other file none.
#include "data/TessalVersionInfo.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

TEST(PeCorpus, ReplaysEveryInput) {
    const QDir corpus(QStringLiteral(VELMORA_FUZZ_CORPUS));
    const QFileInfoList files = corpus.entryInfoList(QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 10) << "corpus not found at " << VELMORA_FUZZ_CORPUS;

    const QRegularExpression stampName(QStringLiteral("-stamp-(\\d{8}T\\d{6})$"));
    const QRegularExpression noteName(QStringLiteral("-note-([0-9.]+)$"));
    for (const QFileInfo &info : files) {
        SCOPED_TRACE(info.fileName().toStdString());
        QFile file(info.filePath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();

        QDateTime expected;
        if (const auto m = stampName.match(info.fileName()); m.hasMatch())
            expected = QDateTime::fromString(m.captured(1), QStringLiteral("yyyyMMdd'T'HHmmss"));

        // The same answer from the file and from a buffer holding its bytes.
        file.seek(0);
        EXPECT_EQ(PeResourceStamp(file), expected);
        QByteArray copy = bytes;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        EXPECT_EQ(PeResourceStamp(buffer), expected);
        EXPECT_EQ(GetBuildDate(info.filePath()), expected.isValid() ? expected : info.lastModified());

        const auto note = noteName.match(info.fileName());
        EXPECT_EQ(VersionNoteOf(bytes), note.hasMatch() ? note.captured(1) : QString());
        EXPECT_EQ(GetFileVersionKey(info.filePath()),
                  VersionKey(note.hasMatch() ? note.captured(1) : QStringLiteral("0.0.0.0")));
    }
}
