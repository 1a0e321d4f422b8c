#include "Server.h"

#include "choice/Catalogue.h"
#include "l10n/Cp1251.h"
#include "net/ProtocolText.h"
#include "results/ResultPassword.h"
#include "test/ZipMemory.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace kvz::server {

namespace {

constexpr qint64 kPiece = 64 * 1024;
constexpr qint64 kSocketBacklog = 256 * 1024;
constexpr int kQuietMs = 150;

QString u(const std::string& cp1251Text) {
    return cp1251::toUnicode(cp1251Text);
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

} // namespace

Server::Server(ServerOptions options, std::function<void(const QString&)> log)
    : options_(std::move(options)), log_(std::move(log)) {
    pollTimer_.setInterval(options_.pollMs);
    connect(&pollTimer_, &QTimer::timeout, this, &Server::poll);
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

void Server::scanTests() {
    tests_.clear();
    archives_.clear();
    const QDir dir(options_.testsFolder);
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
        t.klass = info->klass;
        t.subject = info->subject;
        t.size = QFileInfo(path).size();
        const std::string name = t.file.substr(0, t.file.rfind('.'));
        if (const QString why = unsafeField(name, t.klass, t.subject); !why.isEmpty()) {
            emitLog(QStringLiteral("test-skipped %1: %2").arg(file, why));
            continue;
        }
        if (t.size <= 0 || t.size > 0x7fffffff) {
            emitLog(QStringLiteral("test-skipped %1: size %2").arg(file).arg(t.size));
            continue;
        }
        emitLog(
            QStringLiteral("test %1 <%2, %3> %4").arg(file, u(t.klass), u(t.subject)).arg(t.size));
        tests_.push_back(std::move(t));
    }
}

const OfferedTest* Server::findTest(const std::string& file) const {
    for (const OfferedTest& t : tests_)
        if (t.file == file)
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
    QByteArray data = f.readAll();
    if (data.size() != t.size)
        return {};
    archives_[t.file] = data;
    return data;
}

void Server::accept() {
    while (QTcpSocket* socket = listener_->nextPendingConnection()) {
        auto w = std::make_unique<Workstation>();
        w->number = nextNumber_++;
        w->socket = socket;
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
        connect(socket, &QTcpSocket::bytesWritten, this, [this, find] {
            if (Workstation* s = find())
                pump(*s);
        });
        connect(w->gateTimer, &QTimer::timeout, this, [this, find] {
            if (Workstation* s = find()) {
                if (s->gate == Workstation::Fresh)
                    emitLog(QStringLiteral("no-answer %1").arg(s->number));
                openGate(*s);
            }
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, number] { drop(number); });
        emitLog(QStringLiteral("connected %1 %2").arg(number).arg(w->address));
        stations_[number] = std::move(w);
    }
}

void Server::drop(int number) {
    auto it = stations_.find(number);
    if (it == stations_.end())
        return;
    std::unique_ptr<Workstation> w = std::move(it->second);
    stations_.erase(it);
    emitLog(QStringLiteral("disconnected %1").arg(number));
    w->socket->disconnect(this);
    w->socket->deleteLater(); // takes its timers with it
}

void Server::readFrom(Workstation& w, bool quiet) {
    const int number = w.number;
    const QByteArray in = w.socket->readAll();
    w.stream.add(std::string_view(in.constData(), std::size_t(in.size())));
    ClientMessage m;
    while (stations_.count(number) && w.stream.next(m, quiet))
        handle(w, m);
}

void Server::handle(Workstation& w, ClientMessage& m) {
    const int n = w.number;
    switch (m.kind) {
    case ClientMessage::Host:
        w.host = m.text;
        emitLog(QStringLiteral("host %1 %2").arg(n).arg(u(w.host)));
        if (!choiceMode_)
            if (const OfferedTest* t = findTest(setTest_))
                enqueue(w, {testInfoMessage(*t), {}, 0, Outgoing::Gap});
        w.listQueued = true;
        enqueue(w, {listMessage(w), {}, 0, Outgoing::Fresh, true});
        break;
    case ClientMessage::Fresh:
        w.freshSeen = true;
        w.permitted = m.lines.size() > 1 && m.lines[1] == "1";
        w.testLine = m.lines.size() > 2 ? m.lines[2] : std::string();
        w.nameLine = m.lines.size() > 3 ? m.lines[3] : std::string();
        emitLog(QStringLiteral("fresh %1 permitted=%2 test=%3 name=%4")
                    .arg(n)
                    .arg(w.permitted ? 1 : 0)
                    .arg(u(w.testLine), u(w.nameLine)));
        if (w.gate == Workstation::Fresh)
            openGate(w);
        break;
    case ClientMessage::GiveMeTest: {
        emitLog(QStringLiteral("request %1 %2").arg(n).arg(u(m.text)));
        const OfferedTest* t = findTest(m.text);
        if (!t) {
            emitLog(QStringLiteral("refused %1 %2: no such test").arg(n).arg(u(m.text)));
            break;
        }
        const QByteArray data = archive(*t);
        if (data.isEmpty()) {
            emitLog(QStringLiteral("refused %1 %2: the file changed or cannot be read")
                        .arg(n)
                        .arg(u(m.text)));
            break;
        }
        w.downloading = t->file;
        enqueue(w, {QByteArrayLiteral("TSTF"), data, 0, Outgoing::Free});
        break;
    }
    case ClientMessage::Free:
        emitLog(QStringLiteral("free %1").arg(n));
        w.downloading.clear();
        if (w.gate == Workstation::Free)
            openGate(w);
        break;
    case ClientMessage::Send:
        emitLog(QStringLiteral("message-from %1 %2").arg(n).arg(u(m.text)));
        break;
    case ClientMessage::Start:
        w.started = true;
        emitLog(QStringLiteral("start %1").arg(n));
        break;
    case ClientMessage::Result:
        storeResult(w, m.bytes);
        break;
    case ClientMessage::Garbage:
        emitLog(QStringLiteral("garbage %1 %2 bytes").arg(n).arg(m.bytes.size()));
        break;
    case ClientMessage::TooLong:
        emitLog(QStringLiteral("garbage %1 %2 bytes without an end").arg(n).arg(m.bytes.size()));
        break;
    }
}

void Server::storeResult(Workstation& w, const std::string& data) {
    const int n = w.number;
    const QByteArray archiveBytes = bytes(data);
    QString error;
    auto zip = MemoryZip::open(archiveBytes, &error);
    if (!zip) {
        emitLog(QStringLiteral("result-refused %1: not a ZIP archive").arg(n));
        return;
    }
    zip->setPassword(resultPassword());
    for (const char* entry : {"inform.dat", "inform160.dat"}) {
        QByteArray out;
        const ZipReadStatus status =
            zip->extract(entry, ClientStream::kMaxResult, out, std::function<void(int)>());
        if (status != ZipReadStatus::Ok) {
            emitLog(QStringLiteral("result-refused %1: %2 %3")
                        .arg(n)
                        .arg(QString::fromLatin1(entry))
                        .arg(status == ZipReadStatus::BadPassword
                                 ? QStringLiteral("does not decrypt")
                                 : QStringLiteral("unreadable")));
            return;
        }
    }
    // Never a half-written result under a real name, never one replacing another.
    QTemporaryFile temp(QDir(options_.resultsFolder).filePath(QStringLiteral(".incoming-XXXXXX")));
    if (!temp.open() || temp.write(archiveBytes) != archiveBytes.size() || !temp.flush() ||
        ::fsync(temp.handle()) != 0) {
        emitLog(
            QStringLiteral("result-refused %1: cannot write: %2").arg(n).arg(temp.errorString()));
        return;
    }
    const QByteArray tempPath = QFile::encodeName(temp.fileName());
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString name = QStringLiteral("%1.rst").arg(
            QRandomGenerator::global()->bounded(100000000), 8, 10, QLatin1Char('0'));
        const QString path = QDir(options_.resultsFolder).filePath(name);
        if (::link(tempPath.constData(), QFile::encodeName(path).constData()) == 0) {
            fsyncPath(options_.resultsFolder, O_RDONLY | O_DIRECTORY);
            emitLog(QStringLiteral("result %1 %2 %3").arg(n).arg(name).arg(archiveBytes.size()));
            return;
        }
        if (errno != EEXIST)
            break;
    }
    emitLog(QStringLiteral("result-refused %1: no free name in the results folder").arg(n));
}

void Server::enqueue(Workstation& w, Outgoing out) {
    w.queue.push_back(std::move(out));
    pump(w);
}

void Server::openGate(Workstation& w) {
    w.gateTimer->stop();
    w.gate = Workstation::Open;
    pump(w);
}

void Server::pump(Workstation& w) {
    for (;;) {
        if (!w.writing) {
            if (w.gate != Workstation::Open || w.queue.empty())
                return;
            Outgoing& front = w.queue.front();
            if (front.isList) {
                front.head = listMessage(w); // fresh time and list at the moment it goes out
                w.listQueued = false;
            }
            // A list message goes out in one write: a workstation that read its header alone
            // would take it for complete.
            w.socket->write(front.head);
            w.writing = true;
            if (front.wait == Outgoing::Free)
                emitLog(QStringLiteral("sending %1 %2 %3")
                            .arg(w.number)
                            .arg(u(w.downloading))
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

QByteArray Server::listMessage(const Workstation& w) const {
    std::string out = "REFR\r\n" + std::to_string(w.number) + "\r\n" +
                      QString::number(nowAsDateTime(), 'f', 8).toStdString() + "\r\n" +
                      (shuffle_ ? "RAZB" : "NO") + "\r\n" + (choiceMode_ ? "Auto" : "Test") +
                      "\r\n";
    if (!choiceMode_)
        return bytes(out + "-1\r\n0\r\n");
    std::vector<std::string> lines;
    for (const OfferedTest& t : tests_)
        lines.push_back("<" + t.klass + ", " + t.subject + ">:" + std::to_string(t.size) + "*" +
                        t.file.substr(0, t.file.rfind('.')));
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
    for (auto& [number, w] : stations_) {
        if (w->listQueued || w->gate == Workstation::Free || w->writing)
            continue;
        w->listQueued = true;
        enqueue(*w, {{}, {}, 0, Outgoing::Fresh, true});
    }
}

std::vector<Server::Workstation*> Server::targets(const QString& which) {
    std::vector<Workstation*> out;
    if (which == QStringLiteral("all")) {
        for (auto& [number, w] : stations_)
            out.push_back(w.get());
        return out;
    }
    bool ok = false;
    const int number = which.toInt(&ok);
    auto it = stations_.find(number);
    if (!ok || it == stations_.end()) {
        emitLog(QStringLiteral("error no workstation %1").arg(which));
        return out;
    }
    out.push_back(it->second.get());
    return out;
}

QString Server::status(const Workstation& w) const {
    if (!w.downloading.empty())
        return QStringLiteral("downloading");
    if (!w.freshSeen)
        return QStringLiteral("connected");
    if (!w.nameLine.empty() && w.nameLine != " ")
        return QStringLiteral("testing");
    if (w.nameLine == " ")
        return QStringLiteral("busy");
    return QStringLiteral("waiting");
}

void Server::command(const QString& line) {
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty())
        return;
    const QString verb = trimmed.section(QLatin1Char(' '), 0, 0);
    const QString rest = trimmed.section(QLatin1Char(' '), 1).trimmed();
    const QString who = rest.section(QLatin1Char(' '), 0, 0);
    const QString arg = rest.section(QLatin1Char(' '), 1); // keeps inner blanks of a message

    if (verb == QStringLiteral("list")) {
        for (const auto& [number, w] : stations_)
            emitLog(QStringLiteral("workstation %1 %2 %3 status=%4 permitted=%5 test=%6 name=%7")
                        .arg(number)
                        .arg(w->host.empty() ? QStringLiteral("-") : u(w->host))
                        .arg(w->address, status(*w))
                        .arg(w->permitted ? 1 : 0)
                        .arg(u(w->testLine), u(w->nameLine)));
        emitLog(QStringLiteral("workstations %1").arg(stations_.size()));
    } else if (verb == QStringLiteral("allow") || verb == QStringLiteral("resume")) {
        const std::string password = cp1251::fromUnicode(arg);
        for (Workstation* w : targets(who)) {
            if (password.empty())
                enqueue(*w, {QByteArrayLiteral("_MAY"), {}, 0, Outgoing::None});
            else
                enqueue(*w, {bytes("!MAY" + ScramblePassword(password)), {}, 0, Outgoing::Gap});
            emitLog(QStringLiteral("%1 %2%3")
                        .arg(verb == QStringLiteral("allow") ? QStringLiteral("allowed")
                                                             : QStringLiteral("resumed"))
                        .arg(w->number)
                        .arg(password.empty() ? QString() : QStringLiteral(" with a password")));
        }
    } else if (verb == QStringLiteral("forbid") || verb == QStringLiteral("pause")) {
        for (Workstation* w : targets(who)) {
            enqueue(*w, {QByteArrayLiteral("NMAY"), {}, 0, Outgoing::None});
            emitLog(QStringLiteral("%1 %2")
                        .arg(verb == QStringLiteral("forbid") ? QStringLiteral("forbidden")
                                                              : QStringLiteral("paused"))
                        .arg(w->number));
        }
    } else if (verb == QStringLiteral("message")) {
        if (arg.isEmpty()) {
            emitLog(QStringLiteral("error message needs a text"));
            return;
        }
        for (Workstation* w : targets(who)) {
            enqueue(*w, {bytes("SEND" + cp1251::fromUnicode(arg)), {}, 0, Outgoing::Gap});
            emitLog(QStringLiteral("message-to %1 %2").arg(w->number).arg(arg));
        }
    } else if (verb == QStringLiteral("choice")) {
        choiceMode_ = true;
        setTest_.clear();
        emitLog(QStringLiteral("mode choice"));
    } else if (verb == QStringLiteral("set")) {
        const OfferedTest* t = findTest(cp1251::fromUnicode(rest));
        if (!t) {
            emitLog(QStringLiteral("error no such test: %1").arg(rest));
            return;
        }
        choiceMode_ = false;
        setTest_ = t->file;
        emitLog(QStringLiteral("mode set %1").arg(rest));
        for (auto& [number, w] : stations_)
            enqueue(*w, {testInfoMessage(*t), {}, 0, Outgoing::Gap});
    } else if (verb == QStringLiteral("shuffle")) {
        shuffle_ = rest == QStringLiteral("on");
        emitLog(QStringLiteral("shuffle %1")
                    .arg(shuffle_ ? QStringLiteral("on") : QStringLiteral("off")));
    } else if (verb == QStringLiteral("rescan")) {
        scanTests();
    } else if (verb == QStringLiteral("quit")) {
        emitLog(QStringLiteral("quit"));
        Q_EMIT quitRequested();
    } else {
        emitLog(QStringLiteral("error unknown command: %1").arg(verb));
    }
}

} // namespace kvz::server
