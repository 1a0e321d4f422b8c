#pragma once

#include <QStringList>

namespace kvz::pack {

// Each command takes its own arguments (after the command name) and returns the exit code;
// errors go to standard error as one clear line.
int runPage(const QStringList& args);
int runRender(const QStringList& args);
int runBuild(const QStringList& args);
int runInspect(const QStringList& args);

} // namespace kvz::pack
