#pragma once

#include "netscan/IcmpEcho.h"

#include <QDateTime>
#include <QStringList>

#include <functional>

class Connection;

// The ping sweep over every device with a network name, without a window: the log lines, the
// on-line flags written back and the log file. The window and the admin tool both run it.
//
// Lines: first "Всего устройств: N.", then one line per device in the order of its network name,
// which starts as the name and gets ": on-line.", ": off-line." or ": not host." when its echo
// ends. The echoes run concurrently (see IcmpEcho), so the lines are finished out of order while
// their order stays that of the names.
class PingSweep {
public:
    int timeoutMs = 1000;
    int maxInFlight = 1024;
    int retries = 1;

    // Called on the caller's thread: a line was added or finished (its index), the progress moved
    // (devices finished, total), and repeatedly while waiting (the window processes its events).
    std::function<void(int line)> lineChanged;
    std::function<void(int done, int total)> progress;
    std::function<void()> idle;

    // Runs a sweep: reads the devices, pings them, writes each device's OnLine alone (so an edit of
    // the same device on another workstation keeps its changes), fills lines().
    // - No ICMP socket for this process: EchoUnavailable, after the count line and before any flag
    //   is written.
    // - A flag that cannot be written (the database busy past its time-out, the connection lost):
    //   AppError naming the device and the reason; the flags written before it stay written.
    void run(Connection &cn);

    const QStringList &lines() const { return m_lines; }
    int deviceCount() const { return int(m_lines.size()) - 1; }

    // Writes the lines to the log file for `at` in `folder` (empty: PingLogFolder()), replacing a
    // file of the same name: UTF-8 without a byte-order mark, CR LF after each line. Returns the
    // file's full name and adds "Журнал записан в <file>." to lines() (the file never holds it).
    // Throws AppError when the file cannot be written.
    QString writeLog(const QDateTime &at, const QString &folder = {});

    static QString statusWord(EchoStatus status);

private:
    QStringList m_lines;
};

// "SC[YYYY.MM.DD HH=NN].log" in `folder`.
QString PingLogFileName(const QString &folder, const QDateTime &at);

// The executable's folder when this user may write there, else the user's data folder (created).
QString PingLogFolder();
