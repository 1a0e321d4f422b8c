#pragma once

// The supervisor's console: a page served beside the testing protocol, one WebSocket per open
// page carrying the classroom's state and the log, and small JSON requests for the actions.
// Nothing is served without the token: in the URL once, then in an HttpOnly cookie.

#include "ConsoleRoom.h"

#include <QByteArray>
#include <QHostAddress>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <map>

class QTcpServer;
class QTcpSocket;
class QWebSocket;
class QWebSocketServer;

namespace kvz::server {

class Server;
struct Command;

class ConsoleServer : public QObject {
    Q_OBJECT
public:
    ConsoleServer(Server& server, QString token, QObject* parent = nullptr);
    ~ConsoleServer() override;

    // Descriptors the console may hold at most: its listener, the open pages and the requests
    // being answered. The server keeps them free of workstations.
    static constexpr int kMaxPages = 8;
    static constexpr int kMaxRequests = 8;
    static constexpr int kDescriptors = 1 + kMaxPages + kMaxRequests;

    bool listen(const QHostAddress& address, quint16 port);
    // The page's language: "ru" (the default) or "en".
    void setLanguage(const QString& language) { language_ = language; }
    // Reads the results already in the results folder.
    void loadResults() { room_.loadResultsFolder(); }
    quint16 port() const;
    QString url() const; // with the token, for the supervisor to open once
    // A fresh random token: 32 hexadecimal digits.
    static QString freshToken();
    // Every line of the server's log: sent to the open pages, kept for the next one.
    void logLine(const QString& line);

    // The parts of a request head the console reads.
    struct Request {
        QByteArray method;
        QByteArray path;                          // without the query
        QByteArray query;                         // after '?'
        std::map<QByteArray, QByteArray> headers; // names in lower case
        qint64 contentLength = 0;
        bool bad = false;
    };
    static Request parseHead(const QByteArray& head);
    // Whether the request carries the token in its cookie.
    bool hasCookie(const Request& r) const;
    QJsonObject stateJson() const { return room_.stateJson(); }
    const ConsoleRoom& room() const { return room_; }

private:
    void accept();
    void readFrom(QTcpSocket* socket);
    void respond(QTcpSocket* socket, const Request& r, const QByteArray& body);
    void pushState();
    void schedulePush();
    void broadcast(const QJsonObject& message);
    void sendTo(QWebSocket* page, const QJsonObject& message);
    void fromPage(QWebSocket* page, const QString& text);
    void openPage(QWebSocket* page);
    // Why the console would not pass this allow on (the set test's password), or empty.
    QString allowProblem(const Command& c);

    Server& server_;
    QString token_;
    QTcpServer* listener_ = nullptr;
    QWebSocketServer* sockets_ = nullptr;
    std::vector<QWebSocket*> pages_;
    int requests_ = 0; // connections being answered or handed to the WebSocket server
    std::deque<QString> log_;
    QTimer stateTimer_;
    QByteArray lastState_;
    bool pushPending_ = false;
    QString language_ = QStringLiteral("ru");
    ConsoleRoom room_;
};

} // namespace kvz::server
