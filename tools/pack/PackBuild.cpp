#include "Commands.h"

#include <cstdio>

namespace kvz::pack {

int runBuild(const QStringList&) {
    std::fputs("kvizor-pack: this command is not built yet\n", stderr);
    return 2;
}

} // namespace kvz::pack
