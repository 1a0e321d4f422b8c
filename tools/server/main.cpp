// kvizor-server TESTS_FOLDER RESULTS_FOLDER [options]: see kHelp.

#include "ConsoleServer.h"
#include "Server.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr const char* kUsage = "usage: kvizor-server TESTS_FOLDER RESULTS_FOLDER [OPTION...]\n"
                               "       kvizor-server --help\n";

constexpr const char* kHelp =
    "usage: kvizor-server TESTS_FOLDER RESULTS_FOLDER [OPTION...]\n"
    "\n"
    "Serves the tests (*.tst) of TESTS_FOLDER to the workstations of a classroom and stores\n"
    "the results they send in RESULTS_FOLDER. Commands come one a line on standard input;\n"
    "every event is one line on standard output. Nothing is offered and no workstation is\n"
    "allowed until the supervisor says so.\n"
    "\n"
    "Options:\n"
    "  --port N               port to listen on (32743; 0: any free port)\n"
    "  --listen ADDRESS       address to listen on (all addresses)\n"
    "  --poll MS              time between two polls of a workstation (3000)\n"
    "  --gap MS               pause after a message whose text runs to the end of a read (300)\n"
    "  --answer-wait MS       longest wait for the answer to a poll (10000)\n"
    "  --idle MS              a workstation that left two polls unanswered and sent nothing\n"
    "                         for this long is closed, never one in a test (60000)\n"
    "  --max-connections N    connections kept at once; the most idle one goes for a new one\n"
    "                         (the descriptor limit less room for the server's own files\n"
    "                         and for the console)\n"
    "  --output-cap KB        what may wait in the server to be sent to one workstation\n"
    "                         beyond what the system took, before one not in a test is\n"
    "                         dropped (1024)\n"
    "  --log-rate N           log lines one workstation may cause per second (10); the\n"
    "                         lines left out are counted in a log-dropped line\n"
    "  --result-quota N       results stored per workstation and test (2)\n"
    "  --reserve MB           free space the results folder keeps: results are refused\n"
    "                         below it (32)\n"
    "  --accept-any-result WHO\n"
    "                         store results from WHO (an address, a host name, or * for\n"
    "                         all; a list separated by commas) without a download from this\n"
    "                         server, as after moving the classroom to a new server\n"
    "  --console ADDR:PORT    where the supervisor's console listens (127.0.0.1:8070);\n"
    "                         an address beyond this computer lets anyone on the network\n"
    "                         who learns the printed token run the exam\n"
    "  --no-console           no console: commands on standard input only\n"
    "  --language ru|en       the console's language (ru)\n"
    "  --help                 this text\n"
    "\n"
    "Commands (N: a workstation's number from list; all: every workstation connected now):\n"
    "  list                   one line per workstation\n"
    "  choice                 offer the list of tests: a workstation may take any of them\n"
    "                         until it is forbidden\n"
    "  set FILE.tst           set one test for every workstation; each needs allow after it\n"
    "  none                   offer nothing (the mode at start)\n"
    "  allow N|all [PASSWORD] allow testing, with the test's password when it has one\n"
    "  forbid N|all           forbid testing (a test in progress is paused)\n"
    "  pause N|all            pause the test in progress\n"
    "  resume N|all [PASSWORD] lift a pause\n"
    "  message N|all TEXT     show TEXT to the examinee\n"
    "  shuffle on|off         tell the workstations to shuffle the questions\n"
    "  rescan                 read the tests folder again\n"
    "  quit                   end the server\n";

void logLine(const QString& line) {
    const QByteArray text = line.toUtf8();
    std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    // A results folder under a file size limit fails a write instead of ending the server.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    kvz::server::ServerOptions options;
    QStringList folders;
    bool console = true;
    QHostAddress consoleAddress = QHostAddress::LocalHost;
    quint16 consolePort = 8070;
    QString language = QStringLiteral("ru");
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        auto number = [&](auto& into, qint64 unit = 1, qint64 least = 0) {
            const qint64 v = args[++i].toLongLong(&ok);
            ok = ok && v >= least && v <= qint64(0x7fffffff);
            if (ok)
                into = decltype(+into)(v * unit);
        };
        if (a == QStringLiteral("--port") && hasValue)
            options.port = args[++i].toUShort(&ok);
        else if (a == QStringLiteral("--listen") && hasValue)
            ok = options.address.setAddress(args[++i]);
        else if (a == QStringLiteral("--poll") && hasValue)
            number(options.pollMs, 1, 1);
        else if (a == QStringLiteral("--gap") && hasValue)
            number(options.gapMs);
        else if (a == QStringLiteral("--answer-wait") && hasValue)
            number(options.freshWaitMs, 1, 1);
        else if (a == QStringLiteral("--idle") && hasValue)
            number(options.idleMs, 1, 1);
        else if (a == QStringLiteral("--max-connections") && hasValue)
            number(options.maxConnections, 1, 1);
        else if (a == QStringLiteral("--output-cap") && hasValue)
            number(options.outputCap, 1024, 1);
        else if (a == QStringLiteral("--log-rate") && hasValue)
            number(options.logPerSecond, 1, 1);
        else if (a == QStringLiteral("--result-quota") && hasValue)
            number(options.resultQuota, 1, 1);
        else if (a == QStringLiteral("--reserve") && hasValue)
            number(options.reserveBytes, 1024 * 1024);
        else if (a == QStringLiteral("--accept-any-result") && hasValue)
            options.acceptAnyResult += args[++i].split(QLatin1Char(','), Qt::SkipEmptyParts);
        else if (a == QStringLiteral("--no-console"))
            console = false;
        else if (a == QStringLiteral("--language") && hasValue) {
            language = args[++i];
            ok = language == QStringLiteral("ru") || language == QStringLiteral("en");
        } else if (a == QStringLiteral("--console") && hasValue) {
            const QString v = args[++i];
            const qsizetype colon = v.lastIndexOf(QLatin1Char(':'));
            QString host = v.left(colon);
            if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
                host = host.mid(1, host.size() - 2);
            ok = colon > 0 && consoleAddress.setAddress(host);
            if (ok)
                consolePort = v.mid(colon + 1).toUShort(&ok);
        } else if (a.startsWith(QStringLiteral("--")))
            ok = false;
        else
            folders << a;
        if (!ok) {
            std::fprintf(stderr, "kvizor-server: bad option or value: %s\n",
                         a.toLocal8Bit().constData());
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (folders.size() != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    options.testsFolder = folders[0];
    options.resultsFolder = folders[1];
    // The console's connections are kept out of the workstations' share of descriptors.
    if (console)
        options.reservedDescriptors = kvz::server::ConsoleServer::kDescriptors;

    // Every log line also goes to the open console pages.
    kvz::server::ConsoleServer* consoleServer = nullptr;
    kvz::server::Server server(options, [&consoleServer](const QString& line) {
        logLine(line);
        if (consoleServer)
            consoleServer->logLine(line);
    });
    QObject::connect(&server, &kvz::server::Server::quitRequested, &app, &QCoreApplication::quit);
    if (!server.start())
        return 1;
    kvz::server::ConsoleServer consoleHolder(server, kvz::server::ConsoleServer::freshToken());
    consoleHolder.setLanguage(language);
    if (console) {
        consoleHolder.loadResults();
        // Without its console the server still serves the classroom: the exam matters more.
        if (consoleHolder.listen(consoleAddress, consolePort)) {
            consoleServer = &consoleHolder;
            logLine(QStringLiteral("console %1").arg(consoleHolder.url()));
        } else {
            logLine(QStringLiteral("error console: cannot listen on %1:%2")
                        .arg(consoleAddress.toString())
                        .arg(consolePort));
        }
    }

    // The supervisor's commands, one a line. At the end of the input the server goes on
    // serving until it is stopped.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            input.setEnabled(false);
            return;
        }
        pending.append(buffer, got);
        for (qsizetype nl = pending.indexOf('\n'); nl >= 0; nl = pending.indexOf('\n')) {
            const QByteArray line = pending.left(nl);
            pending.remove(0, nl + 1);
            server.command(QString::fromUtf8(line));
        }
        if (pending.size() > 65536)
            pending.clear(); // no line is that long
    });
    return app.exec();
}
