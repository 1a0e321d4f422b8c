#pragma once

// The connection to the testing server: a QTcpSocket on the GUI thread feeding the protocol
// engine one read step at a time. Qt signals readyRead only when new bytes arrive, so while
// bytes remain after a step the next step is queued here: a word and its payload that arrive
// together are still two steps. Files (the result archive) are streamed from disk as the
// socket takes them, never blocking the interface.

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <deque>
#include <memory>
#include <string_view>

namespace kvz {

class ClientProtocol;

class ProtocolSocket : public QObject {
    Q_OBJECT
public:
    explicit ProtocolSocket(QObject* parent = nullptr);
    ~ProtocolSocket() override;

    void setEngine(ClientProtocol* engine) { engine_ = engine; }
    QTcpSocket& socket() { return socket_; }

    // Connected (the connection is active).
    bool isActive() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    // True while the engine reads one step's bytes.
    bool reading() const { return inStep_; }
    void connectTo(const QString& host, quint16 port);
    void close();

    // Nothing happens while the connection is not active.
    void send(std::string_view bytes);
    // Sends the whole file, bare, after what was sent before. The file is opened at once (so a
    // caller may delete it afterwards) and read as the socket drains. False when it cannot be
    // opened or there is no connection.
    bool sendFile(const QString& path);
    // Bytes of files still to send.
    qint64 pendingFileBytes() const;

Q_SIGNALS:
    void connected();
    void disconnected();
    void errorOccurred();
    // All queued files went out (their bytes were handed to the system).
    void filesSent();

private:
    void queueStep();
    void step();
    void readSteps();
    void pumpFiles();

    QTcpSocket socket_;
    ClientProtocol* engine_ = nullptr;
    bool stepQueued_ = false;
    bool inStep_ = false;    // the engine is reading a step's bytes
    bool stepAfter_ = false; // a step was due meanwhile
    QByteArray readBuffer_;  // one step's bytes, at most the engine's receive buffer
    std::deque<std::unique_ptr<QFile>> files_;
};

} // namespace kvz
