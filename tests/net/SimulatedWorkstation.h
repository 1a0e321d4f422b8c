#pragma once

// A workstation without windows: the real protocol engine and socket adapter, a recording host.
// Used to drive kvizor-server over loopback, one or many at once.

#include "FakeProtocolHost.h"
#include "net/ProtocolSocket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

namespace kvz::testing {

struct SocketHost : FakeProtocolHost {
    ProtocolSocket* socket = nullptr;
    void send(std::string_view bytes) override {
        FakeProtocolHost::send(bytes);
        socket->send(bytes);
    }
};

struct SimulatedWorkstation {
    SocketHost host;
    RunState runState;
    MessageTable messages;
    ProtocolSocket socket;
    ClientProtocol engine{host, runState, messages};
    bool connected = false;
    bool lost = false;

    explicit SimulatedWorkstation(const std::string& name) {
        host.socket = &socket;
        host.engine = &engine;
        runState.interactive = true;
        engine.setComputerName(name);
        socket.setEngine(&engine);
        QObject::connect(&socket, &ProtocolSocket::connected, [this] {
            connected = true;
            engine.connectionMade();
        });
        QObject::connect(&socket, &ProtocolSocket::disconnected, [this] {
            lost = true;
            engine.connectionLost();
        });
    }
};

// Runs the event loop until done() holds or the time is up.
inline bool waitUntil(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

} // namespace kvz::testing
