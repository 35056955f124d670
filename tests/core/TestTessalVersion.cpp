#include "data/TessalVersionInfo.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

TEST(TessalVersion, VersionKey) {
    const std::pair<const char *, const char *> cases[] = {
        {"2.15.7.321", "2.7.01500321"},
        {"1.2.3.123456", "1.3.00212345"}, // the fourth part is read from five characters only
        {"0.0.0.0", "0.0.00000000"},
        {"1.0.0.1", "1.0.00000001"},
        {"12.3456.78.987654", "12.78.345698765"}, // longer parts keep all their digits
        {"2.x.7.321", "2.7.00000321"},            // a part that is not a number counts as 0
        {"2.15.7.32a", "2.7.01500000"},
        {"1.2.3.4.5", "1.3.00200000"}, // "4.5" is not a number
        {"1.2", "1.0.00200000"},
        {"", "0.0.00000000"},
    };
    for (const auto &[dotted, key] : cases) {
        SCOPED_TRACE(dotted);
        EXPECT_EQ(VersionKey(QString::fromUtf8(dotted)).toStdString(), key);
    }
}

class TessalVersionOverride : public ::testing::Test {
protected:
    void TearDown() override {
        SetFileVersionTextForTesting(QString());
        SetBuildDateForTesting(QDateTime());
    }
};

TEST_F(TessalVersionOverride, RunningProgramVersion) {
    EXPECT_EQ(GetFileVersionText(false), QStringLiteral(VELMORA_VERSION));
    EXPECT_EQ(GetFileVersionKey(QStringLiteral("*")), VersionKey(QStringLiteral(VELMORA_VERSION)));
    EXPECT_EQ(GetFileVersionKey(QCoreApplication::applicationFilePath()),
              GetFileVersionKey(QStringLiteral("*")));

    SetFileVersionTextForTesting(QStringLiteral("2.15.7.321"));
    EXPECT_EQ(GetFileVersionText(false), QStringLiteral("2.15.7.321"));
    EXPECT_EQ(GetFileVersionText(true), QStringLiteral("2.7.01500321"));
    EXPECT_EQ(GetFileVersionKey(QStringLiteral("*")), QStringLiteral("2.7.01500321"));

    // A file without a version note has the key of 0.0.0.0.
    QTemporaryDir dir;
    const QString other = dir.filePath(QStringLiteral("update"));
    QFile f(other);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_EQ(GetFileVersionKey(other), QStringLiteral("0.0.00000000"));
}

TEST_F(TessalVersionOverride, VersionCaption) {
    SetBuildDateForTesting(QDateTime(QDate(2014, 3, 5), QTime(10, 20)));

    SetFileVersionTextForTesting(QStringLiteral("2.15.7.321"));
    EXPECT_EQ(VersionCaption(QStringLiteral("Версия "), true),
              QStringLiteral("Версия 2.7.01500321 от 05.03.2014"));
    EXPECT_EQ(VersionCaption(QStringLiteral("Версия "), false),
              QStringLiteral("Версия 2.15.7.321 от 05.03.2014"));

    // A development version shows the prefix alone.
    for (const char *v : {"0.0.0.0", "0.9.1.2"}) {
        SCOPED_TRACE(v);
        SetFileVersionTextForTesting(QString::fromUtf8(v));
        EXPECT_EQ(VersionCaption(QStringLiteral("Версия "), true), QStringLiteral("Версия "));
        EXPECT_EQ(VersionCaption(QStringLiteral("Версия "), false), QStringLiteral("Версия "));
    }
}

namespace {

quint32 dosStamp(const QDateTime &dt) {
    const QDate d = dt.date();
    const QTime t = dt.time();
    const quint32 date = quint32((d.year() - 1980) << 9 | d.month() << 5 | d.day());
    const quint32 time = quint32(t.hour() << 11 | t.minute() << 5 | t.second() / 2);
    return date << 16 | time;
}

std::string iso(const QDateTime &dt) {
    return dt.toString(Qt::ISODateWithMs).toStdString();
}

void put16(QByteArray &b, qsizetype at, quint16 v) {
    qToLittleEndian(v, b.data() + at);
}

void put32(QByteArray &b, qsizetype at, quint32 v) {
    qToLittleEndian(v, b.data() + at);
}

// A minimal Windows PE image: DOS header, "PE\0\0", file header, optional header, the section
// headers, and a resource directory with `stamp` at the raw data of the section `stampedSection`.
QByteArray makePe(const QList<QByteArray> &sectionNames, int stampedSection, quint32 stamp,
                  bool pe32Plus = false) {
    const qsizetype peOffset = 0x80;
    const qsizetype optionalSize = pe32Plus ? 240 : 224;
    const qsizetype sectionsAt = peOffset + 4 + 20 + optionalSize;
    const qsizetype dataAt = sectionsAt + 40 * sectionNames.size() + 16;

    QByteArray pe(dataAt + 32 * sectionNames.size(), '\0');
    pe[0] = 'M';
    pe[1] = 'Z';
    put32(pe, 60, quint32(peOffset));
    pe.replace(peOffset, 4, QByteArray("PE\0\0", 4));
    put16(pe, peOffset + 4, 0x014C);                           // machine
    put16(pe, peOffset + 4 + 2, quint16(sectionNames.size())); // number of sections
    put16(pe, peOffset + 4 + 16, quint16(optionalSize));
    put16(pe, peOffset + 24, pe32Plus ? 0x020B : 0x010B); // optional header magic
    for (int i = 0; i < sectionNames.size(); ++i) {
        const qsizetype header = sectionsAt + 40 * i;
        pe.replace(header, sectionNames[i].size(), sectionNames[i]);
        const qsizetype raw = dataAt + 32 * i;
        put32(pe, header + 16, 32);           // raw data size
        put32(pe, header + 20, quint32(raw)); // raw data offset
        // Something that is not a stamp in the other sections.
        put32(pe, raw + 4, i == stampedSection ? stamp : 0xFFFFFFFF);
    }
    return pe;
}

} // namespace

class TessalBuildDate : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // Writes the bytes to a file whose modification time is `modified`.
    QString write(const QByteArray &bytes) {
        const QString path = dir.filePath(QStringLiteral("file%1.exe").arg(++count));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.flush();
        EXPECT_TRUE(f.setFileTime(modified, QFileDevice::FileModificationTime));
        f.close();
        return path;
    }

    QTemporaryDir dir;
    int count = 0;
    const QDateTime modified{QDate(2001, 2, 3), QTime(4, 5, 6)};
    const QDateTime built{QDate(2014, 3, 5), QTime(17, 41, 58)};
};

TEST_F(TessalBuildDate, ReadsResourceStampOfPeFile) {
    const quint32 stamp = dosStamp(built);
    const QByteArray pe = makePe({".text", ".rsrc", ".reloc"}, 1, stamp);
    struct Case {
        const char *what;
        QByteArray bytes;
        QDateTime expected;
    };
    const Case cases[] = {
        {"resource section", pe, built},
        {"no resource section: the last one", makePe({".text", ".data"}, 1, stamp), built},
        {"64-bit optional header", makePe({".text", ".rsrc"}, 1, stamp, true), built},
        {"zero stamp", makePe({".text", ".rsrc"}, 1, 0), modified},
        {"stamp that is no DOS date", makePe({".text", ".rsrc"}, 1, 0x00010000u), modified},
        {"no sections", makePe({}, 0, stamp), modified},
        {"cut in the section headers", pe.left(0x80 + 4 + 20 + 224 + 50), modified},
        {"cut in the resource directory", pe.left(pe.size() - 32 * 2 - 30), modified},
        {"PE offset beyond the end",
         [&] {
             QByteArray b = pe;
             put32(b, 60, 0x7FFFFFF0);
             return b;
         }(),
         modified},
        {"no PE signature",
         [&] {
             QByteArray b = pe;
             b[0x80] = 'N';
             return b;
         }(),
         modified},
        {"ELF file",
         QByteArray("\x7F"
                    "ELF\x02\x01\x01",
                    7) +
             QByteArray(200, '\0'),
         modified},
        {"short text", QByteArray("MZ"), modified},
        {"empty", QByteArray(), modified},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(iso(GetBuildDate(write(c.bytes))), iso(c.expected));
    }
}

TEST_F(TessalBuildDate, RunningProgramAndMissingFile) {
    // The test program is an ELF file: its build date is its modification time.
    EXPECT_EQ(iso(GetBuildDate(QStringLiteral("*"))),
              iso(QFileInfo(QCoreApplication::applicationFilePath()).lastModified()));

    SetBuildDateForTesting(built);
    EXPECT_EQ(iso(GetBuildDate(QStringLiteral("*"))), iso(built));
    SetBuildDateForTesting(QDateTime());

    EXPECT_FALSE(GetBuildDate(dir.filePath(QStringLiteral("missing.exe"))).isValid());
}

namespace {

// A note put together at run time: a note written as one literal would be found in this test
// program's own file.
QByteArray note(const char *rest, qsizetype size = -1) {
    return QByteArray("VELMORA-") + QByteArray("VERSION:") +
           QByteArray(rest, size < 0 ? qsizetype(qstrlen(rest)) : size);
}

} // namespace

TEST(TessalVersionNote, FoundInImages) {
    const QByteArray elf("\x7F"
                         "ELF\x02\x01\x01",
                         7);
    const struct {
        const char *what;
        QByteArray image;
        const char *note;
    } cases[] = {
        {"a note", elf + QByteArray(40, '\0') + note("1.2.3.4\0tail", 12), "1.2.3.4"},
        {"the prefix alone, then a note", elf + note("\0", 1) + note("2.15.7.321\0", 11), "2.15.7.321"},
        {"no digits after the prefix", note("x1.2\0", 5), ""},
        {"letters inside the version", note("1.2a\0", 5), ""},
        {"cut at the end of the image", note("1.2.3.4"), ""},
        {"the prefix at the very end", note(""), ""},
        {"no note", elf + QByteArray(100, 'x'), ""},
        {"empty", QByteArray(), ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(VersionNoteOf(c.image).toStdString(), c.note);
    }
    EXPECT_TRUE(IsNativeExecutable(elf));
    EXPECT_FALSE(IsNativeExecutable(QByteArray("MZ\x90\0", 4)));
    EXPECT_FALSE(IsNativeExecutable(QByteArray("#!/bin/sh\n")));
    EXPECT_FALSE(IsNativeExecutable(QByteArray()));
}

TEST_F(TessalVersionOverride, BuildEmbedsTheVersionNote) {
    // The test program is built like the program: its file names its own version.
    const QString own = QCoreApplication::applicationFilePath();
    EXPECT_EQ(FileVersionNote(own), QStringLiteral(VELMORA_VERSION));

    // Another file is read for its note; the running program's key comes from the build even
    // when a test changed it.
    QTemporaryDir dir;
    const QString other = dir.filePath(QStringLiteral("Velmora"));
    QFile f(other);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("\x7F"
                       "ELF",
                       4) +
            QByteArray(60, '\0') + note("2.15.7.321\0", 11));
    f.close();
    SetFileVersionTextForTesting(QStringLiteral("3.0.0.0"));
    EXPECT_EQ(GetFileVersionKey(other), QStringLiteral("2.7.01500321"));
    EXPECT_EQ(GetFileVersionKey(QStringLiteral("*")), QStringLiteral("3.0.00000000"));
    EXPECT_EQ(FileVersionNote(dir.filePath(QStringLiteral("missing"))), QString());
}
