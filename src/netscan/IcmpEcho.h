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
// every other ICMP message on the host: it is filtered down to replies and errors, and only
// replies carrying our identifier, sequence number and data count). At most `maxInFlight` echoes
// are outstanding; each waits `timeoutMs` for its reply. The echoes go out in small batches with
// the replies read in between, into a receive buffer sized for the echoes in flight, so that no
// reply is lost to a full buffer. A host that does not answer gets `retries` more tries, each as
// soon as its previous one timed out; it counts as silent only when every try went unanswered.

#include "data/Errors.h"

// No echo can be sent at all: this process may open neither kind of ICMP socket. Thrown before
// any host is touched; the message says what to do.
class EchoUnavailable : public AppError {
public:
    using AppError::AppError;
};

// How one host's echo ended.
enum class EchoStatus {
    Pending, // not finished yet
    Reply,   // an echo reply came in time
    NoReply, // no reply to any try within its time-out, or ICMP errors such as "unreachable"
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
    int maxInFlight = 1024;
    int retries = 1;

    // Pings every host, with up to `retries` more tries for those that stay silent. Names are
    // resolved off the calling thread, in list order; first tries go out in list order as soon as
    // their address is known. `finished(i, status)` is called on the calling thread for every
    // host, once, as its outcome becomes final (not in list order). `sent(i)` is called when host
    // i's first try goes out or fails, in list order. `idle` is called on the calling thread at
    // least every 20 ms while waiting (a window processes its events there).
    //
    // Throws EchoUnavailable, before any callback, when no ICMP socket can be opened. An exception
    // thrown by a callback ends the run and reaches the caller; the name resolver is stopped and
    // waited for and the socket closed on every path.
    void run(const QStringList &hosts, const std::function<void(int index)> &sent,
             const std::function<void(int index, EchoStatus status)> &finished,
             const std::function<void()> &idle = {});

    // The kind of socket the last run used: "dgram" or "raw"; empty before a run or when none
    // could be opened.
    QString socketKind() const { return m_socketKind; }

    // Echoes sent by the last run, retries included (the figures the benchmark prints).
    int echoesSent() const { return m_sent; }

private:
    QString m_socketKind;
    int m_sent = 0;
};
