// The ping sweep and the domain account scan without a window: name checks, real ICMP echoes on
// loopback and in a private network, the sweep's lines, flags and log file, and a real LDAP
// directory read page by page.
#include "NetTestSupport.h"
#include "TestDatabase.h"
#include "data/DataSet.h"
#include "data/Errors.h"
#include "netscan/DomainScan.h"
#include "netscan/PingSweep.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <linux/capability.h>
#include <netinet/in.h>
#include <numeric>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <thread>

namespace {

TEST(NetResolve, NamesThatCannotBeHostsFailWithoutAnyLookup) {
    FakeNames names({{"dir-pc01", "127.0.0.5"}});
    struct Case {
        QString name;
        bool resolves;
        bool looksUp;
    };
    const Case cases[] = {
        {"127.0.0.1", true, false},
        {"dir-pc01", true, true},
        {"dir-pc01.korvant.local.", false, true},
        {"unknown-pc", false, true},
        {QString(300, u'a'), false, false},
        {QString(64, u'a') + ".local", false, false},
        {"my pc", false, false},
        {" 127.0.0.1", false, false},
        {QString::fromUtf8("компьютер"), false, false},
        {"pc\xC3\xA9", false, false},
        {"", false, false},
        {"a..b", false, false},
        {"-pc", false, false},
        {"pc;rm", false, false},
    };
    for (const Case &c : cases) {
        names.asked.clear();
        const auto address = ResolveHost(c.name);
        EXPECT_EQ(address.has_value(), c.resolves) << c.name.toStdString();
        EXPECT_EQ(!names.asked.isEmpty(), c.looksUp) << c.name.toStdString();
    }
    EXPECT_EQ(Ipv4Text(*ResolveHost("dir-pc01")), "127.0.0.5");
}

struct EchoRun {
    QVector<EchoStatus> status;
    QVector<int> sentOrder;
    QString socketKind;
};

EchoRun ping(const QStringList &hosts, int timeoutMs = 1000, int maxInFlight = 256) {
    EchoRun r;
    r.status.fill(EchoStatus::Pending, hosts.size());
    IcmpEcho echo;
    echo.timeoutMs = timeoutMs;
    echo.maxInFlight = maxInFlight;
    echo.run(
        hosts, [&](int i) { r.sentOrder << i; },
        [&](int i, EchoStatus s) {
            EXPECT_EQ(r.status[i], EchoStatus::Pending) << "host " << i << " finished twice";
            EXPECT_TRUE(r.sentOrder.contains(i)) << "host " << i << " finished before it was sent";
            r.status[i] = s;
        });
    r.socketKind = echo.socketKind();
    return r;
}

// Runs `work` on a thread of its own without CAP_NET_RAW (capabilities belong to a thread): the
// thread then stands for a user who may open no raw ICMP socket. False when a datagram ICMP socket
// is allowed all the same (net.ipv4.ping_group_range), so that no such user can be made here.
bool runWithoutIcmpRights(const std::function<void()> &work) {
    const int probe = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP);
    if (probe >= 0) {
        ::close(probe);
        return false;
    }
    std::thread t([&] {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        if (::syscall(SYS_capget, &header, data) == 0) {
            data[0].effective &= ~(1u << CAP_NET_RAW);
            ::syscall(SYS_capset, &header, data);
        }
        work();
    });
    t.join();
    return true;
}

TEST(NetEcho, LoopbackAnswersAndBadNamesAreNotHosts) {
    FakeNames names({{"loopback-pc", "127.0.0.2"}});
    const EchoRun r = ping({"127.0.0.1", "loopback-pc", "unknown-pc", QString(300, u'x'), "my pc",
                            QString::fromUtf8("бухгалтерия")});
    if (r.socketKind.isEmpty())
        GTEST_SKIP() << "no ICMP socket for this user (net.ipv4.ping_group_range, not root); "
                        "scripts/test.sh runs it as root";
    EXPECT_EQ(r.status, (QVector<EchoStatus>{EchoStatus::Reply, EchoStatus::Reply, EchoStatus::NotHost,
                                             EchoStatus::NotHost, EchoStatus::NotHost, EchoStatus::NotHost}));
    EXPECT_EQ(r.sentOrder, (QVector<int>{0, 1, 2, 3, 4, 5}));
}

TEST(NetEcho, SilentHostsTimeOutTogetherWithinTheBound) {
    SilentNetwork net;
    if (!net.ok())
        GTEST_SKIP() << net.why();
    // Forty silent hosts, at most eight in flight, among answering ones: every host gets exactly
    // its own outcome, and the order of sending is the list's.
    QStringList hosts;
    QVector<EchoStatus> expected;
    for (int i = 1; i <= 48; ++i) {
        const bool silent = i % 6 != 0;
        hosts << QStringLiteral("127.0.%1.%2").arg(silent ? 1 : 0).arg(i);
        expected << (silent ? EchoStatus::NoReply : EchoStatus::Reply);
    }
    // An echo the kernel refuses to send (a broadcast without the right to it) is "not host", its
    // line being made before it ends.
    hosts.insert(5, "255.255.255.255");
    expected.insert(5, EchoStatus::NotHost);
    const EchoRun r = ping(hosts, 300, 8);
    EXPECT_EQ(r.status, expected);
    QVector<int> inOrder(hosts.size());
    std::iota(inOrder.begin(), inOrder.end(), 0);
    EXPECT_EQ(r.sentOrder, inOrder);
}

TEST(NetEcho, SeveralHundredHostsLoseNoReplyAndSilenceGetsASecondTry) {
    SilentNetwork net;
    if (!net.ok())
        GTEST_SKIP() << net.why();
    // 127.0.5.1 drops its first echo only: the second try finds it on-line.
    ASSERT_EQ(std::system("nft add rule ip velmora in ip daddr 127.0.5.1 icmp type echo-request "
                          "quota until 40 bytes drop"),
              0);
    // 600 answering hosts among 200 silent ones, more than the socket's default buffer holds
    // replies for when the echoes go out in one burst.
    QStringList hosts;
    QVector<EchoStatus> expected;
    int silentSeen = 0;
    for (int i = 0; i < 800; ++i) {
        const bool silent = i % 4 == 1;
        hosts << (silent ? QStringLiteral("127.0.1.%1").arg(++silentSeen)
                         : QStringLiteral("127.0.%1.%2").arg(2 + i / 250).arg(i % 250 + 1));
        expected << (silent ? EchoStatus::NoReply : EchoStatus::Reply);
    }
    hosts << "127.0.5.1";
    expected << EchoStatus::Reply;
    IcmpEcho echo;
    echo.timeoutMs = 400;
    QVector<EchoStatus> status(hosts.size(), EchoStatus::Pending);
    echo.run(hosts, {}, [&](int i, EchoStatus s) { status[i] = s; });
    EXPECT_EQ(status, expected);
    EXPECT_EQ(echo.echoesSent(), 801 + 200 + 1) << "a second try for each silent host, none for the others";
}

TEST(NetEcho, NoSocketRightsThrowBeforeAnyHostIsTouched) {
    int calls = 0;
    QString message;
    const bool made = runWithoutIcmpRights([&] {
        IcmpEcho echo;
        try {
            echo.run(
                {"127.0.0.1"}, [&](int) { ++calls; }, [&](int, EchoStatus) { ++calls; });
        } catch (const EchoUnavailable &e) {
            message = e.message();
        }
    });
    if (!made)
        GTEST_SKIP() << "every user may open ICMP datagram sockets here (net.ipv4.ping_group_range)";
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(message.contains("setcap cap_net_raw+ep")) << message.toStdString();
    EXPECT_TRUE(message.contains("ping_group_range")) << message.toStdString();
}

class NetSweepTest : public ServerTest {
protected:
    QVariant device(const QVariant &domain, const QVariant &online = QVariant()) {
        if (!m_place.isValid()) {
            const QVariant d = insert("Department", {{"DprtName", "Отдел"}});
            m_place = insert("Workplace", {{"WrkpIdDepartment", d}, {"WrkpName", "Место"}});
        }
        return insert(
            "DeviceUnit",
            {{"DevcIdWorkplace", m_place}, {"DevcName", "ПК"}, {"Domain", domain}, {"OnLine", online}});
    }
    QVariant onLine(const QVariant &id) {
        return scalar("SELECT OnLine FROM DeviceUnit WHERE IdDevice = :ID", {{"ID", id}});
    }
    QVariant m_place;
};

TEST_P(NetSweepTest, LinesFlagsAndAnEditOnAnotherWorkstationSurvive) {
    const QVariant up = device("127.0.0.1", false), silent = device("127.0.1.7", true),
                   unknown = device("zz-unknown", true), spaced = device("my pc", true);
    device(QVariant()); // no network name: not swept
    FakeNames names;

    // Another workstation edits the silent device meanwhile.
    auto other = db->connect();
    DataSet edit(other.get());
    edit.setCommand("select * from DeviceUnit where IdDevice = :ID");
    edit.setParameterValue("ID", silent);
    edit.open();
    edit.edit();
    edit.fieldByName("DevcName")->setValue(QStringLiteral("Переименован"));

    SilentNetwork net;
    if (!net.ok())
        GTEST_SKIP() << net.why();
    PingSweep sweep;
    QVector<int> progress;
    sweep.progress = [&](int done, int total) {
        EXPECT_EQ(total, 4);
        progress << done;
    };
    sweep.run(cn());
    EXPECT_EQ(sweep.lines(),
              (QStringList{"Всего устройств: 4.", "127.0.0.1: on-line.", "127.0.1.7: off-line.",
                           "my pc: not host.", "zz-unknown: not host."}));
    EXPECT_EQ(progress, (QVector<int>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(onLine(up).toBool());
    for (const QVariant &id : {silent, unknown, spaced})
        EXPECT_FALSE(onLine(id).toBool());

    edit.post(); // the sweep wrote the flag alone: the edit is not in conflict and keeps it
    EXPECT_EQ(scalar("SELECT DevcName FROM DeviceUnit WHERE IdDevice = :ID", {{"ID", silent}}).toString(),
              "Переименован");
    EXPECT_FALSE(onLine(silent).toBool());
}

TEST_P(NetSweepTest, LogFileHoldsTheLinesButNotItsOwnNotice) {
    QTemporaryDir dir;
    PingSweep sweep;
    sweep.run(cn()); // no networked devices: the count line alone
    EXPECT_EQ(sweep.lines(), QStringList{"Всего устройств: 0."});
    const QDateTime at(QDate(2015, 3, 14), QTime(9, 26, 41));
    const QString file = sweep.writeLog(at, dir.path());
    EXPECT_EQ(QFileInfo(file).fileName(), "SC[2015.03.14 09=26].log");
    EXPECT_EQ(sweep.lines().back(), "Журнал записан в " + file + ".");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(),
              QByteArray("\xD0\x92\xD1\x81\xD0\xB5\xD0\xB3\xD0\xBE \xD1\x83\xD1\x81\xD1\x82\xD1\x80"
                         "\xD0\xBE\xD0\xB9\xD1\x81\xD1\x82\xD0\xB2: 0.\r\n"));
    f.close();

    // A second sweep in the same minute replaces the file.
    device("zz-unknown");
    FakeNames names;
    PingSweep again;
    again.run(cn());
    EXPECT_EQ(again.writeLog(at.addSecs(10), dir.path()), file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), "Всего устройств: 1.\r\nzz-unknown: not host.\r\n");

    // A folder that cannot be written is an error with the file's name, not a silent loss.
    EXPECT_THROW(again.writeLog(at, dir.filePath("missing/folder")), AppError);
}

TEST_P(NetSweepTest, WithoutSocketRightsNoFlagChangesAndTheReasonIsGiven) {
    const QVariant up = device("127.0.0.1", true), down = device("127.0.1.7", false),
                   unknown = device("zz-pc");
    FakeNames names;
    QStringList lines;
    QString message;
    const bool made = runWithoutIcmpRights([&] {
        auto own = db->connect(); // on this thread, as a workstation's own connection
        PingSweep sweep;
        try {
            sweep.run(*own);
        } catch (const EchoUnavailable &e) {
            message = e.message();
        }
        lines = sweep.lines();
    });
    if (!made)
        GTEST_SKIP() << "every user may open ICMP datagram sockets here (net.ipv4.ping_group_range)";
    EXPECT_TRUE(message.contains("Отметки «в сети» не изменены")) << message.toStdString();
    EXPECT_EQ(lines, QStringList{"Всего устройств: 3."}) << "no device is reported as off-line";
    EXPECT_TRUE(onLine(up).toBool());
    EXPECT_FALSE(onLine(down).toBool());
    EXPECT_TRUE(onLine(unknown).isNull());
}

// Makes the database refuse the OnLine flag of one device, as a write that fails in the middle of
// a sweep (a lock held past the time-out, a lost connection) does.
void refuseFlagOf(Connection &cn, const QVariant &device) {
    if (cn.engine() == Engine::SQLite) {
        cn.execute(QStringLiteral("CREATE TRIGGER trRefuse BEFORE UPDATE OF OnLine ON DeviceUnit WHEN "
                                  "NEW.IdDevice = %1 BEGIN SELECT RAISE(ABORT, 'database is locked'); END")
                       .arg(device.toInt()));
        return;
    }
    cn.execute(QStringLiteral("CREATE FUNCTION fnRefuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF "
                              "NEW.IdDevice = %1 THEN RAISE EXCEPTION 'database is locked'; END IF; RETURN "
                              "NEW; END $$")
                   .arg(device.toInt()));
    cn.execute(QStringLiteral(
        "CREATE TRIGGER trRefuse BEFORE UPDATE ON DeviceUnit FOR EACH ROW EXECUTE FUNCTION fnRefuse()"));
}

TEST_P(NetSweepTest, AFlagThatCannotBeWrittenEndsTheSweepAndKeepsTheFlagsBeforeIt) {
    // Names that do not resolve finish at once, in list order, so the failing write is the third.
    QVector<QVariant> devices;
    for (const char *name : {"zz-1", "zz-2", "zz-3", "zz-4"})
        devices << device(name, true);
    refuseFlagOf(cn(), devices[2]);
    FakeNames names;
    PingSweep sweep;
    try {
        sweep.run(cn());
        ADD_FAILURE() << "the sweep must end with the database's refusal";
    } catch (const EchoUnavailable &) {
        GTEST_SKIP() << "no ICMP socket for this user; scripts/test.sh runs it as root";
    } catch (const AppError &e) {
        EXPECT_TRUE(e.message().startsWith("Проверка прервана: отметку «в сети» устройства «zz-3»"))
            << e.message().toStdString();
        EXPECT_TRUE(e.message().contains("database is locked")) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains("(2 из 4)")) << e.message().toStdString();
    }
    EXPECT_FALSE(onLine(devices[0]).toBool());
    EXPECT_FALSE(onLine(devices[1]).toBool());
    EXPECT_TRUE(onLine(devices[2]).toBool());
    EXPECT_TRUE(onLine(devices[3]).toBool());
}

VELMORA_BOTH_ENGINES(NetSweepTest);

TEST(NetDirectory, SearchBaseFromTheDomainName) {
    const std::pair<QString, QString> cases[] = {{"KORVANT", "dc=korvant"},
                                                 {"corp.Example.com", "dc=corp,dc=example,dc=com"},
                                                 {" corp.local. ", "dc=corp,dc=local"}};
    for (const auto &[domain, base] : cases)
        EXPECT_EQ(SearchBaseForDomain(domain), base);
    EXPECT_EQ(LatinUpper(QString::fromUtf8("corp-Ёж")), QString::fromUtf8("CORP-Ёж"));
    EXPECT_EQ(LatinLower(QString::fromUtf8("IVANOV-Ёж")), QString::fromUtf8("ivanov-Ёж"));
}

TEST(NetDirectory, ReadsEveryPageOnce) {
    VELMORA_NEED_DIRECTORY();
    DirectoryOptions o = DirectoryOptions::forDomain("KORVANT");
    EXPECT_EQ(o.base, "dc=korvant");
    EXPECT_EQ(o.pageSize, 100);
    const DirectoryResult r = EnumNetUsers(testDirectory(), o);
    EXPECT_EQ(r.error, "");
    // 300 people and six special accounts, though the server answers 100 entries per search.
    EXPECT_EQ(r.lines.size(), 306);
    EXPECT_EQ(QSet<QString>(r.lines.begin(), r.lines.end()).size(), 306);
    for (const char *line : {"IVANOV|Иванов Иван", "Petrov|Петров Пётр Петрович", "svc-backup|",
                             "cash|Касса $ 1", "BUH-PC01$|BUH-PC01", "user00250|Сотрудник Номер 00250"})
        EXPECT_TRUE(r.lines.contains(QString::fromUtf8(line))) << line;

    // The administrator's bind works; a wrong password is refused and said so.
    o.bindDn = "cn=admin,dc=korvant";
    o.password = "secret";
    EXPECT_EQ(EnumNetUsers(testDirectory(), o).lines.size(), 306);
    o.password = "wrong";
    const DirectoryResult refused = EnumNetUsers(testDirectory(), o);
    EXPECT_TRUE(refused.lines.isEmpty());
    EXPECT_TRUE(refused.error.contains("отказал во входе")) << refused.error.toStdString();
}

class NetScanTest : public ServerTest {
protected:
    QStringList scan(const QString &domain, const QString &controller) {
        QStringList lines;
        DomainScan s;
        s.addLine = [&](const QString &l) { lines << l; };
        s.run(cn(), domain, controller, DirectoryOptions::forDomain(domain));
        return lines;
    }
    // The time of day in a line, "(12:34:56).", made comparable.
    static QString untimed(QString line) {
        static const QRegularExpression time(QStringLiteral("\\(\\d\\d:\\d\\d:\\d\\d\\)\\.$"));
        return line.replace(time, QStringLiteral("(T)."));
    }
};

TEST_P(NetScanTest, AccountsGoToTheServerAndMachineAccountsOnlyCount) {
    VELMORA_NEED_DIRECTORY();
    const QStringList lines = scan("korvant", testDirectory());
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(untimed(lines[0]),
              "Запрос учётных записей домена korvant, контроллер " + testDirectory() + " (T).");
    EXPECT_EQ(untimed(lines[1]), "Получено 306 записей (T).");
    EXPECT_EQ(lines.size(), 2 + 303); // the two machine accounts and the "$" name are skipped
    EXPECT_TRUE(lines.contains("KORVANT\\ivanov: добавлена"));
    EXPECT_FALSE(lines.filter("$").size());
    EXPECT_EQ(
        scalar("SELECT count(*) FROM [User] WHERE Domain = 'KORVANT' AND DomainSource = :T", {{"T", true}})
            .toInt(),
        303);
    EXPECT_EQ(scalar("SELECT Name FROM [User] WHERE [Login] = 'ivanov'").toString(), "Иванов Иван");
    EXPECT_EQ(scalar("SELECT Name FROM [User] WHERE [Login] = 'petrov'").toString(), "Петров Пётр Петрович");
    EXPECT_TRUE(scalar("SELECT Name FROM [User] WHERE [Login] = 'svc-backup'").isNull());

    const QStringList again = scan("korvant", testDirectory());
    EXPECT_EQ(again.size(), 305);
    EXPECT_EQ(again.filter("без изменений").size(), 303);
}

TEST_P(NetScanTest, UnreachableControllerAndTooLongADomain) {
    const QStringList lines = scan("KORVANT", "127.0.0.1:1");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[1].startsWith("Контроллер домена 127.0.0.1:1 недоступен")) << lines[1].toStdString();
    EXPECT_EQ(untimed(lines[2]), "Получено 0 записей (T).");

    QStringList none;
    DomainScan s;
    s.addLine = [&](const QString &l) { none << l; };
    EXPECT_THROW(s.run(cn(), QString(21, u'D'), "127.0.0.1:1", {}), AppError);
    EXPECT_TRUE(none.isEmpty());
    EXPECT_NO_THROW(DomainScan::checkDomain(QString(20, u'D')));
}

TEST_P(NetScanTest, AnAccountThatCannotBeWrittenEndsTheScanAndKeepsTheOnesBefore) {
    VELMORA_NEED_DIRECTORY();
    if (pg()) {
        cn().execute("CREATE FUNCTION fnRefuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN IF NEW.[Login] "
                     "= 'petrov' THEN RAISE EXCEPTION 'connection lost'; END IF; RETURN NEW; END $$");
        cn().execute(
            "CREATE TRIGGER trRefuse BEFORE INSERT ON [User] FOR EACH ROW EXECUTE FUNCTION fnRefuse()");
    } else {
        cn().execute("CREATE TRIGGER trRefuse BEFORE INSERT ON [User] WHEN NEW.[Login] = 'petrov' BEGIN "
                     "SELECT RAISE(ABORT, 'connection lost'); END");
    }
    QStringList lines;
    DomainScan s;
    s.addLine = [&](const QString &l) { lines << l; };
    try {
        s.run(cn(), "KORVANT", testDirectory(), DirectoryOptions::forDomain("KORVANT"));
        ADD_FAILURE() << "the scan must end with the database's refusal";
    } catch (const AppError &e) {
        EXPECT_TRUE(e.message().startsWith("Обработка прервана на учётной записи «Petrov»"))
            << e.message().toStdString();
        EXPECT_TRUE(e.message().contains("connection lost")) << e.message().toStdString();
    }
    const int before = int(lines.size()) - 2; // the accounts answered before the refusal
    EXPECT_GT(before, 0);
    EXPECT_EQ(scalar("SELECT count(*) FROM [User]").toInt(), before) << "what was done before stays done";
}

VELMORA_BOTH_ENGINES(NetScanTest);

} // namespace
