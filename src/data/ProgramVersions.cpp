#include "data/ProgramVersions.h"

#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/Errors.h"
#include "data/TessalADO.h"
#include "data/TessalVersionInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

// One row of a version procedure: the value of `field`, Null when no row came.
QVariant procedureValue(Connection &cn, const QString &procedure, const TypedValues &args,
                        const QString &field) {
    DataSet ds(&cn);
    ds.setReadOnly(true);
    ds.setCommand(procedure, CommandType::StoredProc);
    OpenWithParams(ds, args);
    return ds.isEmpty() ? QVariant() : ds.value(field);
}

QVariantMap versionParam(const QString &version) {
    return {{QStringLiteral("V"), version}};
}

// Databases made before images were kept in parts have no ProgramPart table.
bool hasParts(Connection &cn) {
    const QString probe =
        cn.engine() == Engine::SQLite
            ? QStringLiteral(
                  "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'ProgramPart'")
            : QStringLiteral(
                  "SELECT count(*) FROM information_schema.tables WHERE table_name = 'programpart' "
                  "AND table_schema = current_schema()");
    return cn.scalar(probe).toInt() > 0;
}

QList<int> partNumbers(Connection &cn, const QString &version) {
    QList<int> parts;
    if (!hasParts(cn))
        return parts;
    const ResultSet rs =
        cn.query(QStringLiteral("SELECT Part FROM ProgramPart WHERE Version = :V ORDER BY Part"),
                 versionParam(version));
    for (const auto &row : rs.rows)
        parts << row[0].toInt();
    return parts;
}

QByteArray part(Connection &cn, const QString &version, int number) {
    return cn
        .scalar(QStringLiteral("SELECT Data FROM ProgramPart WHERE Version = :V AND Part = :P"),
                {{QStringLiteral("V"), version}, {QStringLiteral("P"), number}})
        .toByteArray();
}

QString describe(ProgramKind kind, const QString &versionKey) {
    return kind == ProgramKind::Updater ? QStringLiteral("Программа обновления")
                                        : QStringLiteral("Файл программы версии %1").arg(versionKey);
}

// The ELF header fields that tell the platform: class and byte order (e_ident), machine.
QByteArray ownHeader() {
    static const QByteArray head = [] {
        QFile self(QStringLiteral("/proc/self/exe"));
        return self.open(QIODevice::ReadOnly) ? self.read(64) : QByteArray();
    }();
    return head;
}

// The output of `path --version`, run in a throwaway folder and environment; the reason it
// failed in `why` otherwise.
QString versionAnswer(const QString &path, QString *why) {
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        *why = QStringLiteral("нет временной папки: %1").arg(scratch.errorString());
        return QString();
    }
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH", QStringLiteral("/usr/bin:/bin")));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_DIRS",
                             "XDG_RUNTIME_DIR", "TMPDIR"})
        env.insert(QString::fromLatin1(name), scratch.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // A program that ignores --version must not reach a real database.
    env.insert(QStringLiteral("VELMORA_DATABASE"),
               QStringLiteral("sqlite:") + scratch.filePath(QStringLiteral("none.db")));
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(scratch.path());
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(path, {QStringLiteral("--version")});
    if (!p.waitForStarted(VersionAnswerSeconds * 1000)) {
        *why = p.errorString();
        return QString();
    }
    if (!p.waitForFinished(VersionAnswerSeconds * 1000)) {
        p.kill();
        p.waitForFinished(5000);
        *why = QStringLiteral("не ответил за %1 с").arg(VersionAnswerSeconds);
        return QString();
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *why = p.exitStatus() == QProcess::NormalExit ? QStringLiteral("код завершения %1").arg(p.exitCode())
                                                      : QStringLiteral("аварийное завершение");
        return QString();
    }
    return QString::fromUtf8(p.readAllStandardOutput().left(4096)).trimmed();
}

void copyFile(const QString &from, const QString &to) {
    QFile in(from), out(to);
    if (!in.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Не удалось открыть файл «%1»: %2").arg(from, in.errorString()));
    if (in.size() > MaxProgramImageBytes)
        throw AppError(QStringLiteral("Файл «%1» больше %2 МБ").arg(from).arg(MaxProgramImageBytes >> 20));
    if (!out.open(QIODevice::WriteOnly))
        throw AppError(QStringLiteral("Не удалось создать файл «%1»: %2").arg(to, out.errorString()));
    qint64 total = 0;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(ProgramPartBytes);
        total += chunk.size();
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            throw AppError(QStringLiteral("Не удалось прочитать файл «%1»: %2").arg(from, in.errorString()));
        if (total > MaxProgramImageBytes)
            throw AppError(
                QStringLiteral("Файл «%1» больше %2 МБ").arg(from).arg(MaxProgramImageBytes >> 20));
        if (out.write(chunk) != chunk.size())
            throw AppError(QStringLiteral("Не удалось записать файл «%1»: %2").arg(to, out.errorString()));
    }
    out.close();
    out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// Stores the file as the image of `version` in parts; the row itself must be there.
void storeParts(Connection &cn, const QString &version, const QString &path, qint64 partBytes) {
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Не удалось открыть файл «%1»: %2").arg(path, in.errorString()));
    cn.execute(QStringLiteral("UPDATE ProgramVersion SET Programm = NULL WHERE Version = :V"),
               versionParam(version));
    cn.execute(QStringLiteral("DELETE FROM ProgramPart WHERE Version = :V"), versionParam(version));
    for (int number = 0; !in.atEnd(); ++number) {
        const QByteArray chunk = in.read(partBytes);
        if (chunk.isEmpty())
            throw AppError(QStringLiteral("Не удалось прочитать файл «%1»: %2").arg(path, in.errorString()));
        cn.execute(
            QStringLiteral("INSERT INTO ProgramPart (Version, Part, Data) VALUES (:V, :P, :D)"),
            {{QStringLiteral("V"), version}, {QStringLiteral("P"), number}, {QStringLiteral("D"), chunk}});
    }
}

} // namespace

QString NewestProgramVersion(Connection &cn) {
    return procedureValue(cn, QStringLiteral("CheckVersionMax;1"), {}, QStringLiteral("MaxVersion"))
        .toString();
}

QByteArray StoredProgram(Connection &cn, const QString &version) {
    return procedureValue(cn, QStringLiteral("CheckVersionProg;1"), {TypedValue::Text(version)},
                          QStringLiteral("Programm"))
        .toByteArray();
}

std::optional<QVariant> ReadStoredProgram(Connection &cn, const QString &version) {
    const ResultSet row = cn.query(QStringLiteral("SELECT Programm FROM ProgramVersion WHERE Version = :V"),
                                   versionParam(version));
    if (row.rows.empty())
        return std::nullopt;
    const QList<int> parts = partNumbers(cn, version);
    if (parts.isEmpty())
        return row.rows.front().front();
    QByteArray image;
    for (int number : parts)
        image += part(cn, version, number);
    return QVariant(image);
}

qint64 StoredProgramSize(Connection &cn, const QString &version) {
    if (hasParts(cn)) {
        const QVariant size =
            cn.scalar(QStringLiteral("SELECT sum(length(Data)) FROM ProgramPart WHERE Version = :V"),
                      versionParam(version));
        if (!size.isNull())
            return size.toLongLong();
    }
    const ResultSet row =
        cn.query(QStringLiteral("SELECT length(Programm) FROM ProgramVersion WHERE Version = :V"),
                 versionParam(version));
    if (row.rows.empty() || row.rows.front().front().isNull())
        return -1;
    return row.rows.front().front().toLongLong();
}

void WriteStoredProgram(Connection &cn, const QString &version, QIODevice &out) {
    const qint64 size = StoredProgramSize(cn, version);
    if (size <= 0)
        throw AppError(QStringLiteral("В базе данных нет файла версии %1").arg(version));
    if (size > MaxProgramImageBytes)
        throw AppError(QStringLiteral("Файл версии %1 в базе данных больше %2 МБ")
                           .arg(version)
                           .arg(MaxProgramImageBytes >> 20));
    auto put = [&](const QByteArray &bytes) {
        if (out.write(bytes) != bytes.size())
            throw AppError(
                QStringLiteral("Не удалось записать файл версии %1: %2").arg(version, out.errorString()));
    };
    const QList<int> parts = partNumbers(cn, version);
    if (parts.isEmpty()) {
        put(cn.scalar(QStringLiteral("SELECT Programm FROM ProgramVersion WHERE Version = :V"),
                      versionParam(version))
                .toByteArray());
        return;
    }
    for (int number : parts)
        put(part(cn, version, number));
}

bool IsExecutableOfThisPlatform(const QByteArray &head) {
#ifdef Q_OS_WIN
    return head.startsWith("MZ");
#else
    const QByteArray own = ownHeader();
    if (head.size() < 20 || own.size() < 20 || !IsNativeExecutable(head))
        return false;
    // e_ident: class (4), byte order (5), version (6); e_type (16-17) and e_machine (18-19).
    const bool little = head.at(5) == 1;
    const int type = little ? (uchar(head.at(16)) | uchar(head.at(17)) << 8)
                            : (uchar(head.at(17)) | uchar(head.at(16)) << 8);
    return head.at(4) == own.at(4) && head.at(5) == own.at(5) && head.at(6) == 1 &&
           head.mid(18, 2) == own.mid(18, 2) && (type == 2 || type == 3); // ET_EXEC, ET_DYN
#endif
}

void CheckProgramFile(const QString &path, ProgramKind kind, const QString &versionKey) {
    const QString what = describe(kind, versionKey);
    const bool updater = kind == ProgramKind::Updater;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Не удалось открыть файл «%1»: %2").arg(path, file.errorString()));
    if (file.size() == 0)
        throw AppError(what + (updater ? QStringLiteral(" пуста") : QStringLiteral(" пуст")));
    if (file.size() > MaxProgramImageBytes)
        throw AppError(QStringLiteral("%1 больше %2 МБ (%3 байт)")
                           .arg(what)
                           .arg(MaxProgramImageBytes >> 20)
                           .arg(file.size()));
    if (!IsExecutableOfThisPlatform(file.read(64)))
        throw AppError(what + QStringLiteral(" не является исполняемым файлом этой системы"));
    file.close();
    if (!updater) {
        const QString note = FileVersionNote(path);
        if (note.isEmpty())
            throw AppError(QStringLiteral("В файле программы нет отметки о версии; ожидалась версия %1")
                               .arg(versionKey));
        if (VersionKey(note) != versionKey)
            throw AppError(QStringLiteral("Файл программы имеет версию %1 (%2), а не %3")
                               .arg(note, VersionKey(note), versionKey));
    }

    QString why;
    const QString answer = versionAnswer(path, &why);
    if (!why.isEmpty())
        throw AppError(QStringLiteral("%1 не запускается (--version: %2)").arg(what, why));
    const QString name = updater ? QStringLiteral("velmora-update") : QStringLiteral("Velmora");
    const QStringList words = answer.split(u' ', Qt::SkipEmptyParts);
    const bool named = words.size() == 2 && words[0] == name;
    if (!named || (!updater && VersionKey(words[1]) != versionKey))
        throw AppError(QStringLiteral("%1 на --version ответил %2, а ожидалось «%3 %4»")
                           .arg(what, quoteInput(answer, 80), name,
                                updater ? QStringLiteral("ВЕРСИЯ") : FileVersionNote(path)));
}

QString PublishProgramVersion(Connection &cn, const ProgramPublication &publication) {
    static const QRegularExpression dotted(
        QStringLiteral("^[0-9]{1,9}\\.[0-9]{1,9}\\.[0-9]{1,9}\\.[0-9]{1,9}$"));
    if (!dotted.match(publication.version).hasMatch())
        throw AppError(
            QStringLiteral("Версия «%1» должна состоять из четырёх чисел через точку, например 1.2.3.4")
                .arg(publication.version));
    const QString key = VersionKey(publication.version);

    // What is checked is what is stored: private copies, which nobody can change in between.
    QTemporaryDir scratch;
    if (!scratch.isValid())
        throw AppError(QStringLiteral("Нет временной папки: %1").arg(scratch.errorString()));
    const QString program = scratch.filePath(QStringLiteral("Velmora"));
    const QString updater = scratch.filePath(QStringLiteral("velmora-update"));
    copyFile(publication.programFile, program);
    copyFile(publication.updaterFile, updater);
    CheckProgramFile(program, ProgramKind::Program, key);
    CheckProgramFile(updater, ProgramKind::Updater);
    StoreProgramVersion(cn, key, program, updater, publication.changes);
    return key;
}

void StoreProgramVersion(Connection &cn, const QString &key, const QString &programFile,
                         const QString &updaterFile, const QString &changes, qint64 partBytes) {
    // Both versions or neither; a version published again replaces its image and notes.
    Transaction tx(cn);
    cn.execute(
        QStringLiteral("INSERT INTO ProgramVersion (Version, Programm, [Change]) VALUES (:V, NULL, :C) "
                       "ON CONFLICT (Version) DO UPDATE SET Programm = NULL, [Change] = excluded.[Change]"),
        {{QStringLiteral("V"), key},
         {QStringLiteral("C"), changes.isEmpty() ? QVariant() : QVariant(changes)}});
    storeParts(cn, key, programFile, partBytes);
    cn.execute(QStringLiteral("INSERT INTO ProgramVersion (Version, Programm) VALUES (:V, NULL) "
                              "ON CONFLICT (Version) DO UPDATE SET Programm = NULL"),
               versionParam(UpdaterVersionName));
    storeParts(cn, UpdaterVersionName, updaterFile, partBytes);
    tx.commit();
}
