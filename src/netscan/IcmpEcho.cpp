#include "IcmpEcho.h"

#include <QFile>
#include <QMutex>
#include <QRegularExpression>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// $VELMORA_HOSTS names a file in the format of /etc/hosts whose names are taken before the
// system's resolver is asked: an inventory can be tried out (or a sweep confined) without touching
// /etc/hosts or the name server.
std::optional<Ipv4> hostsFileLookup(const QString &name) {
    const QString path = qEnvironmentVariable("VELMORA_HOSTS");
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).section(u'#', 0, 0);
        const QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        for (qsizetype i = 1; i < words.size(); ++i)
            if (words[i].compare(name, Qt::CaseInsensitive) == 0) {
                if (auto address = ParseIpv4(words[0]))
                    return address;
            }
    }
    return std::nullopt;
}

std::optional<Ipv4> systemLookup(const QString &name) {
    if (auto listed = hostsFileLookup(name))
        return listed;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *list = nullptr;
    if (getaddrinfo(name.toLatin1().constData(), nullptr, &hints, &list) != 0 || !list)
        return std::nullopt;
    std::optional<Ipv4> out;
    for (addrinfo *a = list; a && !out; a = a->ai_next)
        if (a->ai_family == AF_INET)
            out = ntohl(reinterpret_cast<const sockaddr_in *>(a->ai_addr)->sin_addr.s_addr);
    freeaddrinfo(list);
    return out;
}

QMutex lookupMutex;
NameLookup currentLookup = systemLookup;

NameLookup lookupFunction() {
    QMutexLocker lock(&lookupMutex);
    return currentLookup;
}

bool maybeHostName(const QString &name) {
    if (name.isEmpty() || name.size() > 253)
        return false;
    static const QRegularExpression label(QStringLiteral("^[A-Za-z0-9_]([A-Za-z0-9_-]{0,61}[A-Za-z0-9_])?$"));
    QStringList labels = name.split(u'.');
    if (labels.size() > 1 && labels.back().isEmpty())
        labels.removeLast(); // a fully qualified name may end in a dot
    for (const QString &l : labels)
        if (!label.match(l).hasMatch())
            return false;
    return true;
}

quint16 checksum(const unsigned char *data, size_t size) {
    quint32 sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2)
        sum += quint32(data[i]) << 8 | data[i + 1];
    if (size % 2)
        sum += quint32(data[size - 1]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return quint16(~sum);
}

using Clock = std::chrono::steady_clock;

struct Echo {
    quint32 address = 0; // network order
    QByteArray payload;
    Clock::time_point deadline;
    EchoStatus status = EchoStatus::Pending;
};

std::atomic<quint16> nextIdentifier{quint16(::getpid() * 7919u)};

} // namespace

std::optional<Ipv4> ParseIpv4(const QString &text) {
    for (QChar c : text)
        if (!(c.isDigit() && c.unicode() < 128) && c != u'.')
            return std::nullopt;
    in_addr a{};
    if (text.isEmpty() || inet_pton(AF_INET, text.toLatin1().constData(), &a) != 1)
        return std::nullopt;
    return ntohl(a.s_addr);
}

QString Ipv4Text(Ipv4 address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address >> 24)
        .arg(address >> 16 & 255)
        .arg(address >> 8 & 255)
        .arg(address & 255);
}

NameLookup SetNameLookup(NameLookup lookup) {
    QMutexLocker lock(&lookupMutex);
    NameLookup previous = std::move(currentLookup);
    currentLookup = lookup ? std::move(lookup) : NameLookup(systemLookup);
    return previous;
}

std::optional<Ipv4> ResolveHost(const QString &name) {
    if (auto numeric = ParseIpv4(name))
        return numeric;
    if (!maybeHostName(name))
        return std::nullopt;
    return lookupFunction()(name);
}

void IcmpEcho::run(const QStringList &hosts, const std::function<void(int)> &sent,
                   const std::function<void(int, EchoStatus)> &finished, const std::function<void()> &idle) {
    const int count = int(hosts.size());
    m_socketKind.clear();
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    bool raw = false;
    if (fd >= 0) {
        m_socketKind = QStringLiteral("dgram");
    } else {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        raw = fd >= 0;
        if (raw)
            m_socketKind = QStringLiteral("raw");
    }
    if (fd < 0) {
        // No echo can be sent at all: every host fails as an unsendable echo does.
        for (int i = 0; i < count; ++i) {
            if (sent)
                sent(i);
            finished(i, EchoStatus::NotHost);
        }
        return;
    }

    // Names are resolved on a thread of their own, in order, so that a slow name server never
    // stalls the replies of the echoes already sent.
    std::vector<std::optional<Ipv4>> addresses(static_cast<size_t>(count));
    std::atomic<int> resolved{0};
    std::atomic<bool> stop{false};
    std::thread resolver([&] {
        for (int i = 0; i < count && !stop.load(); ++i) {
            addresses[size_t(i)] = ResolveHost(hosts[i]);
            resolved.store(i + 1, std::memory_order_release);
        }
    });

    const quint16 identifier = nextIdentifier.fetch_add(1);
    std::vector<Echo> echoes(static_cast<size_t>(count));
    std::vector<int> bySequence(65536, -1); // sequence number -> host index, while in flight
    std::deque<int> inFlight;               // in sending order, so deadlines ascend
    int nextSend = 0, done = 0;
    auto finish = [&](int i, EchoStatus status) {
        Echo &e = echoes[size_t(i)];
        if (e.status != EchoStatus::Pending)
            return;
        e.status = status;
        bySequence[size_t(i & 0xFFFF)] = -1;
        ++done;
        finished(i, status);
    };

    auto lastIdle = Clock::now();
    unsigned char buffer[1500];
    while (done < count) {
        // Send what is resolved, within the bound.
        const int ready = resolved.load(std::memory_order_acquire);
        while (nextSend < ready && int(inFlight.size()) < maxInFlight) {
            const int i = nextSend++;
            const auto &addr = addresses[size_t(i)];
            Echo &e = echoes[size_t(i)];
            e.payload = hosts[i].toUtf8().left(1024);
            bool ok = addr.has_value();
            if (ok) {
                e.address = htonl(*addr);
                QByteArray packet(int(sizeof(icmphdr)), '\0');
                packet += e.payload;
                auto *h = reinterpret_cast<icmphdr *>(packet.data());
                h->type = ICMP_ECHO;
                h->code = 0;
                h->un.echo.id = htons(identifier);
                h->un.echo.sequence = htons(quint16(i & 0xFFFF));
                h->checksum = htons(checksum(reinterpret_cast<const unsigned char *>(packet.constData()),
                                             size_t(packet.size())));
                sockaddr_in to{};
                to.sin_family = AF_INET;
                to.sin_addr.s_addr = e.address;
                ok = ::sendto(fd, packet.constData(), size_t(packet.size()), 0,
                              reinterpret_cast<sockaddr *>(&to), sizeof to) == packet.size();
            }
            if (sent)
                sent(i);
            if (!ok) {
                finish(i, EchoStatus::NotHost);
                continue;
            }
            e.deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
            bySequence[size_t(i & 0xFFFF)] = i;
            inFlight.push_back(i);
        }

        // Time-outs: the oldest echoes first.
        const auto now = Clock::now();
        while (!inFlight.empty() && (echoes[size_t(inFlight.front())].status != EchoStatus::Pending ||
                                     echoes[size_t(inFlight.front())].deadline <= now)) {
            finish(inFlight.front(), EchoStatus::NoReply);
            inFlight.pop_front();
        }
        if (done >= count)
            break;

        int wait = 20;
        if (!inFlight.empty()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  echoes[size_t(inFlight.front())].deadline - now)
                                  .count();
            wait = int(std::clamp<long long>(left + 1, 0, 20));
        }
        if (nextSend < count && resolved.load() > nextSend && int(inFlight.size()) < maxInFlight)
            wait = 0;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, wait) > 0 && (p.revents & POLLIN)) {
            for (;;) {
                sockaddr_in from{};
                socklen_t fromSize = sizeof from;
                const ssize_t n =
                    ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &fromSize);
                if (n < 0)
                    break;
                size_t offset = 0;
                if (raw) {
                    if (n < ssize_t(sizeof(iphdr)))
                        continue;
                    offset = size_t(reinterpret_cast<const iphdr *>(buffer)->ihl) * 4;
                }
                if (size_t(n) < offset + sizeof(icmphdr))
                    continue;
                const auto *h = reinterpret_cast<const icmphdr *>(buffer + offset);
                if (h->type == ICMP_ECHOREPLY) {
                    // A datagram socket receives only its own replies; the kernel sets the identifier.
                    if (raw && ntohs(h->un.echo.id) != identifier)
                        continue;
                    const int i = bySequence[ntohs(h->un.echo.sequence)];
                    if (i < 0)
                        continue;
                    const Echo &e = echoes[size_t(i)];
                    const QByteArray data(reinterpret_cast<const char *>(buffer + offset + sizeof(icmphdr)),
                                          qsizetype(size_t(n) - offset - sizeof(icmphdr)));
                    if (from.sin_addr.s_addr == e.address && data == e.payload)
                        finish(i, EchoStatus::Reply);
                } else if (raw && (h->type == ICMP_DEST_UNREACH || h->type == ICMP_TIME_EXCEEDED)) {
                    // The error quotes our request: its IP header, then the first eight bytes.
                    const size_t inner = offset + sizeof(icmphdr);
                    if (size_t(n) < inner + sizeof(iphdr))
                        continue;
                    const auto *ip = reinterpret_cast<const iphdr *>(buffer + inner);
                    const size_t quoted = inner + size_t(ip->ihl) * 4;
                    if (size_t(n) < quoted + sizeof(icmphdr))
                        continue;
                    const auto *q = reinterpret_cast<const icmphdr *>(buffer + quoted);
                    if (q->type != ICMP_ECHO || ntohs(q->un.echo.id) != identifier)
                        continue;
                    const int i = bySequence[ntohs(q->un.echo.sequence)];
                    if (i >= 0 && ip->daddr == echoes[size_t(i)].address)
                        finish(i, EchoStatus::NoReply);
                }
            }
        }
        if (idle && Clock::now() - lastIdle >= std::chrono::milliseconds(20)) {
            idle();
            lastIdle = Clock::now();
        }
    }
    stop.store(true);
    resolver.join();
    ::close(fd);
    if (idle)
        idle();
}
