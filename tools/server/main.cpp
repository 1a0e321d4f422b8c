// kvizor-server TESTS_FOLDER RESULTS_FOLDER [--port N] [--listen ADDRESS] [--poll MS] [--gap MS]

#include "Server.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr const char* kUsage =
    "usage: kvizor-server TESTS_FOLDER RESULTS_FOLDER [--port N] [--listen ADDRESS]\n"
    "                     [--poll MS] [--gap MS]\n";

void logLine(const QString& line) {
    const QByteArray text = line.toUtf8();
    std::fwrite(text.constData(), 1, std::size_t(text.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    kvz::server::ServerOptions options;
    QStringList folders;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (a == QStringLiteral("--port") && hasValue)
            options.port = args[++i].toUShort(&ok);
        else if (a == QStringLiteral("--listen") && hasValue)
            ok = options.address.setAddress(args[++i]);
        else if (a == QStringLiteral("--poll") && hasValue)
            options.pollMs = args[++i].toInt(&ok);
        else if (a == QStringLiteral("--gap") && hasValue)
            options.gapMs = args[++i].toInt(&ok);
        else if (a.startsWith(QStringLiteral("--")))
            ok = false;
        else
            folders << a;
        if (!ok || options.pollMs <= 0 || options.gapMs < 0) {
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

    kvz::server::Server server(options, logLine);
    QObject::connect(&server, &kvz::server::Server::quitRequested, &app, &QCoreApplication::quit);
    if (!server.start())
        return 1;

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
