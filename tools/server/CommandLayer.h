#pragma once

// The supervisor's actions as values: a line of standard input and a console request both
// become one Command, and run() carries it out and logs who gave it. One way to act, two ways
// to ask.

#include <QJsonObject>
#include <QString>
#include <optional>

namespace kvz::server {

class Server;

enum class CommandSource { Stdin, Console };

struct Command {
    enum class Verb {
        List,
        Allow,
        Forbid,
        Pause,
        Resume,
        Message,
        Choice,
        Set,
        None,
        Shuffle,
        Rescan,
        Quit
    };
    Verb verb = Verb::List;
    QString who;     // a workstation's number or "all" (allow, forbid, pause, resume, message)
    QString text;    // the password (allow, resume), the message, or the test file (set)
    bool on = false; // shuffle

    bool operator==(const Command&) const = default;
};

// "allow all s3cret", "message 2 Hand in now", "set Optics.tst", "shuffle on". Empty lines give
// nothing and no error; a bad one gives nothing and a reason in error.
std::optional<Command> parseCommandLine(const QString& line, QString* error);
// {"action":"allow","who":"all","password":"s3cret"}, {"action":"message","who":"2",
// "text":"..."}, {"action":"set","test":"Optics.tst"}, {"action":"shuffle","on":true}.
std::optional<Command> parseCommandJson(const QJsonObject& request, QString* error);
// The command as one log word list; the password is never written out.
QString describeCommand(const Command& c);
// Logs "command SOURCE: ..." through the server's log, then acts.
void runCommand(Server& server, const Command& c, CommandSource source);

} // namespace kvz::server
