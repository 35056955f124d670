#pragma once

// Helpers of the ping sweep and domain scan tests: a private network where some loopback
// addresses stay silent, a name look-up that never asks a name server, the test directory.

#include "netscan/IcmpEcho.h"

#include <QMap>
#include <QString>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

// While it lives, the calling thread (and what it starts) is in a network namespace of its own:
// loopback up, 127.0.0.0/24 answering echoes and 127.0.1.0/24 dropping them. Sockets opened
// before (a database connection) stay in the machine's network. Needs root.
class SilentNetwork {
public:
    SilentNetwork() {
        if (::geteuid() != 0) {
            m_why = "needs root (a network namespace and an ICMP socket); scripts/test.sh runs it as root";
            return;
        }
        m_saved = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        if (m_saved < 0 || ::unshare(CLONE_NEWNET) != 0) {
            m_why = "cannot create a network namespace here";
            return;
        }
        const int rc =
            std::system("ip link set lo up && nft add table ip velmora && "
                        "nft add chain ip velmora in '{ type filter hook input priority 0; }' && "
                        "nft add rule ip velmora in ip daddr 127.0.1.0/24 icmp type echo-request drop");
        m_ok = rc == 0;
        if (!m_ok)
            m_why = "ip or nft failed in the test namespace (packages iproute2, nftables)";
    }
    ~SilentNetwork() {
        if (m_saved >= 0) {
            if (::setns(m_saved, CLONE_NEWNET) != 0)
                std::abort(); // the rest of the run would talk to the wrong network
            ::close(m_saved);
        }
    }
    SilentNetwork(const SilentNetwork &) = delete;
    SilentNetwork &operator=(const SilentNetwork &) = delete;

    bool ok() const { return m_ok; }
    const char *why() const { return m_why; }

private:
    int m_saved = -1;
    bool m_ok = false;
    const char *m_why = "";
};

// Names the tests use, resolved from a table; every other name counts as unknown, so no look-up
// ever leaves the machine. Restores the previous look-up on destruction.
class FakeNames {
public:
    explicit FakeNames(QMap<QString, QString> table = {})
        : m_previous(SetNameLookup([this, table](const QString &name) -> std::optional<Ipv4> {
              asked << name;
              if (const auto it = table.find(name); it != table.end())
                  return ParseIpv4(it.value());
              return std::nullopt;
          })) {}
    ~FakeNames() { SetNameLookup(m_previous); }
    QStringList asked; // the names that reached the look-up

private:
    NameLookup m_previous;
};

// The test directory of scripts/slapd.sh (host:port), or empty with the test skipped.
inline QString testDirectory() {
    return qEnvironmentVariable("VELMORA_TEST_LDAP");
}

#define VELMORA_NEED_DIRECTORY()                                                                             \
    do {                                                                                                     \
        if (testDirectory().isEmpty()) {                                                                     \
            if (qEnvironmentVariableIsSet("VELMORA_TEST_REQUIRE_LDAP"))                                      \
                FAIL() << "VELMORA_TEST_LDAP is not set although VELMORA_TEST_REQUIRE_LDAP is";              \
            GTEST_SKIP() << "no test directory: source scripts/slapd.sh; slapd_start (VELMORA_TEST_LDAP)";   \
        }                                                                                                    \
    } while (0)
