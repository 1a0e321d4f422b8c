// The supervisor's actions on the workstations and the offer: what a stdin line or the console
// asks for, through the command layer.

#include "Server.h"

#include "CommandLayer.h"

#include "l10n/Cp1251.h"
#include "net/ProtocolText.h"

namespace kvz::server {

namespace {

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

} // namespace

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
        emitLog(QStringLiteral("error no workstation %1").arg(escaped(which)));
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

void Server::listWorkstations() {
    for (const auto& [number, w] : stations_)
        emitLog(
            QStringLiteral("workstation %1 %2 %3 status=%4 allowed=%5 permitted=%6 test=%7 name=%8")
                .arg(number)
                .arg(w->host.empty() ? QStringLiteral("-") : field(w->host))
                .arg(w->address, status(*w))
                .arg(w->allowed ? 1 : 0)
                .arg(w->permitted ? 1 : 0)
                .arg(field(w->testLine), field(w->nameLine)));
    emitLog(QStringLiteral("workstations %1").arg(stations_.size()));
}

void Server::allow(const QString& who, const QString& passwordText, bool resuming) {
    const std::string password = cp1251::fromUnicode(passwordText);
    for (Workstation* w : targets(who)) {
        const int number = w->number;
        w->allowed = true;
        w->forbidden = false;
        if (password.empty())
            enqueue(*w, {QByteArrayLiteral("_MAY"), {}, 0, Outgoing::None});
        else
            enqueue(*w, {bytes("!MAY" + ScramblePassword(password)), {}, 0, Outgoing::Gap});
        emitLog(QStringLiteral("%1 %2%3")
                    .arg(resuming ? QStringLiteral("resumed") : QStringLiteral("allowed"))
                    .arg(number)
                    .arg(password.empty() ? QString() : QStringLiteral(" with a password")));
    }
    if (!password.empty())
        Q_EMIT passwordGiven(passwordText);
}

void Server::forbid(const QString& who, bool pausing) {
    for (Workstation* w : targets(who)) {
        const int number = w->number;
        w->allowed = false;
        w->forbidden = true;
        enqueue(*w, {QByteArrayLiteral("NMAY"), {}, 0, Outgoing::None});
        emitLog(QStringLiteral("%1 %2")
                    .arg(pausing ? QStringLiteral("paused") : QStringLiteral("forbidden"))
                    .arg(number));
    }
}

void Server::message(const QString& who, const QString& text) {
    if (text.isEmpty()) {
        emitLog(QStringLiteral("error message needs a text"));
        return;
    }
    for (Workstation* w : targets(who)) {
        const int number = w->number;
        enqueue(*w, {bytes("SEND" + cp1251::fromUnicode(text)), {}, 0, Outgoing::Gap});
        emitLog(QStringLiteral("message-to %1 %2").arg(number).arg(escaped(text)));
    }
}

void Server::offerChoice() {
    mode_ = Mode::Choice;
    setTest_.clear();
    setTestName_.clear();
    emitLog(QStringLiteral("mode choice"));
}

bool Server::setTest(const QString& file) {
    const OfferedTest* t = findTest(cp1251::fromUnicode(file));
    if (!t) {
        emitLog(QStringLiteral("error no such test: %1").arg(escaped(file)));
        return false;
    }
    mode_ = Mode::Set;
    setTest_ = t->file;
    setTestName_ = u(t->file);
    emitLog(QStringLiteral("mode set %1").arg(u(t->file)));
    // The announcement takes the permission back (the workstation disables its Start): the
    // set test goes to a workstation once it is allowed after this.
    std::vector<Workstation*> all;
    for (auto& [number, w] : stations_)
        all.push_back(w.get());
    const QByteArray info = testInfoMessage(*t);
    for (Workstation* w : all) {
        w->allowed = false;
        w->infoQueued = true;
        enqueue(*w, {info, {}, 0, Outgoing::Gap, Outgoing::Info});
    }
    return true;
}

void Server::withdraw() {
    mode_ = Mode::None;
    setTest_.clear();
    setTestName_.clear();
    emitLog(QStringLiteral("mode none"));
}

void Server::setShuffle(bool on) {
    shuffle_ = on;
    emitLog(QStringLiteral("shuffle %1").arg(on ? QStringLiteral("on") : QStringLiteral("off")));
}

void Server::quit() {
    emitLog(QStringLiteral("quit"));
    Q_EMIT quitRequested();
}

void Server::command(const QString& line) {
    QString error;
    if (const auto c = parseCommandLine(line, &error))
        runCommand(*this, *c, CommandSource::Stdin);
    else if (!error.isEmpty())
        emitLog(QStringLiteral("error %1").arg(error));
}

} // namespace kvz::server
