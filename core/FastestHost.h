#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

// Chooses among servers by pinging them all at once with the system's ping tools (never through a
// shell; a ping that is stopped ends with its whole process group). Each call runs a local event
// loop in the calling thread, which must be able to process events; a ping that cannot start, and
// a host name beginning with "-" (refused with a WARNING: ping would read it as an option), count
// as failed ones. Nothing is kept between calls.
class FastestHost
{
public:
    FastestHost() = delete;

    // Entries are URLs (or bare host names); only the host part is pinged with "ping -c <count>".
    // Each returns the entry itself; the first entry when no ping qualifies; empty for an empty list.

    // The entry with the lowest minimum response time; among equal times the first handled wins.
    static QString getFastestHost(const QStringList& entries, int count);
    // The entry whose ping first ended with exit code 0; the other pings are stopped.
    static QString getFastestHost_2(const QStringList& entries, int count);
    // As getFastestHost, but pings still running count * 1000 + 1000 ms after the last one started
    // are killed and do not qualify.
    static QString getFastestHost_3(const QStringList& entries, int count);

    // The names whose ping ended with exit code 0, in the order the pings ended. Uses fping when it
    // is installed, else ping with "-c <count> -w <seconds>"; at most 20 pings stay unfinished
    // when the next one starts.
    static QStringList pingHosts(const QStringList& names, int count, uint64_t timeoutMs);

    // Whether fping is installed; looked up once, on first use.
    static bool isFPingAvailable();
};
