#include "Commands.h"

namespace kvz::pack {

std::optional<CommandLine> parseCommandLine(const QStringList& args, const QStringList& known,
                                            const QStringList& required) {
    CommandLine line;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (known.contains(args[i]) && i + 1 < args.size()) {
            line.options.insert(args[i], args[i + 1]);
            ++i;
        } else if (line.input.isEmpty() && !args[i].startsWith(QLatin1Char('-'))) {
            line.input = args[i];
        } else {
            return std::nullopt;
        }
    }
    if (line.input.isEmpty())
        return std::nullopt;
    for (const QString& name : required)
        if (!line.options.contains(name))
            return std::nullopt;
    return line;
}

} // namespace kvz::pack
