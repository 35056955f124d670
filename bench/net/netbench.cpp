// velmora-netbench: how long the ping sweep and the domain scan take against what they replace.
//
//   velmora-netbench [--ldap HOST:PORT]       (as root for the sweep; the test command never runs it)
//
// sweep: 256 silent hosts in a private network (127.0.1.x dropped by nftables), against the
//        256 s a sequential sweep with a 1000 ms time-out needs, and against one time-out;
// scan:  the paged directory read of EnumNetUsers against ldapsearch listing the same entries
//        (start a directory with: source scripts/slapd.sh; slapd_start 5000).
// Prints "name value" lines.

#include "DomainScan.h"
#include "IcmpEcho.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

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
                    "nft add rule ip b in ip daddr 127.0.1.0/24 icmp type echo-request drop") != 0) {
        std::printf("sweep skipped: ip or nft failed\n");
        return;
    }
    QStringList hosts;
    for (int i = 0; i < 256; ++i)
        hosts << QStringLiteral("127.0.1.%1").arg(i);
    int silent = 0;
    IcmpEcho echo;
    QElapsedTimer t;
    t.start();
    echo.run(hosts, {}, [&](int, EchoStatus s) { silent += s == EchoStatus::NoReply; });
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    print("sweep_256_silent_s", seconds);
    print("sweep_silent_hosts", silent);
    print("sweep_ratio_to_timeout", seconds / (echo.timeoutMs / 1000.0));
    print("sweep_ratio_to_sequential_256s", seconds / 256.0);
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
    QString controller = qEnvironmentVariable("VELMORA_TEST_LDAP");
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i)
        if (args[i] == u"--ldap")
            controller = args[i + 1];
    scan(controller);
    sweep();
    return 0;
}
