#pragma once

#include <QString>

namespace kvz::testing {

// The source tree (for committed fixtures) and the build tree (for the staged program and the
// tools), as ctest passes them.
inline QString sourceDir() { return qEnvironmentVariable("KVIZOR_SOURCE_DIR"); }
inline QString binaryDir() { return qEnvironmentVariable("KVIZOR_BINARY_DIR"); }
inline QString stageDir() { return qEnvironmentVariable("KVIZOR_STAGE_DIR"); }
inline QString fixture(const QString& name) {
    return sourceDir() + QStringLiteral("/tests/fixtures/") + name;
}

} // namespace kvz::testing
