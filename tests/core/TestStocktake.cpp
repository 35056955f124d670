// Stocktaking on both engines: scanned codes found, missing, kept elsewhere, unknown and repeated;
// a count resumed from another connection, finished and frozen; moving a device here; two
// workstations scanning one count at once; the label codes.
#include "TestDatabase.h"
#include "ToolRun.h"
#include "data/Errors.h"
#include "data/Procedures.h"
#include "model/LabelCode.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

namespace {

class StocktakeTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        kind = insert("Kind", {{"KindType", "D"}, {"KindName", "Компьютер"}}).toInt();
        const int hw = insert("Kind", {{"KindType", "H"}, {"KindName", "Диск"}}).toInt();
        const int disk =
            insert("Model", {{"ModlKind", hw}, {"ModlName", "WD Blue"}, {"ModlNameOnly", true}}).toInt();
        office = insert("Department", {{"DprtName", "Бухгалтерия"}}).toInt();
        const int till = insert("Department", {{"DprtName", "Касса"}, {"DprtIdHigher", office}}).toInt();
        store = insert("Department", {{"DprtName", "Склад"}}).toInt();
        room = insert("Workplace", {{"WrkpIdDepartment", office}, {"WrkpName", "Кабинет 1"}}).toInt();
        tillDesk = insert("Workplace", {{"WrkpIdDepartment", till}, {"WrkpName", "Окно 2"}}).toInt();
        shelf = insert("Workplace", {{"WrkpIdDepartment", store}, {"WrkpName", "Стеллаж"}}).toInt();
        pc = device(room, "ПК бухгалтера", "INV-001");
        noNumber = device(room, "Монитор", {});
        lost = device(room, "Принтер", "INV-003");
        stray = device(shelf, "Ноутбук", "INV-004");
        tillPc = device(tillDesk, "ПК кассира", "INV-005");
        serialDisk =
            insert("CompleteSet", {{"CmplIdDevice", pc}, {"CmplIdModel", disk}, {"NumberManufact", "SN-1"}})
                .toInt();
        strayDisk = insert("CompleteSet",
                           {{"CmplIdDevice", stray}, {"CmplIdModel", disk}, {"NumberManufact", "SN-4"}})
                        .toInt();
    }

    int device(int workplace, const char *name, const QVariant &number) {
        return insert("DeviceUnit", {{"DevcIdWorkplace", workplace},
                                     {"DevcName", QString::fromUtf8(name)},
                                     {"DevcIdKind", kind},
                                     {"DevcNumber", number}})
            .toInt();
    }

    // Runs a procedure; its output parameters come back in `outs` by name.
    static ResultSet call(Connection &c, const char *proc, const QVariantMap &args,
                          QVariantMap *outs = nullptr) {
        QVector<Parameter> params = procedureParameters(QString::fromLatin1(proc));
        for (Parameter &p : params)
            if (args.contains(p.name))
                p.value = args.value(p.name);
        ResultSet rs = callProcedure(c, QString::fromLatin1(proc), params);
        if (outs)
            for (const Parameter &p : params)
                if (p.direction == ParamDirection::Output)
                    outs->insert(p.name, p.value);
        return rs;
    }
    ResultSet call(const char *proc, const QVariantMap &args, QVariantMap *outs = nullptr) {
        return call(cn(), proc, args, outs);
    }
    QString refusal(const char *proc, const QVariantMap &args) {
        try {
            call(proc, args);
        } catch (const AppError &e) {
            return e.message();
        }
        return {};
    }

    int start(const char *column, int place, bool elements = false, Connection *c = nullptr) {
        QVariantMap outs;
        call(c ? *c : cn(), "StocktakeStart", {{column, place}, {"@Elements", int(elements)}}, &outs);
        return outs.value("@IdStocktake").toInt();
    }
    // A scan's result letter and times.
    std::pair<QString, int> scan(int count, const QString &code, Connection *c = nullptr) {
        QVariantMap outs;
        call(c ? *c : cn(), "StocktakeScan", {{"@ID", count}, {"@Code", code}}, &outs);
        return {outs.value("@Result").toString(), outs.value("@Times").toInt()};
    }
    // The list as code -> state letter.
    QMap<QString, QString> states(int count) {
        QMap<QString, QString> out;
        const ResultSet rs = call("StocktakeList", {{"@ID", count}});
        for (size_t i = 0; i < rs.rows.size(); ++i)
            out.insert(rs.value(i, QStringLiteral("Code")).toString(),
                       rs.value(i, QStringLiteral("Result")).toString());
        return out;
    }
    QString v(int key) { return MakeLabelCode({}, key); }

    int kind = 0, office = 0, store = 0, room = 0, tillDesk = 0, shelf = 0;
    int pc = 0, noNumber = 0, lost = 0, stray = 0, tillPc = 0, serialDisk = 0, strayDisk = 0;
};

TEST_P(StocktakeTest, EachScanTellsWhatTheCodeIs) {
    const int count = start("@Workplace", room);
    const struct {
        QString code;
        const char *result;
        int times;
    } scans[] = {
        {"INV-001", "F", 1},
        {v(noNumber), "F", 1},               // a device without a number by its key
        {"INV-004", "P", 1},                 // kept at the store
        {"NOPE-9", "U", 1},                  // nothing in the database
        {"INV-001", "F", 2},                 // repeated: counted once
        {"  INV-001 ", "F", 3},              // blanks the scanner adds
        {QStringLiteral("ШТМ-001"), "F", 4}, // typed with the Russian layout on
        {QStringLiteral("м%1").arg(noNumber), "F", 2},
        {"SN-4", "P", 1},                    // an element with its serial number, in a device elsewhere
        {"v" + QString::number(pc), "U", 1}, // a device with a number is not named by its key
        {"V0" + QString::number(noNumber), "U", 1}, // no label prints a key with a leading zero
    };
    for (const auto &s : scans)
        EXPECT_EQ(scan(count, s.code), std::make_pair(QString::fromLatin1(s.result), s.times))
            << s.code.toStdString();

    const QMap<QString, QString> expected{{"INV-001", "F"},
                                          {v(noNumber), "F"},
                                          {"INV-003", "N"},
                                          {"INV-004", "P"},
                                          {"NOPE-9", "U"},
                                          {"SN-4", "P"},
                                          {"v" + QString::number(pc), "U"},
                                          {"V0" + QString::number(noNumber), "U"}};
    EXPECT_EQ(states(count), expected);

    const ResultSet rs = call("StocktakeList", {{"@ID", count}});
    // The codes the list expects are the codes the labels print.
    for (size_t i = 0; i < rs.rows.size(); ++i)
        if (rs.value(i, QStringLiteral("Kind")).toString() == u"V") {
            const QVariant id = rs.value(i, QStringLiteral("ObjectId"));
            EXPECT_EQ(
                rs.value(i, QStringLiteral("Code")).toString(),
                MakeLabelCode(
                    scalar("SELECT DevcNumber FROM DeviceUnit WHERE IdDevice = :V", {{"V", id}}).toString(),
                    id.toInt()));
        }
    for (size_t i = 0; i < rs.rows.size(); ++i)
        if (rs.value(i, QStringLiteral("Code")).toString() == u"INV-004") {
            EXPECT_EQ(rs.value(i, QStringLiteral("State")).toString(), QStringLiteral("не на своём месте"));
            EXPECT_EQ(rs.value(i, QStringLiteral("Place")).toString(), QStringLiteral("Склад / Стеллаж"));
            EXPECT_EQ(rs.value(i, QStringLiteral("Name")).toString(), QStringLiteral("Ноутбук"));
        }
}

TEST_P(StocktakeTest, BadScansAreRefusedWithAMessage) {
    const int count = start("@Workplace", room);
    EXPECT_EQ(refusal("StocktakeScan", {{"@ID", count}, {"@Code", "   "}}),
              QStringLiteral("Пустой код: отсканируйте этикетку ещё раз"));
    EXPECT_TRUE(refusal("StocktakeScan", {{"@ID", count}, {"@Code", QString(51, u'7')}})
                    .startsWith("Код длиннее 50"));
    EXPECT_TRUE(refusal("StocktakeScan", {{"@ID", count + 100}, {"@Code", "INV-001"}})
                    .startsWith("Инвентаризация не найдена"));
    EXPECT_EQ(refusal("StocktakeStart", {}),
              QStringLiteral("Выберите подразделение или рабочее место для инвентаризации"));
    EXPECT_EQ(refusal("StocktakeStart", {{"@Department", office}, {"@Workplace", room}}),
              QStringLiteral("Выберите подразделение или рабочее место для инвентаризации"));
    EXPECT_TRUE(
        refusal("StocktakeStart", {{"@Workplace", room + 100}}).startsWith("Рабочее место не найдено"));
    EXPECT_EQ(scalar("SELECT count(*) FROM StocktakeScan").toInt(), 0);
}

TEST_P(StocktakeTest, ADepartmentCountsWhatStandsUnderItWithElementsWhenAsked) {
    const int count = start("@Department", office, true);
    EXPECT_EQ(scan(count, "INV-005").first, "F") << "a workplace of a department under it";
    EXPECT_EQ(scan(count, "SN-1").first, "F");
    EXPECT_EQ(scan(count, "INV-004").first, "P");
    const QMap<QString, QString> expected{{"INV-001", "N"}, {v(noNumber), "N"}, {"INV-003", "N"},
                                          {"INV-005", "F"}, {"SN-1", "F"},      {"INV-004", "P"}};
    EXPECT_EQ(states(count), expected);
    // Without elements the serial numbers are not expected.
    const int plain = start("@Workplace", room, false);
    EXPECT_FALSE(states(plain).contains("SN-1"));
}

TEST_P(StocktakeTest, ACountIsResumedAndFrozenWhenFinished) {
    const int count = start("@Workplace", room);
    scan(count, "INV-001");
    scan(count, "INV-004");
    // The window closed midway; another workstation opens the same place.
    auto other = db->connect();
    QVariantMap again;
    call(*other, "StocktakeStart", {{"@Workplace", room}}, &again);
    EXPECT_EQ(again.value("@IdStocktake").toInt(), count);
    EXPECT_EQ(again.value("@Resumed").toInt(), 1);
    EXPECT_EQ(scan(count, "INV-001", other.get()), std::make_pair(QStringLiteral("F"), 2));
    const QMap<QString, QString> before{
        {"INV-001", "F"}, {v(noNumber), "N"}, {"INV-003", "N"}, {"INV-004", "P"}};
    EXPECT_EQ(states(count), before);

    call(*other, "StocktakeFinish", {{"@ID", count}});
    call("StocktakeFinish", {{"@ID", count}}); // a second finish changes nothing
    EXPECT_EQ(states(count), before);
    EXPECT_TRUE(refusal("StocktakeScan", {{"@ID", count}, {"@Code", "INV-003"}})
                    .startsWith("Инвентаризация уже завершена"));
    // Moves after the end do not change what the count found.
    cn().execute("UPDATE DeviceUnit SET DevcIdWorkplace = :W WHERE IdDevice = :V", {{"W", shelf}, {"V", pc}});
    cn().execute("DELETE FROM CompleteSet WHERE IdComponent = :E", {{"E", strayDisk}});
    EXPECT_EQ(states(count), before);

    QVariantMap next;
    call("StocktakeStart", {{"@Workplace", room}}, &next);
    EXPECT_NE(next.value("@IdStocktake").toInt(), count);
    EXPECT_EQ(next.value("@Resumed").toInt(), 0);
    EXPECT_EQ(call("StocktakeCounts", {{"@Workplace", room}}).rows.size(), 2u);
}

TEST_P(StocktakeTest, MovingHereKeepsTheDevicesHistory) {
    const int count = start("@Workplace", room);
    scan(count, "INV-004");
    call("StocktakeMoveHere", {{"@ID", count}, {"@Device", stray}});
    EXPECT_EQ(scalar("SELECT DevcIdWorkplace FROM DeviceUnit WHERE IdDevice = :V", {{"V", stray}}).toInt(),
              room);
    EXPECT_EQ(scalar("SELECT Place FROM ElementMove WHERE IdComponent = :E", {{"E", strayDisk}}).toString(),
              QStringLiteral("Бухгалтерия / Кабинет 1 / Ноутбук"));
    EXPECT_EQ(
        scalar("SELECT count(*) FROM Journal WHERE TableName = 'DeviceUnit' AND RowKey = :V AND Act = 'U'",
               {{"V", stray}})
            .toInt(),
        1);
    EXPECT_EQ(states(count).value("INV-004"), "F");

    // A department's count asks which of its workplaces.
    const int wide = start("@Department", office);
    const int other = device(shelf, "Сканер", "INV-010");
    scan(wide, "INV-010");
    EXPECT_TRUE(refusal("StocktakeMoveHere", {{"@ID", wide}, {"@Device", other}})
                    .startsWith("Выберите рабочее место"));
    EXPECT_TRUE(refusal("StocktakeMoveHere", {{"@ID", wide}, {"@Device", other}, {"@Workplace", shelf}})
                    .startsWith("Выберите рабочее место"));
    call("StocktakeMoveHere", {{"@ID", wide}, {"@Device", other}, {"@Workplace", tillDesk}});
    EXPECT_EQ(scalar("SELECT DevcIdWorkplace FROM DeviceUnit WHERE IdDevice = :V", {{"V", other}}).toInt(),
              tillDesk);
}

TEST_P(StocktakeTest, TwoWorkstationsScanOneCountAtOnce) {
    const QStringList codes = {"INV-001", "INV-003", "INV-004", "NOPE-1", v(noNumber), "NOPE-2"};
    constexpr int Rounds = 3;
    std::atomic<int> ready{0};
    std::vector<QString> failures(2);
    std::vector<int> counts(2);
    std::vector<std::thread> threads;
    for (int w = 0; w < 2; ++w)
        threads.emplace_back([&, w] {
            try {
                auto c = db->connect();
                ++ready;
                while (ready.load() < 2)
                    std::this_thread::yield();
                counts[size_t(w)] = start("@Workplace", room, false, c.get());
                for (int r = 0; r < Rounds; ++r)
                    for (const QString &code : codes)
                        scan(counts[size_t(w)], code, c.get());
            } catch (const AppError &e) {
                failures[size_t(w)] = e.message();
            }
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(failures, (std::vector<QString>(2)));
    EXPECT_EQ(counts[0], counts[1]) << "both joined one count";
    EXPECT_EQ(scalar("SELECT count(*) FROM Stocktake").toInt(), 1);
    EXPECT_EQ(scalar("SELECT count(*) FROM StocktakeScan").toInt(), codes.size());
    EXPECT_EQ(scalar("SELECT sum(Times) FROM StocktakeScan").toInt(), 2 * Rounds * codes.size());
    const QMap<QString, QString> expected{{"INV-001", "F"}, {v(noNumber), "F"}, {"INV-003", "F"},
                                          {"INV-004", "P"}, {"NOPE-1", "U"},    {"NOPE-2", "U"}};
    EXPECT_EQ(states(counts[0]), expected);
}

TEST_P(StocktakeTest, TheDatabaseHoldsACountsRules) {
    const char *bad[] = {
        "INSERT INTO Stocktake (StckPerson) VALUES ('x')", // no place
        "INSERT INTO Stocktake (StckIdDepartment, StckIdWorkplace, StckPerson) VALUES (%1, %2, 'x')",
        "INSERT INTO Stocktake (StckIdWorkplace, StckPerson, StckStarted, StckFinished) VALUES (%2, 'x', "
        "'2026-05-02 10:00:00', '2026-05-01 10:00:00')",
    };
    for (const char *sql : bad)
        EXPECT_THROW(cn().execute(QString::fromLatin1(sql)
                                      .replace("%1", QString::number(office))
                                      .replace("%2", QString::number(room))),
                     DatabaseError)
            << sql;
    const int count = start("@Workplace", room);
    EXPECT_THROW(
        cn().execute("INSERT INTO Stocktake (StckIdWorkplace, StckPerson) VALUES (:W, 'x')", {{"W", room}}),
        DatabaseError)
        << "one open count per place";
    EXPECT_THROW(cn().execute("INSERT INTO StocktakeScan (IdStocktake, Code, Result) VALUES (:C, 'A', 'X')",
                              {{"C", count}}),
                 DatabaseError);
    // Deleting the place takes its counts with it.
    scan(count, "INV-004");
    cn().execute("DELETE FROM CompleteSet WHERE CmplIdDevice IN (SELECT IdDevice FROM DeviceUnit WHERE "
                 "DevcIdWorkplace = :W)",
                 {{"W", room}});
    cn().execute("DELETE FROM DeviceUnit WHERE DevcIdWorkplace = :W", {{"W", room}});
    cn().execute("DELETE FROM Workplace WHERE IdWorkplace = :W", {{"W", room}});
    EXPECT_EQ(scalar("SELECT count(*) FROM StocktakeScan").toInt(), 0);
}

VELMORA_BOTH_ENGINES(StocktakeTest);

} // namespace

// ---- velmora-db stocktake, run as a process --------------------------------------------------------

class StocktakeToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_tool = ToolPath();
        if (!QFileInfo(m_tool).isExecutable())
            GTEST_SKIP() << "velmora-db is not built beside the tests";
        m_db = "sqlite:" + m_dir.filePath("demo.db");
        ASSERT_EQ(run({"--database", m_db, "create", "--demo"}).first, 0);
    }

    std::pair<int, QString> run(const QStringList &args) {
        const ToolRun r = RunProgram(m_tool, args);
        return {r.exitCode, r.out + r.err};
    }
    QString file(const QString &name, const QByteArray &text) {
        QFile f(m_dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return f.fileName();
    }
    QVariant sql(const QString &statement) {
        Connection c;
        c.open(m_db);
        return c.scalar(statement);
    }

    QString m_tool, m_db;
    QTemporaryDir m_dir;
};

TEST_F(StocktakeToolTest, BringsAFileOfCodesIntoACount) {
    const QString workplace =
        sql("SELECT DevcIdWorkplace FROM DeviceUnit WHERE DevcNumber = '000110'").toString();
    const QString expected =
        sql("SELECT count(*) FROM DeviceUnit WHERE DevcIdWorkplace = " + workplace).toString();
    const QString codes = file("codes.txt", "\xEF\xBB\xBF"
                                            "000110\r\n000110\n  000103 \n\nZZZ-1\n");
    const QString pdf = m_dir.filePath("count.pdf");
    const auto [code, out] = run({"--database", m_db, "stocktake", "--workplace", workplace, "--codes", codes,
                                  "--finish", "--pdf", pdf});
    ASSERT_EQ(code, 0) << out.toStdString();
    const QString totals =
        QStringLiteral("Итого: Найдено: 1, не найдено: %1, не на своём месте: 1, нет в базе: 1")
            .arg(expected.toInt() - 1);
    EXPECT_TRUE(out.contains(totals)) << out.toStdString();
    EXPECT_TRUE(out.contains("(завершена), кодов в файле: 4")) << out.toStdString();
    EXPECT_TRUE(out.contains("  ZZZ-1\n")) << out.toStdString();
    EXPECT_TRUE(
        out.contains(QRegularExpression("\n  000103\t[^\n]*\tАдминистрация / Приёмная / Секретарь\n")))
        << out.toStdString();

    QProcess text;
    text.start("pdftotext", {"-layout", pdf, "-"});
    if (text.waitForFinished(30000) && text.exitCode() == 0) {
        const QString words = QString::fromUtf8(text.readAllStandardOutput());
        for (const char *w : {"Инвентаризация", "не на своём месте", "нет в базе", "Проверил", "Найдено: 1"})
            EXPECT_TRUE(words.contains(QString::fromUtf8(w))) << w;
    }

    const struct {
        const char *what;
        QStringList args;
        const char *message;
    } refused[] = {
        {"no place", {"stocktake", "--codes", codes}, "не указано место"},
        {"two places",
         {"stocktake", "--workplace", "1", "--department", "1", "--codes", codes},
         "укажите одно место"},
        {"no file", {"stocktake", "--workplace", workplace}, "не указан файл кодов"},
        {"a bad key", {"stocktake", "--workplace", "x1", "--codes", codes}, "нужен ключ записи"},
        {"a missing file",
         {"stocktake", "--workplace", workplace, "--codes", m_dir.filePath("none.txt")},
         "Не удалось прочитать файл кодов"},
        {"a line too long",
         {"stocktake", "--workplace", workplace, "--codes",
          file("long.txt", "000110\n" + QByteArray(60, '7') + "\n")},
         "строки длиннее 50 символов (таких кодов на этикетках нет): 2; ничего не записано"},
        {"not UTF-8",
         {"stocktake", "--workplace", workplace, "--codes", file("latin.txt", "000110\n\xC0\xE1\n")},
         "не в кодировке UTF-8"},
        {"a workplace not there",
         {"stocktake", "--workplace", "999999", "--codes", codes},
         "Рабочее место не найдено"},
    };
    const int scans = sql("SELECT count(*) FROM StocktakeScan").toInt();
    for (const auto &r : refused) {
        QStringList args{"--database", m_db};
        args << r.args;
        const auto [rc, text] = run(args);
        EXPECT_NE(rc, 0) << r.what;
        EXPECT_TRUE(text.contains(QString::fromUtf8(r.message))) << r.what << ": " << text.toStdString();
    }
    EXPECT_EQ(sql("SELECT count(*) FROM StocktakeScan").toInt(), scans) << "a refused file writes nothing";
}
