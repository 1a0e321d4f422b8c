#pragma once

// kvizor-server: serves the tests of a folder to the workstations of a classroom, polls them,
// lets the supervisor allow, forbid and pause them, send messages, and collects their results.
// One log line per event out. The supervisor's actions are methods here, so that every way of
// giving them (a line of standard input, the console) does the same thing.

#include "ClientStream.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

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
    // A workstation that left two polls unanswered and sent nothing for this long is closed
    // (never one in the middle of a test).
    int idleMs = 60000;
    int maxConnections = 0; // 0: below the descriptor limit, with room for the server's files
    // Descriptors kept for others in the process (the console) when maxConnections is 0.
    int reservedDescriptors = 0;
    qint64 outputCap = 1024 * 1024; // bytes queued for one workstation before it is dropped
    int logPerSecond = 10;          // log lines one workstation may cause, on average
    int resultQuota = 2;            // results stored per workstation and test
    qint64 reserveBytes = 32LL * 1024 * 1024; // free space the results folder keeps
    // Workstations (address, host name, or "*") whose results are stored without a download
    // in this server's life: for a classroom moved to a new server in the middle of a test.
    QStringList acceptAnyResult;
};

// A test the server can offer: file name, catalogue class and subject (Windows-1251), size.
struct OfferedTest {
    QString path;
    std::string file; // "Optics.tst"
    std::string stem; // "Optics": the name a workstation shows and its result carries
    std::string klass;
    std::string subject;
    qint64 size = 0;
};

// What the console shows of one connected workstation, as its last poll reported it.
struct StationView {
    int number = 0;
    QString host;
    QString address;
    QString state; // connected, choosing, downloading, examinee, testing, paused
    QString test;
    QString name;
    int percent = -1; // of the download, while one runs
    int unanswered = 0;
    qint64 quietMs = 0;        // since its last bytes
    bool awaitingFree = false; // a test is on its way: it says nothing until it has it
    bool allowed = false;
};

class Server : public QObject {
    Q_OBJECT
public:
    enum class Mode { None, Choice, Set };

    Server(ServerOptions options, std::function<void(const QString&)> log);
    ~Server() override;

    bool start();
    quint16 port() const;
    // One line of the supervisor's input.
    void command(const QString& line);

    // The supervisor's actions. who: a workstation's number or "all".
    void listWorkstations();
    void allow(const QString& who, const QString& password, bool resuming = false);
    void forbid(const QString& who, bool pausing = false);
    void message(const QString& who, const QString& text);
    void offerChoice();                // the examinees choose from the list
    bool setTest(const QString& file); // every workstation gets this test, once allowed
    void withdraw();                   // nothing is offered
    void setShuffle(bool on);
    // Scans the tests folder: the tests it may offer. Reports (through the log) each one it
    // leaves out and why.
    void scanTests();
    // The connected workstations in number order.
    std::vector<StationView> stationViews() const;
    int pollMs() const { return options_.pollMs; }
    const QString& resultsFolder() const { return options_.resultsFolder; }
    // Ends the server (after logging it).
    void quit();
    // A line in the server's log, as from the server itself.
    void logLine(const QString& line) { log_(line); }

    const std::vector<OfferedTest>& tests() const { return tests_; }
    Mode mode() const { return mode_; }
    bool shuffle() const { return shuffle_; }
    const QString& setTestFile() const { return setTestName_; }
    int maxConnections() const { return maxConnections_; }
    std::size_t connections() const { return stations_.size(); }

    // Why a test's name, class or subject would be split wrongly by a workstation, or empty.
    static QString unsafeField(const std::string& name, const std::string& klass,
                               const std::string& subject);
    // A text from a workstation made safe for a one-line log: control characters, line breaks
    // and backslashes written as escapes.
    static QString escaped(const QString& text);
    // The offered test a request or a command names ("Optics.tst", the extension in any case).
    const OfferedTest* findTest(std::string_view file) const;

Q_SIGNALS:
    void quitRequested();
    // A result was stored under path, from workstation number.
    void resultStored(int number, const QString& path);
    // The supervisor allowed with this test password.
    void passwordGiven(const QString& password);

private:
    struct Outgoing {
        QByteArray head;
        QByteArray body; // shared with the archive cache, streamed in pieces
        qint64 sent = 0;
        enum Wait { None, Gap, Fresh, Free } wait = None;
        enum Kind { Plain, List, Info } kind = Plain;
    };
    struct Workstation {
        int number = 0;
        QTcpSocket* socket = nullptr;
        QString address;
        std::string host;
        ClientStream stream;
        std::deque<Outgoing> queue;
        qint64 queuedBytes = 0; // heads waiting in the queue
        bool writing = false;   // the front of the queue is being written
        enum Gate { Open, Gap, Fresh, Free } gate = Open;
        QTimer* gateTimer = nullptr;
        QTimer* quietTimer = nullptr;
        bool listQueued = false;
        bool infoQueued = false;
        bool gone = false;
        // What the workstation was told: whether it may ask for a test, whether it shows the
        // choice list (the first list in choice mode permits it, as the workstation reads it).
        bool allowed = false;
        bool choiceShown = false;
        bool forbidden = false; // by the supervisor, until allowed again: no list either
        // From the last "FRESH".
        bool permitted = false;
        std::string testLine;
        std::string nameLine;
        bool freshSeen = false;
        bool started = false;
        std::string downloading;    // the file being sent, until "FREE"
        std::string downloadedHere; // the last test sent over this connection
        // Silence and the log.
        qint64 lastInput = 0;
        bool sentAnything = false;
        int unanswered = 0;
        double tokens = 0;
        qint64 tokensAt = 0;
        qint64 dropped = 0;
        // Bytes the system has taken for the connection, in all and at the last poll.
        qint64 taken = 0;
        qint64 takenAtPoll = 0;
    };

    void accept();
    void readFrom(Workstation& w, bool quiet);
    void handle(Workstation& w, const ClientMessage& m);
    void request(Workstation& w, std::string_view name);
    void storeResult(Workstation& w, std::string_view bytes);
    bool enqueue(Workstation& w, Outgoing out);
    void pump(Workstation& w);
    void openGate(Workstation& w);
    void poll();
    QByteArray listMessage(Workstation& w);
    QByteArray testInfoMessage(const OfferedTest& t) const;
    std::vector<Workstation*> targets(const QString& which);
    void drop(int number);
    void close(Workstation& w, const QString& why);
    bool isProtected(const Workstation& w) const;
    QString status(const Workstation& w) const;
    void emitLog(const QString& line) { log_(line); }
    // Whether a line that w's bytes caused may go to the log now (counts the ones that may not).
    bool mayLog(Workstation& w);
    void flushDropped(Workstation& w);
    QByteArray archive(const OfferedTest& t);
    std::string key(const Workstation& w) const;
    bool acceptsAnyResult(const Workstation& w) const;
    qint64 now() const { return clock_.elapsed(); }

    ServerOptions options_;
    std::function<void(const QString&)> log_;
    QTcpServer* listener_ = nullptr;
    QTimer pollTimer_;
    QElapsedTimer clock_;
    std::map<int, std::unique_ptr<Workstation>> stations_;
    std::vector<std::unique_ptr<Workstation>> gone_; // dropped while their messages were read
    int nextNumber_ = 1;
    int maxConnections_ = 0;
    std::vector<OfferedTest> tests_;
    std::set<std::string> everOffered_;          // test names offered in this server's life
    std::map<std::string, QByteArray> archives_; // loaded once, shared by every transfer
    // What each workstation (address and host name) downloaded, and the results stored from it.
    std::map<std::string, std::set<std::string>> downloads_;
    std::map<std::pair<std::string, std::string>, int> stored_;
    Mode mode_ = Mode::None;
    std::string setTest_;
    QString setTestName_;
    bool shuffle_ = false;
    qint64 lastLowSpaceLog_ = -1;
    qint64 lastRefusedConnectionLog_ = -1;
    qint64 refusedConnections_ = 0;
};

} // namespace kvz::server
