#pragma once

// kvizor-server: serves the tests of a folder to the workstations of a classroom, polls them,
// lets the supervisor allow, forbid, pause and message them, and collects their results.
// One command a line in, one log line per event out.

#include "ClientStream.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace kvz::server {

struct ServerOptions {
    QString testsFolder;
    QString resultsFolder;
    QHostAddress address = QHostAddress::Any;
    quint16 port = 32743;
    int pollMs = 3000;
    int gapMs = 300;         // pause after a message whose payload runs to the end of a read
    int freshWaitMs = 10000; // longest wait for the answer to a list message
};

// A test the server can offer: file name, catalogue class and subject (Windows-1251), size.
struct OfferedTest {
    QString path;
    std::string file; // "Optics.tst"
    std::string klass;
    std::string subject;
    qint64 size = 0;
};

class Server : public QObject {
    Q_OBJECT
public:
    Server(ServerOptions options, std::function<void(const QString&)> log);
    ~Server() override;

    bool start();
    quint16 port() const;
    // One line of the supervisor's input.
    void command(const QString& line);

    // Scans the tests folder: the tests it may offer. Reports (through the log) each one it
    // leaves out and why.
    void scanTests();
    const std::vector<OfferedTest>& tests() const { return tests_; }

    // Why a test's name, class or subject would be split wrongly by a workstation, or empty.
    static QString unsafeField(const std::string& name, const std::string& klass,
                               const std::string& subject);

Q_SIGNALS:
    void quitRequested();

private:
    struct Outgoing {
        QByteArray head;
        QByteArray body; // shared with the archive cache, streamed in pieces
        qint64 sent = 0;
        enum Wait { None, Gap, Fresh, Free } wait = None;
        bool isList = false;
    };
    struct Workstation {
        int number = 0;
        QTcpSocket* socket = nullptr;
        QString address;
        std::string host;
        ClientStream stream;
        std::deque<Outgoing> queue;
        bool writing = false; // the front of the queue is being written
        enum Gate { Open, Gap, Fresh, Free } gate = Open;
        QTimer* gateTimer = nullptr;
        QTimer* quietTimer = nullptr;
        bool listQueued = false;
        // From the last "FRESH".
        bool permitted = false;
        std::string testLine;
        std::string nameLine;
        bool freshSeen = false;
        bool started = false;
        std::string downloading;
    };

    void accept();
    void readFrom(Workstation& w, bool quiet);
    void handle(Workstation& w, ClientMessage& m);
    void storeResult(Workstation& w, const std::string& bytes);
    void enqueue(Workstation& w, Outgoing out);
    void pump(Workstation& w);
    void openGate(Workstation& w);
    void poll();
    QByteArray listMessage(const Workstation& w) const;
    QByteArray testInfoMessage(const OfferedTest& t) const;
    const OfferedTest* findTest(const std::string& file) const;
    std::vector<Workstation*> targets(const QString& which);
    void drop(int number);
    QString status(const Workstation& w) const;
    void emitLog(const QString& line) { log_(line); }
    QByteArray archive(const OfferedTest& t);

    ServerOptions options_;
    std::function<void(const QString&)> log_;
    QTcpServer* listener_ = nullptr;
    QTimer pollTimer_;
    std::map<int, std::unique_ptr<Workstation>> stations_;
    int nextNumber_ = 1;
    std::vector<OfferedTest> tests_;
    std::map<std::string, QByteArray> archives_; // loaded once, shared by every transfer
    bool choiceMode_ = true;
    std::string setTest_;
    bool shuffle_ = false;
};

} // namespace kvz::server
