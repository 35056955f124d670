#include "data/TessalVersionInfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <optional>

#ifndef VELMORA_VERSION
#define VELMORA_VERSION ""
#endif

// The version note of this executable. It has external linkage and is kept by the compiler, so
// that it lands in the image however little of this file the program uses, and its size leaves
// room for any dotted version.
extern "C" {
extern const char velmora_version_note[64];
__attribute__((used)) const char velmora_version_note[64] = "VELMORA-VERSION:" VELMORA_VERSION;
}
static_assert(sizeof("VELMORA-VERSION:" VELMORA_VERSION) <= sizeof(velmora_version_note),
              "the version does not fit into its note");

namespace {

constexpr qsizetype NotePrefixSize = 16; // "VELMORA-VERSION:"

QString versionOverride;     // set by tests; empty for the compiled version
QDateTime buildDateOverride; // set by tests; invalid for the real build date

// A decimal integer with an optional sign; 0 for anything else, an overflow included.
int partValue(QStringView text) {
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        ++i;
    if (i == text.size())
        return 0;
    for (qsizetype j = i; j < text.size(); ++j) {
        if (text[j] < u'0' || text[j] > u'9')
            return 0;
    }
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

// The dotted version that follows a note's prefix at `text`: digits and dots up to a zero byte,
// beginning with a digit; empty for anything else.
QString noteVersion(QByteArrayView text) {
    const qsizetype end = text.indexOf('\0');
    if (end <= 0)
        return QString();
    const QByteArrayView version = text.first(end);
    if (version.front() < '0' || version.front() > '9')
        return QString();
    for (const char c : version) {
        if ((c < '0' || c > '9') && c != '.')
            return QString();
    }
    return QString::fromLatin1(version);
}

QString compiledVersion() {
    // Read through a volatile pointer, so that the text comes from the note in the image (which
    // a build or a test may have rewritten) and is never folded into the code.
    const char *const volatile note = velmora_version_note;
    const QString v = noteVersion(QByteArrayView(note, sizeof(velmora_version_note)).sliced(NotePrefixSize));
    return v.isEmpty() ? QStringLiteral("0.0.0.0") : v;
}

QString runningExecutable() {
    return QCoreApplication::applicationFilePath();
}

bool isRunningExecutable(const QString &fileName) {
    if (fileName == u"*")
        return true;
    const QString own = QFileInfo(runningExecutable()).canonicalFilePath();
    return !own.isEmpty() && QFileInfo(fileName).canonicalFilePath() == own;
}

} // namespace

QString VersionKey(const QString &dotted) {
    const QStringView text(dotted);
    QStringView parts[4];
    qsizetype start = 0;
    for (int p = 0; p < 3 && start <= text.size(); ++p) {
        const qsizetype dot = text.indexOf(u'.', start);
        if (dot < 0) {
            parts[p] = text.mid(start);
            start = text.size() + 1; // no further parts
            break;
        }
        parts[p] = text.mid(start, dot - start);
        start = dot + 1;
    }
    if (start <= text.size())
        parts[3] = text.mid(start, 5);

    return QString::asprintf("%d.%d.%.3d%.5d", partValue(parts[0]), partValue(parts[2]), partValue(parts[1]),
                             partValue(parts[3]));
}

QString GetFileVersionText(bool asKey) {
    const QString version = versionOverride.isEmpty() ? compiledVersion() : versionOverride;
    return asKey ? VersionKey(version) : version;
}

void SetFileVersionTextForTesting(const QString &version) {
    versionOverride = version;
}

QString VersionNoteOf(QByteArrayView image) {
    // The prefix is put together at run time, so that the one the search looks for never looks
    // like a note itself (it is followed by no version).
    const QByteArray prefix = QByteArray("VELMORA-") + QByteArray("VERSION:");
    Q_ASSERT(prefix.size() == NotePrefixSize);
    for (qsizetype at = image.indexOf(prefix); at >= 0; at = image.indexOf(prefix, at + 1)) {
        const QByteArrayView tail = image.sliced(at + NotePrefixSize);
        const QString version =
            noteVersion(tail.first(qMin<qsizetype>(tail.size(), sizeof(velmora_version_note))));
        if (!version.isEmpty())
            return version;
    }
    return QString();
}

bool IsNativeExecutable(QByteArrayView image) {
#ifdef Q_OS_WIN
    return image.startsWith("MZ");
#else
    return image.startsWith("\x7F"
                            "ELF");
#endif
}

QString FileVersionNote(const QString &fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= 0)
        return QString();
    if (const uchar *bytes = file.map(0, file.size()))
        return VersionNoteOf(QByteArrayView(bytes, file.size()));
    return VersionNoteOf(file.readAll());
}

QString GetFileVersionKey(const QString &fileName) {
    if (isRunningExecutable(fileName))
        return GetFileVersionText(true);
    const QString version = FileVersionNote(fileName);
    return VersionKey(version.isEmpty() ? QStringLiteral("0.0.0.0") : version);
}

namespace {

// Reads exactly n bytes, or nothing when the file ends first.
std::optional<QByteArray> readExact(QIODevice &file, qint64 n) {
    QByteArray bytes = file.read(n);
    if (bytes.size() != n)
        return std::nullopt;
    return bytes;
}

// Moves to `pos`, which must lie within the device (a buffer would warn about any other).
bool seekWithin(QIODevice &device, qint64 pos) {
    return pos <= device.size() && device.seek(pos);
}

quint16 le16(const QByteArray &b, qsizetype at) {
    return qFromLittleEndian<quint16>(b.constData() + at);
}

quint32 le32(const QByteArray &b, qsizetype at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}

// A DOS date and time: the date in the high word (day, month, years since 1980), the time in the
// low word (seconds / 2, minutes, hours). Invalid when a field is out of range.
QDateTime decodeDosDateTime(quint32 stamp) {
    const quint32 date = stamp >> 16;
    const quint32 time = stamp & 0xFFFF;
    const QDate d(1980 + int(date >> 9), int((date >> 5) & 0x0F), int(date & 0x1F));
    const QTime t(int(time >> 11), int((time >> 5) & 0x3F), int(time & 0x1F) * 2);
    if (!d.isValid() || !t.isValid())
        return QDateTime();
    return QDateTime(d, t);
}

} // namespace

QDateTime PeResourceStamp(QIODevice &file) {
    constexpr qint64 dosHeaderSize = 64;
    constexpr qint64 fileHeaderSize = 20;
    constexpr qint64 optionalHeaderSize = 224;   // PE32
    constexpr qint64 optionalHeaderSize64 = 240; // PE32+, told by its magic number
    constexpr quint16 pe32PlusMagic = 0x020B;
    constexpr qint64 sectionHeaderSize = 40;
    constexpr qint64 resourceDirectorySize = 16;

    const auto dos = readExact(file, dosHeaderSize);
    if (!dos || !dos->startsWith("MZ"))
        return QDateTime();
    if (!seekWithin(file, le32(*dos, 60)))
        return QDateTime();

    const auto signature = readExact(file, 4);
    if (!signature || *signature != QByteArray("PE\0\0", 4))
        return QDateTime();
    const auto fileHeader = readExact(file, fileHeaderSize);
    if (!fileHeader)
        return QDateTime();
    const int sections = le16(*fileHeader, 2);

    auto optionalHeader = readExact(file, optionalHeaderSize);
    if (!optionalHeader)
        return QDateTime();
    if (le16(*optionalHeader, 0) == pe32PlusMagic &&
        !readExact(file, optionalHeaderSize64 - optionalHeaderSize))
        return QDateTime();

    // The section named ".rsrc", else the last one.
    std::optional<QByteArray> section;
    for (int i = 0; i < sections; ++i) {
        section = readExact(file, sectionHeaderSize);
        if (!section)
            return QDateTime();
        const QByteArray name = section->left(8);
        const qsizetype end = name.indexOf('\0');
        if ((end < 0 ? name : name.left(end)) == ".rsrc")
            break;
    }
    if (!section)
        return QDateTime();

    if (!seekWithin(file, le32(*section, 20)))
        return QDateTime();
    const auto directory = readExact(file, resourceDirectorySize);
    if (!directory)
        return QDateTime();
    const quint32 stamp = le32(*directory, 4);
    return stamp == 0 ? QDateTime() : decodeDosDateTime(stamp);
}

QDateTime GetBuildDate(const QString &fileName) {
    const bool running = fileName == u"*";
    if (running && buildDateOverride.isValid())
        return buildDateOverride;
    const QString path = running ? runningExecutable() : fileName;

    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QDateTime stamp = PeResourceStamp(file);
        if (stamp.isValid())
            return stamp;
    }
    return QFileInfo(path).lastModified();
}

void SetBuildDateForTesting(const QDateTime &date) {
    buildDateOverride = date;
}

QString VersionCaption(const QString &prefix, bool asKey) {
    const QString version = GetFileVersionText(asKey);
    if (version.startsWith(u'0'))
        return prefix;
    return prefix + version + QStringLiteral(" от ") +
           GetBuildDate(QStringLiteral("*")).toString(QStringLiteral("dd.MM.yyyy"));
}
