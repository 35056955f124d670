#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <optional>

// ICMP echo over IPv4 for many hosts at once.
//
// The echoes go out through an ICMP datagram socket where net.ipv4.ping_group_range lets this
// process open one, else through a raw socket (which needs root or CAP_NET_RAW and also sees
// every other echo on the host, so only replies carrying our identifier, sequence number and data
// count). At most `maxInFlight` echoes are outstanding; each waits `timeoutMs` for its reply.

// How one host's echo ended.
enum class EchoStatus {
    Pending, // not finished yet
    Reply,   // an echo reply came in time
    NoReply, // no reply within the time-out, or an ICMP error such as "unreachable"
    NotHost, // the name did not resolve or the echo could not be sent
};

// An IPv4 address in host byte order.
using Ipv4 = quint32;

// "127.0.0.1" as an address; std::nullopt for anything but a dotted IPv4 address.
std::optional<Ipv4> ParseIpv4(const QString &text);
QString Ipv4Text(Ipv4 address);

// Turns a host name into an IPv4 address; std::nullopt when it does not resolve.
using NameLookup = std::function<std::optional<Ipv4>(const QString &name)>;

// The look-up behind ResolveHost's last step (getaddrinfo for IPv4 by default); tests replace it
// so that no name is ever sent to a name server. Returns the previous one.
NameLookup SetNameLookup(NameLookup lookup);

// A network name as the sweep resolves it: a dotted IPv4 address is taken as it stands; a text
// that cannot be a host name (empty, longer than 253 characters, a label longer than 63, any
// character other than Latin letters, digits, "-", "_" and ".") fails at once without any
// look-up; anything else goes through the name look-up.
std::optional<Ipv4> ResolveHost(const QString &name);

class IcmpEcho {
public:
    int timeoutMs = 1000;
    int maxInFlight = 256;

    // Pings every host once. Names are resolved off the calling thread, in list order; echoes go
    // out in list order as soon as their address is known. `finished(i, status)` is called on the
    // calling thread for every host, once, as its outcome becomes known (not in list order).
    // `sent(i)` is called when host i's echo goes out or fails, in list order. `idle` is called on
    // the calling thread at least every 20 ms while waiting (a window processes its events there).
    void run(const QStringList &hosts, const std::function<void(int index)> &sent,
             const std::function<void(int index, EchoStatus status)> &finished,
             const std::function<void()> &idle = {});

    // The kind of socket the last run used: "dgram", "raw", or empty when none could be opened
    // (then every host is NotHost).
    QString socketKind() const { return m_socketKind; }

private:
    QString m_socketKind;
};
