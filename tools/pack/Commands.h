#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <optional>

namespace kvz::pack {

// Each command takes its own arguments (after the command name) and returns the exit code;
// errors go to standard error as one clear line.
int runPage(const QStringList& args);
int runRender(const QStringList& args);
int runBuild(const QStringList& args);
int runInspect(const QStringList& args);

// A command's arguments: one input and options that each take a value.
struct CommandLine {
    QString input;
    QHash<QString, QString> options;
    QString option(const QString& name) const { return options.value(name); }
};

// Nothing when an argument is unknown, an option lacks its value, there is a second input or
// none, or one of the required options is missing.
std::optional<CommandLine> parseCommandLine(const QStringList& args, const QStringList& known,
                                            const QStringList& required);

inline int printUsage(const char* usage) {
    std::fprintf(stderr, "usage: %s\n", usage);
    return 2;
}

inline void printError(const QString& text) {
    std::fprintf(stderr, "kvizor-pack: %s\n", text.toLocal8Bit().constData());
}

} // namespace kvz::pack
