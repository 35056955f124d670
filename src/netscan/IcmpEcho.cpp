#include "netscan/IcmpEcho.h"

#include <QCoreApplication>
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
#include <stop_token>
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
    int tries = 0;     // sent so far
    int sequence = -1; // of the try in flight, -1 when none is
    Clock::time_point deadline;
    EchoStatus status = EchoStatus::Pending;
};

struct InFlight {
    int host;
    int sequence;
    Clock::time_point deadline;
};

std::atomic<quint16> nextIdentifier{quint16(::getpid() * 7919u)};

// The socket of one run, closed on every path.
class EchoSocket {
public:
    EchoSocket() = default;
    EchoSocket(const EchoSocket &) = delete;
    EchoSocket &operator=(const EchoSocket &) = delete;
    ~EchoSocket() {
        if (fd >= 0)
            ::close(fd);
    }
    int fd = -1;
    bool raw = false;
};

// Opens the datagram socket, else the raw one; throws EchoUnavailable when neither opens.
void openSocket(EchoSocket &s, int inFlight) {
    s.fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    const int dgramError = errno;
    if (s.fd < 0) {
        s.fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        s.raw = s.fd >= 0;
    }
    if (s.fd < 0) {
        const QString program = QCoreApplication::applicationFilePath();
        throw EchoUnavailable(
            QStringLiteral(
                "Программе не разрешено отправлять эхо-запросы ICMP (ping): сокет ICMP не открывается (%1), "
                "«сырой» сокет тоже (%2). Отметки «в сети» не изменены. Чтобы проверка работала, дайте "
                "программе право командой администратора «setcap cap_net_raw+ep %3» (пакет Debian делает "
                "это при установке) или разрешите эхо-запросы группе пользователя: «sysctl -w "
                "net.ipv4.ping_group_range=\"0 2147483647\"»")
                .arg(QString::fromLocal8Bit(std::strerror(dgramError)),
                     QString::fromLocal8Bit(std::strerror(errno)),
                     program.isEmpty() ? QStringLiteral("<программа>") : program));
    }
    if (s.raw) {
        // A raw socket is handed every ICMP message of the host, our own requests included on
        // loopback: let the kernel keep only replies and the errors that quote a request.
        constexpr int IcmpFilterOption = 1; // ICMP_FILTER of <linux/icmp.h>: a set bit blocks a type
        const quint32 blocked =
            ~((1u << ICMP_ECHOREPLY) | (1u << ICMP_DEST_UNREACH) | (1u << ICMP_TIME_EXCEEDED));
        ::setsockopt(s.fd, SOL_RAW, IcmpFilterOption, &blocked, sizeof blocked);
    }
    // Room for a reply to every echo in flight (the kernel counts its own overhead per packet,
    // about a kilobyte on loopback). Beyond the system's limit only root may go (FORCE); the
    // replies are read between the batches of sends anyway.
    const int wanted = std::clamp(inFlight, 16, 8192) * 2048;
    if (::setsockopt(s.fd, SOL_SOCKET, SO_RCVBUFFORCE, &wanted, sizeof wanted) != 0)
        ::setsockopt(s.fd, SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted);
}

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
    m_sent = 0;
    const int window = std::clamp(maxInFlight, 1, 32768);
    EchoSocket socket;
    openSocket(socket, window);
    m_socketKind = socket.raw ? QStringLiteral("raw") : QStringLiteral("dgram");
    const int fd = socket.fd;

    // Names are resolved on a thread of their own, in order, so that a slow name server never
    // stalls the replies of the echoes already sent. The thread is asked to stop and waited for
    // when the run ends, however it ends.
    std::vector<std::optional<Ipv4>> addresses(static_cast<size_t>(count));
    std::atomic<int> resolved{0};
    std::jthread resolver([&](std::stop_token stop) {
        for (int i = 0; i < count && !stop.stop_requested(); ++i) {
            addresses[size_t(i)] = ResolveHost(hosts[i]);
            resolved.store(i + 1, std::memory_order_release);
        }
    });

    const quint16 identifier = nextIdentifier.fetch_add(1);
    std::vector<Echo> echoes(static_cast<size_t>(count));
    std::vector<int> bySequence(65536, -1); // sequence number -> host index, while in flight
    std::deque<InFlight> inFlight;          // in sending order, so deadlines ascend
    std::deque<int> again;                  // hosts whose last try went unanswered, to try again
    quint16 nextSequence = 0;
    int nextFirst = 0, done = 0, flying = 0;
    auto finish = [&](int i, EchoStatus status) {
        Echo &e = echoes[size_t(i)];
        if (e.status != EchoStatus::Pending)
            return;
        e.status = status;
        if (e.sequence >= 0) {
            bySequence[size_t(e.sequence)] = -1;
            e.sequence = -1;
            --flying;
        }
        ++done;
        finished(i, status);
    };
    // A try ended without a reply: try again while tries are left.
    auto unanswered = [&](int i) {
        Echo &e = echoes[size_t(i)];
        if (e.status != EchoStatus::Pending || e.sequence < 0)
            return;
        if (e.tries > retries) {
            finish(i, EchoStatus::NoReply);
            return;
        }
        bySequence[size_t(e.sequence)] = -1;
        e.sequence = -1;
        --flying;
        again.push_back(i);
    };
    // Sends one try of host i.
    enum class Sent { Yes, Later, Failed }; // Later: the socket's send buffer is full for now
    auto send = [&](int i) {
        Echo &e = echoes[size_t(i)];
        QByteArray packet(int(sizeof(icmphdr)), '\0');
        packet += e.payload;
        auto *h = reinterpret_cast<icmphdr *>(packet.data());
        h->type = ICMP_ECHO;
        h->code = 0;
        h->un.echo.id = htons(identifier);
        h->un.echo.sequence = htons(nextSequence);
        h->checksum = htons(
            checksum(reinterpret_cast<const unsigned char *>(packet.constData()), size_t(packet.size())));
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = e.address;
        if (::sendto(fd, packet.constData(), size_t(packet.size()), 0, reinterpret_cast<sockaddr *>(&to),
                     sizeof to) != packet.size()) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS)
                return Sent::Later;
            return Sent::Failed;
        }
        ++m_sent;
        ++e.tries;
        e.sequence = nextSequence;
        bySequence[nextSequence] = i;
        ++nextSequence;
        ++flying;
        e.deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        inFlight.push_back({i, e.sequence, e.deadline});
        return Sent::Yes;
    };

    unsigned char buffer[1500];
    // Reads every reply waiting in the socket.
    auto drain = [&] {
        for (;;) {
            sockaddr_in from{};
            socklen_t fromSize = sizeof from;
            const ssize_t n =
                ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &fromSize);
            if (n < 0)
                return;
            size_t offset = 0;
            if (socket.raw) {
                if (n < ssize_t(sizeof(iphdr)))
                    continue;
                offset = size_t(reinterpret_cast<const iphdr *>(buffer)->ihl) * 4;
            }
            if (size_t(n) < offset + sizeof(icmphdr))
                continue;
            const auto *h = reinterpret_cast<const icmphdr *>(buffer + offset);
            if (h->type == ICMP_ECHOREPLY) {
                // A datagram socket receives only its own replies; the kernel sets the identifier.
                if (socket.raw && ntohs(h->un.echo.id) != identifier)
                    continue;
                const int i = bySequence[ntohs(h->un.echo.sequence)];
                if (i < 0)
                    continue;
                const Echo &e = echoes[size_t(i)];
                const QByteArray data(reinterpret_cast<const char *>(buffer + offset + sizeof(icmphdr)),
                                      qsizetype(size_t(n) - offset - sizeof(icmphdr)));
                if (from.sin_addr.s_addr == e.address && data == e.payload)
                    finish(i, EchoStatus::Reply);
            } else if (socket.raw && (h->type == ICMP_DEST_UNREACH || h->type == ICMP_TIME_EXCEEDED)) {
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
                    unanswered(i);
            }
        }
    };

    // Echoes go out at most this many at a time, with the replies read in between.
    constexpr int Batch = 16;
    auto lastIdle = Clock::now();
    while (done < count) {
        // Send a batch: tries again first (their hosts have waited longest), then first tries of
        // resolved names, within the bound.
        const int ready = resolved.load(std::memory_order_acquire);
        bool blocked = false;
        for (int n = 0; n < Batch && flying < window && !blocked;) {
            if (!again.empty()) {
                const int i = again.front();
                const Sent result = send(i);
                if ((blocked = result == Sent::Later))
                    break;
                again.pop_front();
                ++n;
                if (result == Sent::Failed) // its first try went out: the host counts as silent
                    finish(i, EchoStatus::NoReply);
                continue;
            }
            if (nextFirst >= ready)
                break;
            const int i = nextFirst;
            Echo &e = echoes[size_t(i)];
            const auto &address = addresses[size_t(i)];
            Sent result = Sent::Failed;
            if (address) {
                e.address = htonl(*address);
                e.payload = hosts[i].toUtf8().left(1024);
                result = send(i);
                if ((blocked = result == Sent::Later))
                    break;
                ++n;
            }
            ++nextFirst;
            if (sent)
                sent(i);
            if (result == Sent::Failed)
                finish(i, EchoStatus::NotHost);
        }
        drain();

        // Time-outs: the oldest tries first; an entry whose try already ended is dropped.
        const auto now = Clock::now();
        while (!inFlight.empty()) {
            const InFlight &f = inFlight.front();
            const Echo &e = echoes[size_t(f.host)];
            if (e.sequence == f.sequence && e.status == EchoStatus::Pending) {
                if (f.deadline > now)
                    break;
                const int host = f.host;
                inFlight.pop_front();
                unanswered(host);
                continue;
            }
            inFlight.pop_front();
        }
        if (done >= count)
            break;

        const bool moreToSend =
            !blocked && flying < window && (!again.empty() || nextFirst < resolved.load());
        int wait = 20;
        if (moreToSend)
            wait = 0;
        else if (blocked)
            wait = 1;
        else if (!inFlight.empty())
            wait = int(std::clamp<long long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(inFlight.front().deadline - now)
                        .count() +
                    1,
                0, 20));
        if (wait > 0) {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, wait);
            drain();
        }
        if (idle && Clock::now() - lastIdle >= std::chrono::milliseconds(20)) {
            idle();
            lastIdle = Clock::now();
        }
    }
    if (idle)
        idle();
}
