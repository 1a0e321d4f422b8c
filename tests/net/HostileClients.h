#pragma once

// What the server's tests and its benchmarks throw at kvizor-server over loopback: bursts of
// one word, random bytes, raw connections (also ones that never read), and the server process's
// memory as the system counts it.

#include "net/SimulatedWorkstation.h"

#include <QFile>
#include <QTcpSocket>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

namespace kvz::testing {

// word again and again up to at least size bytes.
inline std::string repeated(std::string_view word, std::size_t size) {
    std::string out;
    out.reserve(size + word.size());
    while (out.size() < size)
        out += word;
    return out;
}

// n bytes of noise; the same seed gives the same bytes.
inline std::string randomBytes(std::size_t n, unsigned seed = 7) {
    std::mt19937 gen(seed);
    std::string out(n, '\0');
    for (char& c : out)
        c = char(gen());
    return out;
}

// A field of /proc/PID/status in kB ("VmRSS:", "VmHWM:"); -1 when it cannot be read.
inline long statusKb(qint64 pid, const char* field) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').value(0).toLong();
    return -1;
}
inline long residentKb(qint64 pid) {
    return statusKb(pid, "VmRSS:");
}

enum class Reading { Reads, Never };

// A raw connection to the server on 127.0.0.1, as a hostile workstation opens it; whether it
// stands within ms. One that never reads takes nothing from the connection.
inline bool connectRaw(QTcpSocket& socket, quint16 port, Reading reading = Reading::Reads,
                       int ms = 20000) {
    if (reading == Reading::Never)
        socket.setReadBufferSize(1);
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    return waitUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; }, ms);
}

} // namespace kvz::testing
