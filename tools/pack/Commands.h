#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>

namespace kvz::pack {

// Each command takes its own arguments (after the command name) and returns the exit code;
// errors go to standard error as one clear line.
int runPage(const QStringList& args);
int runRender(const QStringList& args);
int runBuild(const QStringList& args);
int runInspect(const QStringList& args);

inline int printUsage(const char* usage) {
    std::fprintf(stderr, "usage: %s\n", usage);
    return 2;
}

inline void printError(const QString& text) {
    std::fprintf(stderr, "kvizor-pack: %s\n", text.toLocal8Bit().constData());
}

} // namespace kvz::pack
