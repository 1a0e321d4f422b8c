#pragma once

// The supervisor's console: a page served beside the testing protocol, one WebSocket per open
// page carrying the classroom's state and the log, and small JSON requests for the actions.
// Nothing is served without the token: in the URL once, then in an HttpOnly cookie.

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

class ConsoleServer : public QObject {
    Q_OBJECT
public:
    ConsoleServer(Server& server, QString token, QObject* parent = nullptr);
    ~ConsoleServer() override;

    bool listen(const QHostAddress& address, quint16 port);
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
    QJsonObject stateJson() const;

private:
    void accept();
    void readFrom(QTcpSocket* socket);
    void respond(QTcpSocket* socket, const Request& r, const QByteArray& body);
    void pushState();
    void broadcast(const QJsonObject& message);

    Server& server_;
    QString token_;
    QTcpServer* listener_ = nullptr;
    QWebSocketServer* sockets_ = nullptr;
    std::vector<QWebSocket*> pages_;
    std::deque<QString> log_;
    QTimer stateTimer_;
    QByteArray lastState_;
    // Seen by the console: when a workstation started its test, and those that left.
    std::map<int, qint64> testingSince_;
    std::map<int, QJsonObject> lastSeen_;
    std::map<int, qint64> goneAt_;
};

} // namespace kvz::server
