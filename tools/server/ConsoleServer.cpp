#include "ConsoleServer.h"

#include "CommandLayer.h"
#include "Server.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>

// The page lives in this static library: its resources are registered by hand.
static void initConsoleResources() {
    Q_INIT_RESOURCE(console);
}

namespace kvz::server {

namespace {

constexpr qsizetype kMaxHead = 16 * 1024;
constexpr qint64 kMaxBody = 16 * 1024;
constexpr std::size_t kLogKept = 500;
constexpr int kStateMs = 250; // how often a change the log did not announce is looked for
const QByteArray kCookie = QByteArrayLiteral("kvizor_console");

bool sameText(const QByteArray& a, const QByteArray& b) {
    // In time that does not depend on where they differ.
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

QByteArray reply(int code, const char* reason, const QByteArray& type, const QByteArray& body,
                 const QByteArray& extra = {}) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(code) + ' ' + reason + "\r\n";
    out += "Content-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\nCache-Control: no-store\r\nX-Content-Type-Options: "
           "nosniff\r\nX-Frame-Options: DENY\r\nContent-Security-Policy: default-src 'self'; "
           "connect-src 'self'; img-src 'self' data:\r\n" +
           extra + "\r\n" + body;
    return out;
}

} // namespace

ConsoleServer::ConsoleServer(Server& server, QString token, QObject* parent)
    : QObject(parent), server_(server), token_(std::move(token)), room_(server) {
    initConsoleResources();
    sockets_ = new QWebSocketServer(QStringLiteral("kvizor-console"),
                                    QWebSocketServer::NonSecureMode, this);
    connect(sockets_, &QWebSocketServer::newConnection, this, [this] {
        while (QWebSocket* page = sockets_->nextPendingConnection())
            openPage(page);
    });
    connect(&server_, &Server::resultStored, this, [this](int number, const QString& path) {
        if (const auto row = room_.addResult(number, path))
            broadcast(QJsonObject{{QStringLiteral("type"), QStringLiteral("result")},
                                  {QStringLiteral("result"), *row}});
        schedulePush();
    });
    connect(&server_, &Server::passwordGiven, this, [this](const QString& password) {
        room_.passwordGiven(password);
        // Marks may have come with it.
        broadcast(QJsonObject{{QStringLiteral("type"), QStringLiteral("results")},
                              {QStringLiteral("results"), room_.resultsJson()}});
        schedulePush();
    });
    // Often enough that a workstation gone quiet is shown within two polls.
    stateTimer_.setInterval(std::clamp(server_.pollMs() / 8, 20, kStateMs));
    connect(&stateTimer_, &QTimer::timeout, this, &ConsoleServer::pushState);
    stateTimer_.start();
}

void ConsoleServer::openPage(QWebSocket* page) {
    page->setParent(this);
    if (int(pages_.size()) >= kMaxPages) {
        page->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("too many pages"));
        page->deleteLater();
        return;
    }
    pages_.push_back(page);
    connect(page, &QWebSocket::disconnected, this, [this, page] {
        std::erase(pages_, page);
        page->deleteLater();
    });
    connect(page, &QWebSocket::textMessageReceived, this,
            [this, page](const QString& text) { fromPage(page, text); });
    room_.refresh(QDateTime::currentMSecsSinceEpoch());
    QJsonObject state = room_.stateJson();
    state[QStringLiteral("type")] = QStringLiteral("state");
    state[QStringLiteral("now")] = double(QDateTime::currentMSecsSinceEpoch());
    sendTo(page, state);
    QJsonArray lines;
    for (const QString& l : log_)
        lines.append(l);
    sendTo(page, QJsonObject{{QStringLiteral("type"), QStringLiteral("log")},
                             {QStringLiteral("lines"), lines}});
    sendTo(page, QJsonObject{{QStringLiteral("type"), QStringLiteral("results")},
                             {QStringLiteral("results"), room_.resultsJson()}});
}

QString ConsoleServer::allowProblem(const Command& c) {
    if (c.verb != Command::Verb::Allow && c.verb != Command::Verb::Resume)
        return {};
    return room_.allowProblem(c.text);
}

void ConsoleServer::fromPage(QWebSocket* page, const QString& text) {
    if (text.size() > kMaxBody)
        return;
    const QJsonObject request = QJsonDocument::fromJson(text.toUtf8()).object();
    QString error;
    const auto c = parseCommandJson(request, &error);
    if (!c) {
        logLine(QStringLiteral("error console: %1").arg(error));
        return;
    }
    // A password the set test does not take would leave the pupils at a prompt: the page asks
    // again instead.
    if (const QString problem = allowProblem(*c); !problem.isEmpty()) {
        sendTo(page, QJsonObject{{QStringLiteral("type"), QStringLiteral("refused")},
                                 {QStringLiteral("reason"), problem},
                                 {QStringLiteral("test"), server_.setTestFile()}});
        return;
    }
    runCommand(server_, *c, CommandSource::Console);
}

ConsoleServer::~ConsoleServer() = default;

QString ConsoleServer::freshToken() {
    QByteArray raw(16, '\0');
    QRandomGenerator* g = QRandomGenerator::system();
    for (char& c : raw)
        c = char(g->bounded(256));
    return QString::fromLatin1(raw.toHex());
}

bool ConsoleServer::listen(const QHostAddress& address, quint16 port) {
    listener_ = new QTcpServer(this);
    connect(listener_, &QTcpServer::newConnection, this, &ConsoleServer::accept);
    return listener_->listen(address, port);
}

quint16 ConsoleServer::port() const {
    return listener_ ? listener_->serverPort() : 0;
}

QString ConsoleServer::url() const {
    QHostAddress a = listener_ ? listener_->serverAddress() : QHostAddress();
    if (a == QHostAddress::Any || a == QHostAddress::AnyIPv4 || a == QHostAddress::AnyIPv6)
        a = QHostAddress::LocalHost;
    const QString host = a.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(a.toString())
                             : a.toString();
    return QStringLiteral("http://%1:%2/?token=%3").arg(host).arg(port()).arg(token_);
}

void ConsoleServer::logLine(const QString& line) {
    log_.push_back(line);
    if (log_.size() > kLogKept)
        log_.pop_front();
    broadcast(QJsonObject{{QStringLiteral("type"), QStringLiteral("log")},
                          {QStringLiteral("lines"), QJsonArray{line}}});
    // The event may have changed a workstation: look now rather than at the next tick.
    schedulePush();
}

void ConsoleServer::accept() {
    while (QTcpSocket* s = listener_->nextPendingConnection()) {
        // The console's descriptors are bounded, so that it never takes the workstations'.
        if (requests_ >= kMaxRequests) {
            s->abort();
            s->deleteLater();
            continue;
        }
        ++requests_;
        s->setParent(this);
        connect(s, &QObject::destroyed, this, [this] { --requests_; });
        connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        connect(s, &QTcpSocket::readyRead, this, [this, s] { readFrom(s); });
        // A connection that never completes its request is not kept.
        QTimer::singleShot(10000, s, [s] {
            if (s->property("handled").isNull())
                s->abort();
        });
    }
}

ConsoleServer::Request ConsoleServer::parseHead(const QByteArray& head) {
    Request r;
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    if (first.size() != 3 || !first[2].startsWith("HTTP/1.")) {
        r.bad = true;
        return r;
    }
    r.method = first[0];
    const qsizetype q = first[1].indexOf('?');
    r.path = q < 0 ? first[1] : first[1].left(q);
    r.query = q < 0 ? QByteArray() : first[1].mid(q + 1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        r.headers[line.left(colon).trimmed().toLower()] = line.mid(colon + 1).trimmed();
    }
    if (auto it = r.headers.find("content-length"); it != r.headers.end()) {
        bool ok = false;
        r.contentLength = it->second.toLongLong(&ok);
        if (!ok || r.contentLength < 0)
            r.bad = true;
    }
    return r;
}

bool ConsoleServer::hasCookie(const Request& r) const {
    const auto it = r.headers.find("cookie");
    if (it == r.headers.end())
        return false;
    for (const QByteArray& pair : it->second.split(';')) {
        const QByteArray p = pair.trimmed();
        if (p.startsWith(kCookie + '=') && sameText(p.mid(kCookie.size() + 1), token_.toLatin1()))
            return true;
    }
    return false;
}

void ConsoleServer::readFrom(QTcpSocket* s) {
    if (!s->property("handled").isNull())
        return;
    // The head is looked at, not taken, so that a WebSocket handshake can be handed on whole.
    const QByteArray peeked = s->peek(kMaxHead + 4);
    const qsizetype end = peeked.indexOf("\r\n\r\n");
    if (end < 0) {
        if (peeked.size() > kMaxHead) {
            s->setProperty("handled", true);
            s->write(reply(431, "Request Header Fields Too Large", "text/plain", "too large\n"));
            s->disconnectFromHost();
        }
        return;
    }
    const Request r = parseHead(peeked.left(end));
    if (r.bad || r.contentLength > kMaxBody) {
        s->setProperty("handled", true);
        s->write(reply(400, "Bad Request", "text/plain", "bad request\n"));
        s->disconnectFromHost();
        return;
    }
    if (s->bytesAvailable() < end + 4 + r.contentLength)
        return; // the body is still coming
    s->setProperty("handled", true);
    if (r.path == "/ws" && hasCookie(r) && r.headers.count("upgrade") &&
        r.headers.at("upgrade").toLower() == "websocket") {
        disconnect(s, nullptr, this, nullptr);
        --requests_; // a page from now on, counted as one
        s->setParent(nullptr);
        sockets_->handleConnection(s);
        return;
    }
    s->read(end + 4);
    const QByteArray body = s->read(r.contentLength);
    respond(s, r, body);
    s->disconnectFromHost();
}

void ConsoleServer::respond(QTcpSocket* s, const Request& r, const QByteArray& body) {
    // The token in the URL, once: it becomes a cookie the page's script cannot read, and the
    // address bar loses it.
    const QUrlQuery query(QString::fromLatin1(r.query));
    if (r.method == "GET" && query.hasQueryItem(QStringLiteral("token"))) {
        if (sameText(query.queryItemValue(QStringLiteral("token")).toLatin1(), token_.toLatin1())) {
            s->write(reply(303, "See Other", "text/plain", "",
                           "Location: /\r\nSet-Cookie: " + kCookie + '=' + token_.toLatin1() +
                               "; HttpOnly; SameSite=Strict; Path=/\r\n"));
            return;
        }
    }
    if (!hasCookie(r)) {
        s->write(reply(401, "Unauthorized", "text/plain", "401 Unauthorized\n"));
        return;
    }
    if (r.method == "GET") {
        static const std::map<QByteArray, std::pair<const char*, QByteArray>> files{
            {"/", {":/console/index.html", "text/html; charset=utf-8"}},
            {"/console.js", {":/console/console.js", "text/javascript; charset=utf-8"}},
            {"/console.css", {":/console/console.css", "text/css; charset=utf-8"}},
        };
        if (const auto it = files.find(r.path); it != files.end()) {
            QFile f(QString::fromLatin1(it->second.first));
            if (f.open(QIODevice::ReadOnly)) {
                QByteArray content = f.readAll();
                if (r.path == "/" && language_ != QStringLiteral("ru"))
                    content.replace("<html lang=\"ru\">",
                                    "<html lang=\"" + language_.toLatin1() + "\">");
                s->write(reply(200, "OK", it->second.second, content));
                return;
            }
        }
        // The table of results as kvizor-results export writes it.
        const QByteArray attachment = "Content-Disposition: attachment; filename=\"results.";
        if (r.path == "/results.csv") {
            s->write(reply(200, "OK", "text/csv; charset=utf-8", room_.resultsCsv(),
                           attachment + "csv\"\r\n"));
            return;
        }
        if (r.path == "/results.json") {
            s->write(reply(200, "OK", "application/json", room_.resultsJsonBytes(),
                           attachment + "json\"\r\n"));
            return;
        }
        if (r.path == "/result") {
            bool ok = false;
            const int id = query.queryItemValue(QStringLiteral("id")).toInt(&ok);
            const QJsonObject detail = ok ? room_.resultDetail(id) : QJsonObject();
            if (!detail.isEmpty()) {
                s->write(reply(200, "OK", "application/json",
                               QJsonDocument(detail).toJson(QJsonDocument::Compact)));
                return;
            }
        }
        s->write(reply(404, "Not Found", "text/plain", "not found\n"));
        return;
    }
    if (r.method == "POST" && r.path == "/action") {
        // A page of another site cannot send the cookie (SameSite), nor pass this check.
        const auto host = r.headers.find("host");
        if (const auto o = r.headers.find("origin");
            o != r.headers.end() &&
            (host == r.headers.end() || o->second != "http://" + host->second)) {
            s->write(reply(403, "Forbidden", "text/plain", "forbidden\n"));
            return;
        }
        QString error;
        if (const auto c = parseCommandJson(QJsonDocument::fromJson(body).object(), &error)) {
            if (const QString problem = allowProblem(*c); !problem.isEmpty()) {
                const QByteArray answer =
                    QJsonDocument(QJsonObject{{QStringLiteral("error"), problem}})
                        .toJson(QJsonDocument::Compact);
                s->write(reply(409, "Conflict", "application/json", answer));
                return;
            }
            runCommand(server_, *c, CommandSource::Console);
            s->write(reply(200, "OK", "application/json", "{\"ok\":true}"));
        } else {
            const QByteArray answer = QJsonDocument(QJsonObject{{QStringLiteral("error"), error}})
                                          .toJson(QJsonDocument::Compact);
            s->write(reply(400, "Bad Request", "application/json", answer));
        }
        return;
    }
    s->write(reply(405, "Method Not Allowed", "text/plain", "not allowed\n"));
}

void ConsoleServer::schedulePush() {
    if (pushPending_)
        return;
    pushPending_ = true;
    QTimer::singleShot(0, this, &ConsoleServer::pushState);
}

void ConsoleServer::pushState() {
    pushPending_ = false;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    room_.refresh(now);
    if (pages_.empty())
        return;
    QJsonObject state = room_.stateJson();
    state[QStringLiteral("type")] = QStringLiteral("state");
    const QByteArray text = QJsonDocument(state).toJson(QJsonDocument::Compact);
    if (text == lastState_)
        return;
    lastState_ = text;
    // The server's clock goes along, so times shown on another computer's page are right.
    state[QStringLiteral("now")] = double(now);
    broadcast(state);
}

void ConsoleServer::sendTo(QWebSocket* page, const QJsonObject& message) {
    page->sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
}

void ConsoleServer::broadcast(const QJsonObject& message) {
    if (pages_.empty())
        return;
    const QString text = QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact));
    for (QWebSocket* page : pages_)
        page->sendTextMessage(text);
}

} // namespace kvz::server
