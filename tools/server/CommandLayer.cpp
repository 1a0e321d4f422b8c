#include "CommandLayer.h"

#include "Server.h"

#include <QJsonValue>
#include <array>
#include <utility>

namespace kvz::server {

namespace {

using Verb = Command::Verb;

constexpr std::array<std::pair<Verb, const char*>, 12> kVerbs{{
    {Verb::List, "list"},
    {Verb::Allow, "allow"},
    {Verb::Forbid, "forbid"},
    {Verb::Pause, "pause"},
    {Verb::Resume, "resume"},
    {Verb::Message, "message"},
    {Verb::Choice, "choice"},
    {Verb::Set, "set"},
    {Verb::None, "none"},
    {Verb::Shuffle, "shuffle"},
    {Verb::Rescan, "rescan"},
    {Verb::Quit, "quit"},
}};

std::optional<Verb> verbNamed(const QString& word) {
    for (const auto& [verb, name] : kVerbs)
        if (word == QLatin1String(name))
            return verb;
    return std::nullopt;
}

const char* verbName(Verb v) {
    for (const auto& [verb, name] : kVerbs)
        if (verb == v)
            return name;
    return "?";
}

bool takesWho(Verb v) {
    return v == Verb::Allow || v == Verb::Forbid || v == Verb::Pause || v == Verb::Resume ||
           v == Verb::Message;
}

// A workstation's number (1 and up) or "all": anything else would act on nobody silently.
bool validWho(const QString& who) {
    if (who == QStringLiteral("all"))
        return true;
    bool ok = false;
    const int n = who.toInt(&ok);
    return ok && n > 0;
}

std::optional<Command> checked(Command c, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<Command> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (takesWho(c.verb) && !validWho(c.who))
        return fail(QStringLiteral("%1 needs a workstation's number or all")
                        .arg(QLatin1String(verbName(c.verb))));
    if (c.verb == Verb::Set && c.text.isEmpty())
        return fail(QStringLiteral("set needs a test file"));
    if (!takesWho(c.verb))
        c.who.clear();
    if (c.verb == Verb::Forbid || c.verb == Verb::Pause)
        c.text.clear();
    return c;
}

} // namespace

std::optional<Command> parseCommandLine(const QString& line, QString* error) {
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const QString word = trimmed.section(QLatin1Char(' '), 0, 0);
    const QString rest = trimmed.section(QLatin1Char(' '), 1).trimmed();
    const auto verb = verbNamed(word);
    if (!verb) {
        if (error)
            *error = QStringLiteral("unknown command: %1").arg(Server::escaped(word));
        return std::nullopt;
    }
    Command c;
    c.verb = *verb;
    if (takesWho(c.verb)) {
        c.who = rest.section(QLatin1Char(' '), 0, 0);
        c.text = rest.section(QLatin1Char(' '), 1); // keeps inner blanks of a message
    } else if (c.verb == Verb::Set) {
        c.text = rest;
    } else if (c.verb == Verb::Shuffle) {
        if (rest != QStringLiteral("on") && rest != QStringLiteral("off")) {
            if (error)
                *error = QStringLiteral("shuffle needs on or off");
            return std::nullopt;
        }
        c.on = rest == QStringLiteral("on");
    }
    return checked(std::move(c), error);
}

std::optional<Command> parseCommandJson(const QJsonObject& request, QString* error) {
    const QJsonValue action = request.value(QStringLiteral("action"));
    const auto verb = action.isString() ? verbNamed(action.toString()) : std::nullopt;
    if (!verb) {
        if (error)
            *error = QStringLiteral("unknown action");
        return std::nullopt;
    }
    Command c;
    c.verb = *verb;
    // A number may come as a JSON number or as text.
    const QJsonValue who = request.value(QStringLiteral("who"));
    c.who = who.isDouble() ? QString::number(who.toInteger()) : who.toString();
    if (c.verb == Verb::Allow || c.verb == Verb::Resume)
        c.text = request.value(QStringLiteral("password")).toString();
    else if (c.verb == Verb::Message)
        c.text = request.value(QStringLiteral("text")).toString();
    else if (c.verb == Verb::Set)
        c.text = request.value(QStringLiteral("test")).toString();
    else if (c.verb == Verb::Shuffle) {
        const QJsonValue on = request.value(QStringLiteral("on"));
        if (!on.isBool()) {
            if (error)
                *error = QStringLiteral("shuffle needs on or off");
            return std::nullopt;
        }
        c.on = on.toBool();
    }
    return checked(std::move(c), error);
}

QString describeCommand(const Command& c) {
    QString out = QLatin1String(verbName(c.verb));
    if (takesWho(c.verb))
        out += QLatin1Char(' ') + c.who;
    if ((c.verb == Verb::Allow || c.verb == Verb::Resume) && !c.text.isEmpty())
        out += QStringLiteral(" (with password)");
    else if (c.verb == Verb::Message || c.verb == Verb::Set)
        out += QLatin1Char(' ') + Server::escaped(c.text);
    else if (c.verb == Verb::Shuffle)
        out += c.on ? QStringLiteral(" on") : QStringLiteral(" off");
    return out;
}

void runCommand(Server& server, const Command& c, CommandSource source) {
    server.logLine(QStringLiteral("command %1: %2")
                       .arg(source == CommandSource::Stdin ? QStringLiteral("stdin")
                                                           : QStringLiteral("console"),
                            describeCommand(c)));
    switch (c.verb) {
    case Verb::List:
        server.listWorkstations();
        break;
    case Verb::Allow:
    case Verb::Resume:
        server.allow(c.who, c.text, c.verb == Verb::Resume);
        break;
    case Verb::Forbid:
    case Verb::Pause:
        server.forbid(c.who, c.verb == Verb::Pause);
        break;
    case Verb::Message:
        server.message(c.who, c.text);
        break;
    case Verb::Choice:
        server.offerChoice();
        break;
    case Verb::Set:
        server.setTest(c.text);
        break;
    case Verb::None:
        server.withdraw();
        break;
    case Verb::Shuffle:
        server.setShuffle(c.on);
        break;
    case Verb::Rescan:
        server.scanTests();
        break;
    case Verb::Quit:
        server.quit();
        break;
    }
}

} // namespace kvz::server
