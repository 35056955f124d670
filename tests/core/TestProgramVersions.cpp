// Publishing program versions and reading them back through the version procedures, on both engines.
#include "Errors.h"
#include "ProgramVersions.h"
#include "TessalVersionInfo.h"
#include "TestDatabase.h"

namespace {

// An executable image of this platform that carries the version note `version`.
QByteArray image(const QString &version, const QByteArray &filler = "code") {
    return QByteArray("\x7F"
                      "ELF\x02\x01\x01",
                      7) +
           QByteArray(57, '\0') + filler + QByteArray("VELMORA-VERSION:") + version.toLatin1() +
           QByteArray(1, '\0') + QByteArray(16, '\x90');
}

class ProgramVersionsTest : public ServerTest {
protected:
    QString change(const QString &key) {
        return cn()
            .scalar(QStringLiteral("SELECT [Change] FROM ProgramVersion WHERE Version = :V"),
                    {{QStringLiteral("V"), key}})
            .toString();
    }
    int rows() { return cn().scalar(QStringLiteral("SELECT count(*) FROM ProgramVersion")).toInt(); }

    const QByteArray updater = QByteArray("\x7F"
                                          "ELF\x02\x01\x01",
                                          7) +
                               QByteArray(200, 'u');
};

TEST_P(ProgramVersionsTest, NothingPublishedOnANewDatabase) {
    EXPECT_EQ(NewestProgramVersion(cn()), QString());
    EXPECT_EQ(StoredProgram(cn(), UpdaterVersionName), QByteArray());
}

TEST_P(ProgramVersionsTest, PublishStoresTheVersionAndTheUpdater) {
    const QByteArray program = image(QStringLiteral("1.2.3.4"));
    EXPECT_EQ(PublishProgramVersion(
                  cn(), {QStringLiteral("1.2.3.4"), program, updater, QStringLiteral("Первая версия")}),
              QStringLiteral("1.3.00200004"));
    EXPECT_EQ(NewestProgramVersion(cn()), QStringLiteral("1.3.00200004"));
    EXPECT_EQ(StoredProgram(cn(), QStringLiteral("1.3.00200004")), program);
    EXPECT_EQ(StoredProgram(cn(), UpdaterVersionName), updater);
    EXPECT_EQ(change(QStringLiteral("1.3.00200004")), QStringLiteral("Первая версия"));

    // A newer version becomes the newest; the updater is replaced, the older version kept.
    const QByteArray newer = image(QStringLiteral("1.2.3.10"), "newer code");
    const QByteArray newUpdater = updater + "2";
    PublishProgramVersion(cn(), {QStringLiteral("1.2.3.10"), newer, newUpdater, QString()});
    EXPECT_EQ(NewestProgramVersion(cn()), QStringLiteral("1.3.00200010"));
    EXPECT_EQ(StoredProgram(cn(), UpdaterVersionName), newUpdater);
    EXPECT_EQ(StoredProgram(cn(), QStringLiteral("1.3.00200004")), program);
    EXPECT_EQ(rows(), 3);

    // The same version published again replaces its image and notes.
    const QByteArray rebuilt = image(QStringLiteral("1.2.3.10"), "rebuilt code");
    PublishProgramVersion(cn(),
                          {QStringLiteral("1.2.3.10"), rebuilt, newUpdater, QStringLiteral("Исправлено")});
    EXPECT_EQ(StoredProgram(cn(), QStringLiteral("1.3.00200010")), rebuilt);
    EXPECT_EQ(change(QStringLiteral("1.3.00200010")), QStringLiteral("Исправлено"));
    EXPECT_EQ(rows(), 3);
}

TEST_P(ProgramVersionsTest, RefusedPublicationsStoreNothing) {
    const struct {
        const char *what;
        ProgramPublication publication;
        const char *message;
    } cases[] = {
        {"version not four numbers",
         {QStringLiteral("1.2.3"), image(QStringLiteral("1.2.3")), updater, {}},
         "должна состоять из четырёх чисел"},
        {"version with letters",
         {QStringLiteral("1.2.3.x"), image(QStringLiteral("1.2.3.0")), updater, {}},
         "должна состоять из четырёх чисел"},
        {"empty program", {QStringLiteral("1.2.3.4"), QByteArray(), updater, {}}, "пуст"},
        {"program that is no executable",
         {QStringLiteral("1.2.3.4"),
          QByteArray("#!/bin/sh\n") + image(QStringLiteral("1.2.3.4")),
          updater,
          {}},
         "не является исполняемым файлом"},
        {"program without a version note",
         {QStringLiteral("1.2.3.4"), updater, updater, {}},
         "нет отметки о версии"},
        // Every workstation would update again at each start: the image is of another version.
        {"program of another version",
         {QStringLiteral("1.2.3.5"), image(QStringLiteral("1.2.3.4")), updater, {}},
         "имеет версию 1.2.3.4"},
        {"empty updater",
         {QStringLiteral("1.2.3.4"), image(QStringLiteral("1.2.3.4")), QByteArray(), {}},
         "пуста"},
        {"updater that is no executable",
         {QStringLiteral("1.2.3.4"), image(QStringLiteral("1.2.3.4")), QByteArray("MZ"), {}},
         "не является исполняемым файлом"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        try {
            PublishProgramVersion(cn(), c.publication);
            ADD_FAILURE() << "accepted";
        } catch (const AppError &e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.message))) << e.message().toStdString();
        }
        EXPECT_EQ(rows(), 0);
    }
}

TEST_P(ProgramVersionsTest, UpdaterRowIsNeverTheNewest) {
    PublishProgramVersion(cn(), {QStringLiteral("1.0.0.1"), image(QStringLiteral("1.0.0.1")), updater, {}});
    // "update" sorts after every key by text, and still is not a version.
    EXPECT_EQ(NewestProgramVersion(cn()), QStringLiteral("1.0.00000001"));
}

VELMORA_BOTH_ENGINES(ProgramVersionsTest);

} // namespace
