// velmora-netbench: how long the ping sweep and the domain scan take against what they replace.
//
//   velmora-netbench [--ldap HOST:PORT]       (as root for the sweep; the test command never runs it)
//
// sweep: 1 000 devices, 400 of them silent, in a private network (127.1.x.x dropped by nftables),
//        every silent host tried twice: the echoes alone, then the whole sweep over a SQLite
//        database of those devices (flags written); against the time-out, against the goal of two
//        time-outs plus two seconds, and against the 400 s of one time-out per silent host in
//        sequence;
// scan:  the paged directory read of EnumNetUsers against ldapsearch listing the same entries
//        (start a directory with: source scripts/slapd.sh; slapd_start 5000).
// Prints "name value" lines.

#include "data/Connection.h"
#include "netscan/DomainScan.h"
#include "netscan/IcmpEcho.h"
#include "netscan/PingSweep.h"
#include "server/Server.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace {

void print(const char *name, double value) {
    std::printf("%s %.3f\n", name, value);
}

void sweep() {
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNET) != 0) {
        std::printf("sweep skipped: needs root for a network namespace and a raw ICMP socket\n");
        return;
    }
    if (std::system("ip link set lo up && nft add table ip b && "
                    "nft add chain ip b in '{ type filter hook input priority 0; }' && "
                    "nft add rule ip b in ip daddr 127.1.0.0/16 icmp type echo-request drop") != 0) {
        std::printf("sweep skipped: ip or nft failed\n");
        return;
    }
    constexpr int Devices = 1000, Silent = 400;
    QStringList hosts;
    QVector<bool> silentHost;
    for (int i = 0; i < Devices; ++i) {
        const bool silent = i % 5 < 2; // two of every five, spread through the list
        hosts << QStringLiteral("127.%1.%2.%3").arg(silent ? 1 : 0).arg(2 + i / 250).arg(i % 250 + 1);
        silentHost << silent;
    }

    // The echoes alone.
    int right = 0;
    IcmpEcho echo;
    QElapsedTimer t;
    t.start();
    echo.run(hosts, {}, [&](int i, EchoStatus s) {
        right += s == (silentHost[i] ? EchoStatus::NoReply : EchoStatus::Reply);
    });
    const double echoSeconds = double(t.nsecsElapsed()) / 1e9;
    const double timeout = echo.timeoutMs / 1000.0;

    // The whole sweep, with a flag written per device.
    QTemporaryDir dir;
    Connection cn;
    cn.open(QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("net.db")));
    PrepareDatabase(cn);
    {
        Transaction tx(cn);
        cn.execute(QStringLiteral("INSERT INTO Department (DprtName) VALUES ('Сеть')"));
        cn.execute(
            QStringLiteral("INSERT INTO Workplace (WrkpIdDepartment, WrkpName) SELECT max(IdDepartment), "
                           "'Стол' FROM Department"));
        const QVariant place = cn.scalar(QStringLiteral("SELECT max(IdWorkplace) FROM Workplace"));
        for (const QString &h : std::as_const(hosts))
            cn.execute(
                QStringLiteral("INSERT INTO DeviceUnit (DevcIdWorkplace, DevcName, Domain) VALUES (:W, "
                               "'ПК', :D)"),
                {{QStringLiteral("W"), place}, {QStringLiteral("D"), h}});
        tx.commit();
    }
    PingSweep sweep;
    t.restart();
    sweep.run(cn);
    const double sweepSeconds = double(t.nsecsElapsed()) / 1e9;
    int onLine = 0, offLine = 0;
    for (const auto &row : cn.query(QStringLiteral("SELECT Domain, OnLine FROM DeviceUnit")).rows) {
        const bool silent = row[0].toString().startsWith(QStringLiteral("127.1."));
        onLine += !silent && row[1].toBool();
        offLine += silent && !row[1].isNull() && !row[1].toBool();
    }

    print("sweep_devices", Devices);
    print("sweep_silent", Silent);
    print("sweep_echo_right", right);
    print("sweep_echoes_sent", echo.echoesSent());
    print("sweep_echo_s", echoSeconds);
    print("sweep_echo_timeouts", echoSeconds / timeout);
    print("sweep_with_database_s", sweepSeconds);
    print("sweep_database_online_right", onLine);
    print("sweep_database_offline_right", offLine);
    print("sweep_goal_s", 2 * timeout + 2);
    print("sweep_ratio_to_sequential_400s", sweepSeconds / (Silent * timeout));
}

void scan(const QString &controller) {
    if (controller.isEmpty()) {
        std::printf("scan skipped: no directory (--ldap HOST:PORT or $VELMORA_TEST_LDAP)\n");
        return;
    }
    DirectoryOptions o;
    o.base = SearchBaseForDomain(QStringLiteral("KORVANT"));
    const int rounds = 5;
    double ours = 1e9, theirs = 1e9;
    qsizetype accounts = 0;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer t;
        t.start();
        accounts = EnumNetUsers(controller, o).lines.size();
        ours = std::min(ours, double(t.nsecsElapsed()) / 1e9);

        QProcess p;
        t.restart();
        p.start(QStringLiteral("ldapsearch"),
                {QStringLiteral("-x"), QStringLiteral("-LLL"), QStringLiteral("-H"),
                 QStringLiteral("ldap://") + controller, QStringLiteral("-b"), o.base, QStringLiteral("-E"),
                 QStringLiteral("pr=100/noprompt"),
                 QStringLiteral("(|(objectClass=user)(objectClass=inetOrgPerson)(objectClass=posixAccount))"),
                 QStringLiteral("sAMAccountName"), QStringLiteral("uid"), QStringLiteral("displayName"),
                 QStringLiteral("cn")});
        p.waitForFinished(-1);
        p.readAllStandardOutput();
        theirs = std::min(theirs, double(t.nsecsElapsed()) / 1e9);
    }
    print("scan_accounts", double(accounts));
    print("scan_enumeration_s", ours);
    print("scan_ldapsearch_s", theirs);
    print("scan_ratio_to_ldapsearch", ours / theirs);
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    InstallServer();
    QString controller = qEnvironmentVariable("VELMORA_TEST_LDAP");
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i)
        if (args[i] == u"--ldap")
            controller = args[i + 1];
    scan(controller);
    sweep();
    return 0;
}
