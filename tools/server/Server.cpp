#include "Server.h"

#include "choice/Catalogue.h"
#include "l10n/Cp1251.h"
#include "results/ResultReader.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace kvz::server {

namespace {

constexpr qint64 kPiece = 64 * 1024;
constexpr qint64 kSocketBacklog = 256 * 1024;
// A poll is not queued for a workstation that has not taken this much of what it was sent:
// the next one carries the same news.
constexpr qint64 kListBacklog = 64 * 1024;
constexpr int kQuietMs = 150;
// What is read from one workstation in one step: a burst is taken in steps, so that the others
// are served in between.
constexpr qint64 kReadStep = 256 * 1024;
constexpr int kSystemSendBuffer = 128 * 1024;
constexpr qint64 kLowSpaceLogEveryMs = 10000;

QString u(std::string_view cp1251Text) {
    return cp1251::toUnicode(std::string(cp1251Text));
}

// A workstation's text for the log.
QString field(std::string_view cp1251Text) {
    return Server::escaped(u(cp1251Text));
}

QByteArray bytes(const std::string& s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}

// Days since 30 December 1899, local time of day as the fraction.
double nowAsDateTime() {
    const QDateTime now = QDateTime::currentDateTime();
    return double(QDate(1899, 12, 30).daysTo(now.date())) +
           double(now.time().msecsSinceStartOfDay()) / 86400000.0;
}

bool fsyncPath(const QString& path, int flags) {
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool endsWithTst(std::string_view name) {
    if (name.size() < 4)
        return false;
    const std::string_view t = name.substr(name.size() - 4);
    return t[0] == '.' && (t[1] | 0x20) == 't' && (t[2] | 0x20) == 's' && (t[3] | 0x20) == 't';
}

// Connections the descriptor limit leaves room for, beside the server's own files and what
// others in the process keep (reserved).
int connectionsBelowDescriptorLimit(int reserved) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 4000;
    const auto soft = qint64(limit.rlim_cur);
    return int(std::max<qint64>(4, soft - std::min<qint64>(64, soft / 2) - reserved));
}

} // namespace

Server::Server(ServerOptions options, std::function<void(const QString&)> log)
    : options_(std::move(options)), log_(std::move(log)) {
    clock_.start();
    pollTimer_.setInterval(options_.pollMs);
    connect(&pollTimer_, &QTimer::timeout, this, &Server::poll);
    maxConnections_ = options_.maxConnections > 0
                          ? options_.maxConnections
                          : connectionsBelowDescriptorLimit(options_.reservedDescriptors);
}

Server::~Server() = default;

bool Server::start() {
    if (!QDir().mkpath(options_.resultsFolder)) {
        emitLog(QStringLiteral("error cannot create the results folder ") + options_.resultsFolder);
        return false;
    }
    scanTests();
    listener_ = new QTcpServer(this);
    connect(listener_, &QTcpServer::newConnection, this, &Server::accept);
    // Qt stops accepting after an error such as running out of descriptors: start again soon.
    connect(listener_, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        if (lastRefusedConnectionLog_ < 0 || now() - lastRefusedConnectionLog_ > 1000) {
            lastRefusedConnectionLog_ = now();
            emitLog(QStringLiteral("error cannot accept: ") + listener_->errorString());
        }
        QTimer::singleShot(200, this, [this] { listener_->resumeAccepting(); });
    });
    if (!listener_->listen(options_.address, options_.port)) {
        emitLog(QStringLiteral("error cannot listen: ") + listener_->errorString());
        return false;
    }
    emitLog(QStringLiteral("listening %1 %2")
                .arg(listener_->serverAddress().toString())
                .arg(listener_->serverPort()));
    pollTimer_.start();
    return true;
}

quint16 Server::port() const {
    return listener_ ? listener_->serverPort() : 0;
}

QString Server::unsafeField(const std::string& name, const std::string& klass,
                            const std::string& subject) {
    const std::pair<const char*, const std::string*> fields[] = {
        {"name", &name}, {"class", &klass}, {"subject", &subject}};
    for (const auto& [what, value] : fields)
        for (const char* bad : {":", "*", ", ", "<", "\r", "\n"})
            if (value->find(bad) != std::string::npos) {
                QString shown = QString::fromLatin1(bad);
                if (shown == QStringLiteral("\r"))
                    shown = QStringLiteral("CR");
                else if (shown == QStringLiteral("\n"))
                    shown = QStringLiteral("LF");
                return QStringLiteral("the %1 holds \"%2\"").arg(QString::fromLatin1(what), shown);
            }
    return {};
}

QString Server::escaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == u'\\')
            out += QStringLiteral("\\\\");
        else if (code == u'\n')
            out += QStringLiteral("\\n");
        else if (code == u'\r')
            out += QStringLiteral("\\r");
        else if (code == u'\t')
            out += QStringLiteral("\\t");
        else if (code < 0x20 || (code >= 0x7f && code < 0xa0))
            out += QStringLiteral("\\x%1").arg(int(code), 2, 16, QLatin1Char('0'));
        else if (code == 0x2028 || code == 0x2029 || code == 0xfeff)
            out += QStringLiteral("\\u%1").arg(int(code), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

void Server::scanTests() {
    tests_.clear();
    archives_.clear();
    const QDir dir(options_.testsFolder);
    // The name filter ignores case, so "Optics.TST" is offered too.
    const QStringList files =
        dir.entryList({QStringLiteral("*.tst")}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& file : files) {
        const QString path = dir.filePath(file);
        const auto info = ReadCatalogueFile(path);
        if (!info) {
            emitLog(QStringLiteral("test-skipped %1: no catalogue at its end").arg(file));
            continue;
        }
        OfferedTest t;
        t.path = path;
        t.file = cp1251::fromUnicode(file);
        t.stem = t.file.substr(0, t.file.size() - 4);
        t.klass = info->klass;
        t.subject = info->subject;
        t.size = QFileInfo(path).size();
        if (const QString why = unsafeField(t.stem, t.klass, t.subject); !why.isEmpty()) {
            emitLog(QStringLiteral("test-skipped %1: %2").arg(file, why));
            continue;
        }
        if (t.size <= 0 || t.size > 0x7fffffff) {
            emitLog(QStringLiteral("test-skipped %1: size %2").arg(file).arg(t.size));
            continue;
        }
        // A workstation asks for a test by its name: two files whose names differ only in the
        // case of the extension cannot both be asked for.
        if (std::any_of(tests_.begin(), tests_.end(),
                        [&](const OfferedTest& o) { return o.stem == t.stem; })) {
            emitLog(QStringLiteral("test-skipped %1: another test has the name %2")
                        .arg(file, u(t.stem)));
            continue;
        }
        emitLog(
            QStringLiteral("test %1 <%2, %3> %4").arg(file, u(t.klass), u(t.subject)).arg(t.size));
        everOffered_.insert(t.stem);
        tests_.push_back(std::move(t));
    }
}

const OfferedTest* Server::findTest(std::string_view file) const {
    if (!endsWithTst(file))
        return nullptr;
    const std::string_view stem = file.substr(0, file.size() - 4);
    for (const OfferedTest& t : tests_)
        if (t.stem == stem)
            return &t;
    return nullptr;
}

QByteArray Server::archive(const OfferedTest& t) {
    auto it = archives_.find(t.file);
    if (it != archives_.end())
        return it->second;
    QFile f(t.path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QByteArray data = f.read(t.size + 1);
    if (data.size() != t.size)
        return {};
    archives_[t.file] = data;
    return data;
}

void Server::accept() {
    while (QTcpSocket* socket = listener_->nextPendingConnection()) {
        if (int(stations_.size()) >= maxConnections_) {
            // Room for the newcomer: the workstation silent the longest goes (one that never
            // said a word first, then one that leaves polls unanswered), never one in a test.
            // One that came a moment ago and has not been heard yet goes only after those: its
            // first words may not have been read (a burst of connections is taken in one go).
            Workstation* victim = nullptr;
            const qint64 grace = std::min(1000, options_.pollMs);
            auto rank = [&](const Workstation& w) {
                const bool young = !w.sentAnything && now() - w.lastInput < grace;
                return std::tuple(w.sentAnything, young, -w.unanswered, w.lastInput);
            };
            for (auto& [number, w] : stations_)
                if (!isProtected(*w) && (!victim || rank(*w) < rank(*victim)))
                    victim = w.get();
            if (victim) {
                close(*victim, QStringLiteral("too many connections, this one the most idle"));
            } else {
                ++refusedConnections_;
                if (lastRefusedConnectionLog_ < 0 || now() - lastRefusedConnectionLog_ > 1000) {
                    lastRefusedConnectionLog_ = now();
                    emitLog(QStringLiteral("refused-connection %1: %2 connections, all in a test "
                                           "(%3 refused so far)")
                                .arg(socket->peerAddress().toString())
                                .arg(stations_.size())
                                .arg(refusedConnections_));
                }
                socket->abort();
                socket->deleteLater();
                continue;
            }
        }
        auto w = std::make_unique<Workstation>();
        w->number = nextNumber_++;
        w->socket = socket;
        socket->setReadBufferSize(kReadStep);
        // What the system holds for a workstation that reads nothing stays small too, and what
        // it does not take shows in bytesToWrite() (ample for a classroom network).
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kSystemSendBuffer);
        w->lastInput = now();
        w->tokens = 4.0 * options_.logPerSecond;
        w->tokensAt = now();
        const QHostAddress peer = socket->peerAddress();
        bool mapped = false;
        const quint32 v4 = peer.toIPv4Address(&mapped);
        w->address = mapped ? QHostAddress(v4).toString() : peer.toString();
        w->gateTimer = new QTimer(socket);
        w->gateTimer->setSingleShot(true);
        w->quietTimer = new QTimer(socket);
        w->quietTimer->setSingleShot(true);
        w->quietTimer->setInterval(kQuietMs);
        const int number = w->number;
        auto find = [this, number]() -> Workstation* {
            auto it = stations_.find(number);
            return it == stations_.end() ? nullptr : it->second.get();
        };
        connect(socket, &QTcpSocket::readyRead, this, [this, find] {
            if (Workstation* s = find()) {
                s->quietTimer->start();
                readFrom(*s, false);
            }
        });
        connect(w->quietTimer, &QTimer::timeout, this, [this, find] {
            if (Workstation* s = find())
                readFrom(*s, true);
        });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, find](qint64 n) {
            if (Workstation* s = find()) {
                s->taken += n;
                pump(*s);
            }
        });
        connect(w->gateTimer, &QTimer::timeout, this, [this, find] {
            if (Workstation* s = find()) {
                if (s->gate == Workstation::Fresh) {
                    ++s->unanswered;
                    if (mayLog(*s))
                        emitLog(QStringLiteral("no-answer %1").arg(s->number));
                }
                openGate(*s);
            }
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, number] { drop(number); });
        emitLog(QStringLiteral("connected %1 %2").arg(number).arg(w->address));
        stations_[number] = std::move(w);
        // What it sent already is read now, before the next newcomer may need its place: a
        // workstation that said who it is is not taken for an idle connection.
        socket->waitForReadyRead(0);
    }
}

void Server::drop(int number) {
    auto it = stations_.find(number);
    if (it == stations_.end())
        return;
    std::unique_ptr<Workstation> w = std::move(it->second);
    stations_.erase(it);
    w->gone = true;
    if (w->dropped > 0)
        emitLog(QStringLiteral("log-dropped %1 %2").arg(number).arg(w->dropped));
    emitLog(QStringLiteral("disconnected %1").arg(number));
    w->socket->disconnect(this);
    w->socket->abort();
    w->socket->deleteLater(); // takes its timers with it
    // Its messages may be being read: it goes when the event loop is back.
    if (gone_.empty())
        QTimer::singleShot(0, this, [this] { gone_.clear(); });
    gone_.push_back(std::move(w));
}

void Server::close(Workstation& w, const QString& why) {
    emitLog(QStringLiteral("closed %1: %2").arg(w.number).arg(why));
    drop(w.number);
}

bool Server::isProtected(const Workstation& w) const {
    return w.gate == Workstation::Free || !w.downloading.empty() || !w.downloadedHere.empty();
}

bool Server::mayLog(Workstation& w) {
    const qint64 t = now();
    const double burst = 4.0 * options_.logPerSecond;
    w.tokens = std::min(burst, w.tokens + double(t - w.tokensAt) * options_.logPerSecond / 1000.0);
    w.tokensAt = t;
    if (w.tokens < 1.0) {
        ++w.dropped;
        return false;
    }
    w.tokens -= 1.0;
    flushDropped(w);
    return true;
}

void Server::flushDropped(Workstation& w) {
    if (w.dropped == 0)
        return;
    emitLog(QStringLiteral("log-dropped %1 %2").arg(w.number).arg(w.dropped));
    w.dropped = 0;
}

void Server::readFrom(Workstation& w, bool quiet) {
    const QByteArray in = w.socket->readAll();
    if (!in.isEmpty()) {
        w.lastInput = now();
        w.sentAnything = true;
    }
    w.stream.add(std::string_view(in.constData(), std::size_t(in.size())));
    ClientMessage m;
    while (!w.gone && w.stream.next(m, quiet))
        handle(w, m);
}

void Server::handle(Workstation& w, const ClientMessage& m) {
    const int n = w.number;
    switch (m.kind) {
    case ClientMessage::Host:
        w.host = std::string(m.text);
        if (mayLog(w))
            emitLog(QStringLiteral("host %1 %2").arg(n).arg(field(w.host)));
        if (mode_ == Mode::Set && !w.infoQueued)
            if (const OfferedTest* t = findTest(setTest_)) {
                w.allowed = false;
                w.infoQueued = true;
                enqueue(w, {testInfoMessage(*t), {}, 0, Outgoing::Gap, Outgoing::Info});
            }
        if (!w.gone && !w.listQueued) {
            w.listQueued = true;
            enqueue(w, {{}, {}, 0, Outgoing::Fresh, Outgoing::List});
        }
        break;
    case ClientMessage::Fresh:
        w.freshSeen = true;
        w.unanswered = 0;
        w.permitted = m.lines[1] == "1";
        w.testLine = std::string(m.lines[2]);
        w.nameLine = std::string(m.lines[3]);
        if (mayLog(w))
            emitLog(QStringLiteral("fresh %1 permitted=%2 test=%3 name=%4")
                        .arg(n)
                        .arg(w.permitted ? 1 : 0)
                        .arg(field(w.testLine), field(w.nameLine)));
        if (w.gate == Workstation::Fresh)
            openGate(w);
        break;
    case ClientMessage::GiveMeTest:
        request(w, m.text);
        break;
    case ClientMessage::Free:
        if (mayLog(w))
            emitLog(QStringLiteral("free %1").arg(n));
        w.downloading.clear();
        if (w.gate == Workstation::Free)
            openGate(w);
        break;
    case ClientMessage::Send:
        if (mayLog(w))
            emitLog(QStringLiteral("message-from %1 %2").arg(n).arg(field(m.text)));
        break;
    case ClientMessage::Start:
        w.started = true;
        if (mayLog(w))
            emitLog(QStringLiteral("start %1").arg(n));
        break;
    case ClientMessage::Result:
        storeResult(w, m.bytes);
        break;
    case ClientMessage::Garbage:
        if (mayLog(w))
            emitLog(QStringLiteral("garbage %1 %2 bytes").arg(n).arg(m.bytes.size()));
        break;
    case ClientMessage::TooLong:
        if (mayLog(w))
            emitLog(
                QStringLiteral("garbage %1 %2 bytes without an end").arg(n).arg(m.bytes.size()));
        break;
    }
}

void Server::request(Workstation& w, std::string_view name) {
    const int n = w.number;
    const bool logged = mayLog(w);
    if (logged)
        emitLog(QStringLiteral("request %1 %2").arg(n).arg(field(name)));
    auto refuse = [&](const char* why) {
        if (logged)
            emitLog(QStringLiteral("refused %1 %2: %3")
                        .arg(n)
                        .arg(field(name))
                        .arg(QString::fromLatin1(why)));
    };
    if (!w.downloading.empty()) {
        refuse("a download is in progress");
        return;
    }
    const OfferedTest* t = findTest(name);
    if (!t) {
        refuse("no such test");
        return;
    }
    // A test goes only where the supervisor let it: in choice mode to a workstation that has
    // the list and was not forbidden since, in set mode only the set test, and only once the
    // workstation was allowed after the test was set.
    if (mode_ == Mode::None) {
        refuse("no test is offered");
        return;
    }
    if (mode_ == Mode::Set && t->file != setTest_) {
        refuse("another test is set");
        return;
    }
    if (!w.allowed) {
        refuse("not allowed");
        return;
    }
    const QByteArray data = archive(*t);
    if (data.isEmpty()) {
        refuse("the file changed or cannot be read");
        return;
    }
    w.downloading = t->file;
    w.downloadedHere = t->stem;
    downloads_[key(w)].insert(t->stem);
    enqueue(w, {QByteArrayLiteral("TSTF"), data, 0, Outgoing::Free});
}

std::string Server::key(const Workstation& w) const {
    return w.address.toStdString() + '\n' + w.host;
}

bool Server::acceptsAnyResult(const Workstation& w) const {
    const QString host = u(w.host);
    for (const QString& entry : options_.acceptAnyResult)
        if (entry == QStringLiteral("*") || entry == w.address ||
            (!host.isEmpty() && entry == host))
            return true;
    return false;
}

void Server::storeResult(Workstation& w, std::string_view data) {
    const int n = w.number;
    auto refuse = [&](const QString& why) {
        if (mayLog(w))
            emitLog(QStringLiteral("result-refused %1: %2").arg(n).arg(why));
    };
    const QByteArray archiveBytes(data.data(), qsizetype(data.size()));
    const ResultReadResult read = readResultArchive(archiveBytes);
    if (!read.record) {
        refuse(QStringLiteral("not a result archive: ") + escaped(read.error));
        return;
    }
    // Only a result of a test this server offered, from a workstation it sent that test to,
    // and only a few of them: forged results cannot crowd out honest ones.
    const std::string& test = read.record->facts.testName;
    if (!everOffered_.count(test)) {
        refuse(QStringLiteral("the test %1 is not on offer").arg(field(test)));
        return;
    }
    const std::string who = key(w);
    const auto sent = downloads_.find(who);
    if (!acceptsAnyResult(w) && (sent == downloads_.end() || !sent->second.count(test))) {
        refuse(QStringLiteral("the test %1 was not sent to this workstation").arg(field(test)));
        return;
    }
    int& count = stored_[{who, test}];
    if (count >= options_.resultQuota) {
        refuse(QStringLiteral("%1 results of the test %2 already stored from this workstation")
                   .arg(count)
                   .arg(field(test)));
        return;
    }
    struct statvfs fs {};
    if (::statvfs(QFile::encodeName(options_.resultsFolder).constData(), &fs) == 0) {
        const qint64 free = qint64(fs.f_bavail) * qint64(fs.f_frsize);
        if (free - archiveBytes.size() < options_.reserveBytes) {
            if (lastLowSpaceLog_ < 0 || now() - lastLowSpaceLog_ >= kLowSpaceLogEveryMs) {
                lastLowSpaceLog_ = now();
                emitLog(QStringLiteral("low-space %1: %2 KB free, results are refused below "
                                       "%3 KB: make room and ask the pupils to send again")
                            .arg(options_.resultsFolder)
                            .arg(free / 1024)
                            .arg(options_.reserveBytes / 1024));
            }
            refuse(QStringLiteral("the results folder is nearly full"));
            return;
        }
    }
    // Never a half-written result under a real name, never one replacing another.
    QTemporaryFile temp(QDir(options_.resultsFolder).filePath(QStringLiteral(".incoming-XXXXXX")));
    if (!temp.open() || temp.write(archiveBytes) != archiveBytes.size() || !temp.flush() ||
        ::fsync(temp.handle()) != 0) {
        refuse(QStringLiteral("cannot write: %1").arg(temp.errorString()));
        return;
    }
    const QByteArray tempPath = QFile::encodeName(temp.fileName());
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString name = QStringLiteral("%1.rst").arg(
            QRandomGenerator::global()->bounded(100000000), 8, 10, QLatin1Char('0'));
        const QString path = QDir(options_.resultsFolder).filePath(name);
        if (::link(tempPath.constData(), QFile::encodeName(path).constData()) == 0) {
            fsyncPath(options_.resultsFolder, O_RDONLY | O_DIRECTORY);
            ++count;
            emitLog(QStringLiteral("result %1 %2 %3").arg(n).arg(name).arg(archiveBytes.size()));
            Q_EMIT resultStored(n, path);
            return;
        }
        if (errno != EEXIST)
            break;
    }
    refuse(QStringLiteral("no free name in the results folder"));
}

bool Server::enqueue(Workstation& w, Outgoing out) {
    if (w.gone)
        return false;
    w.queuedBytes += out.head.size();
    w.queue.push_back(std::move(out));
    pump(w);
    return !w.gone;
}

void Server::openGate(Workstation& w) {
    w.gateTimer->stop();
    w.gate = Workstation::Open;
    pump(w);
}

void Server::pump(Workstation& w) {
    while (!w.gone) {
        if (!w.writing) {
            if (w.gate != Workstation::Open || w.queue.empty())
                return;
            Outgoing& front = w.queue.front();
            if (front.kind == Outgoing::List) {
                w.listQueued = false;
                if (w.socket->bytesToWrite() > kListBacklog) {
                    // It has not taken the last one: this news is refreshed anyway.
                    ++w.unanswered;
                    w.queue.pop_front();
                    continue;
                }
                front.head = listMessage(w); // fresh time and list at the moment it goes out
            } else {
                w.queuedBytes -= front.head.size();
                if (front.kind == Outgoing::Info)
                    w.infoQueued = false;
            }
            // A list message goes out in one write: a workstation that read its header alone
            // would take it for complete.
            w.socket->write(front.head);
            w.writing = true;
            if (front.wait == Outgoing::Free && mayLog(w))
                emitLog(QStringLiteral("sending %1 %2 %3")
                            .arg(w.number)
                            .arg(field(w.downloading))
                            .arg(front.body.size()));
        }
        Outgoing& front = w.queue.front();
        while (front.sent < front.body.size() && w.socket->bytesToWrite() < kSocketBacklog) {
            const qint64 piece = std::min<qint64>(kPiece, front.body.size() - front.sent);
            w.socket->write(front.body.constData() + front.sent, piece);
            front.sent += piece;
        }
        if (front.sent < front.body.size())
            return; // more when the socket has taken these
        const Outgoing::Wait wait = front.wait;
        w.queue.pop_front();
        w.writing = false;
        switch (wait) {
        case Outgoing::None:
            continue;
        case Outgoing::Gap:
            w.gate = Workstation::Gap;
            w.gateTimer->start(options_.gapMs);
            return;
        case Outgoing::Fresh:
            w.gate = Workstation::Fresh;
            w.gateTimer->start(options_.freshWaitMs);
            return;
        case Outgoing::Free:
            w.gate = Workstation::Free; // until "FREE" or the connection ends
            return;
        }
    }
}

QByteArray Server::listMessage(Workstation& w) {
    const bool choice = mode_ == Mode::Choice && !w.forbidden;
    // The workstation reads the first list of choice mode as a permission, so a workstation
    // the supervisor forbade gets none.
    if (choice && !w.choiceShown)
        w.allowed = true;
    w.choiceShown = choice;
    std::string out = "REFR\r\n" + std::to_string(w.number) + "\r\n" +
                      QString::number(nowAsDateTime(), 'f', 8).toStdString() + "\r\n" +
                      (shuffle_ ? "RAZB" : "NO") + "\r\n" + (choice ? "Auto" : "Test") + "\r\n";
    if (!choice)
        return bytes(out + "-1\r\n0\r\n");
    std::vector<std::string> lines;
    for (const OfferedTest& t : tests_)
        lines.push_back("<" + t.klass + ", " + t.subject + ">:" + std::to_string(t.size) + "*" +
                        t.stem);
    out += std::to_string(lines.size()) + "\r\n" +
           std::to_string(lines.empty() ? 0 : lines.back().size()) + "\r\n";
    for (const std::string& l : lines)
        out += l + "\r\n";
    return bytes(out);
}

QByteArray Server::testInfoMessage(const OfferedTest& t) const {
    return bytes("TSTN" + t.file + "\r\n" + t.klass + "\r\n" + t.subject + "\r\n" +
                 std::to_string(t.size) + "\r\n");
}

void Server::poll() {
    std::vector<Workstation*> silent, deaf;
    for (auto& [number, w] : stations_) {
        if (w->dropped > 0 && w->tokens >= 1.0)
            flushDropped(*w);
        // A workstation that does not take what it is sent is not kept at any cost; one in
        // the middle of a test is (its polls are left out instead, and the rest is the
        // supervisor's). Looked at here, a poll after the writes, when the system has taken
        // what the connection takes; one that took anything since the last poll is reading,
        // only slowly (a loaded workstation), and stays.
        const bool tookNothing = w->taken == w->takenAtPoll;
        w->takenAtPoll = w->taken;
        if (!isProtected(*w) && tookNothing && w->socket->bytesToWrite() > options_.outputCap) {
            deaf.push_back(w.get());
            continue;
        }
        if (!isProtected(*w) && w->unanswered >= 2 && now() - w->lastInput >= options_.idleMs) {
            silent.push_back(w.get());
            continue;
        }
        if (w->listQueued || w->gate == Workstation::Free || w->writing)
            continue;
        w->listQueued = true;
        enqueue(*w, {{}, {}, 0, Outgoing::Fresh, Outgoing::List});
    }
    for (Workstation* w : deaf)
        close(*w, QStringLiteral("it does not read what it is sent"));
    for (Workstation* w : silent)
        close(*w, QStringLiteral("silent: %1 polls unanswered, nothing received for %2 s")
                      .arg(w->unanswered)
                      .arg((now() - w->lastInput) / 1000));
}

} // namespace kvz::server
