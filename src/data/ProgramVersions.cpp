#include "ProgramVersions.h"

#include "Connection.h"
#include "DataSet.h"
#include "Errors.h"
#include "TessalADO.h"
#include "TessalVersionInfo.h"

#include <QRegularExpression>

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

void CheckUpdaterImage(const QByteArray &image) {
    if (image.isEmpty())
        throw AppError(QStringLiteral("Программа обновления пуста"));
    if (!IsNativeExecutable(image))
        throw AppError(QStringLiteral("Программа обновления не является исполняемым файлом"));
}

void CheckProgramImage(const QByteArray &image, const QString &versionKey) {
    if (image.isEmpty())
        throw AppError(QStringLiteral("Файл программы версии %1 пуст").arg(versionKey));
    if (!IsNativeExecutable(image))
        throw AppError(
            QStringLiteral("Файл программы версии %1 не является исполняемым файлом").arg(versionKey));
    const QString note = VersionNoteOf(image);
    if (note.isEmpty())
        throw AppError(
            QStringLiteral("В файле программы нет отметки о версии; ожидалась версия %1").arg(versionKey));
    const QString own = VersionKey(note);
    if (own != versionKey)
        throw AppError(
            QStringLiteral("Файл программы имеет версию %1 (%2), а не %3").arg(note, own, versionKey));
}

QString PublishProgramVersion(Connection &cn, const ProgramPublication &publication) {
    static const QRegularExpression dotted(
        QStringLiteral("^[0-9]{1,9}\\.[0-9]{1,9}\\.[0-9]{1,9}\\.[0-9]{1,9}$"));
    if (!dotted.match(publication.version).hasMatch())
        throw AppError(
            QStringLiteral("Версия «%1» должна состоять из четырёх чисел через точку, например 1.2.3.4")
                .arg(publication.version));
    const QString key = VersionKey(publication.version);
    CheckProgramImage(publication.program, key);
    CheckUpdaterImage(publication.updater);

    // Both rows or neither; a version published again replaces its image and notes.
    Transaction tx(cn);
    cn.execute(
        QStringLiteral("INSERT INTO ProgramVersion (Version, Programm, [Change]) VALUES (:V, :P, :C) "
                       "ON CONFLICT (Version) DO UPDATE SET Programm = excluded.Programm, "
                       "[Change] = excluded.[Change]"),
        {{QStringLiteral("V"), key},
         {QStringLiteral("P"), publication.program},
         {QStringLiteral("C"), publication.changes.isEmpty() ? QVariant() : QVariant(publication.changes)}});
    cn.execute(QStringLiteral("INSERT INTO ProgramVersion (Version, Programm) VALUES (:V, :P) "
                              "ON CONFLICT (Version) DO UPDATE SET Programm = excluded.Programm"),
               {{QStringLiteral("V"), UpdaterVersionName}, {QStringLiteral("P"), publication.updater}});
    tx.commit();
    return key;
}
