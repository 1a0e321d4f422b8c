#include "profile/Launcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace kvz {

namespace {

// A value of a launcher key may not hold line breaks; they become the string escapes.
QString escapeString(const QString& s) {
    QString out;
    out.reserve(s.size() + 8);
    for (QChar c : s) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else if (c == QLatin1Char('\t'))
            out += QLatin1String("\\t");
        else
            out += c;
    }
    return out;
}

QString quoteWord(const QString& word) {
    QString out = QStringLiteral("\"");
    for (QChar c : word) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
        if (c == QLatin1Char('%'))
            out += QLatin1Char('%');
    }
    out += QLatin1Char('"');
    return out;
}

} // namespace

QString desktopExecLine(const QString& executable, const QStringList& arguments) {
    QStringList words{quoteWord(executable)};
    for (const QString& a : arguments)
        words << quoteWord(a);
    return escapeString(words.join(QLatin1Char(' ')));
}

std::optional<QStringList> parseDesktopExec(const QString& value) {
    // First the string escapes of the value itself.
    QString s;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != QLatin1Char('\\')) {
            s += c;
            continue;
        }
        if (++i >= value.size())
            return std::nullopt;
        switch (value[i].unicode()) {
        case 's':
            s += QLatin1Char(' ');
            break;
        case 'n':
            s += QLatin1Char('\n');
            break;
        case 't':
            s += QLatin1Char('\t');
            break;
        case 'r':
            s += QLatin1Char('\r');
            break;
        case '\\':
            s += QLatin1Char('\\');
            break;
        default:
            return std::nullopt;
        }
    }
    // Then the words, quoted or not.
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == QLatin1Char(' ')) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else if (c == QLatin1Char('"')) {
            inWord = true;
            for (++i;; ++i) {
                if (i >= s.size())
                    return std::nullopt;
                const QChar q = s[i];
                if (q == QLatin1Char('"'))
                    break;
                if (q == QLatin1Char('\\')) {
                    if (++i >= s.size())
                        return std::nullopt;
                    word += s[i];
                } else if (q == QLatin1Char('%')) {
                    if (++i >= s.size() || s[i] != QLatin1Char('%'))
                        return std::nullopt;
                    word += QLatin1Char('%');
                } else {
                    word += q;
                }
            }
        } else if (c == QLatin1Char('%')) {
            if (++i >= s.size() || s[i] != QLatin1Char('%'))
                return std::nullopt;
            word += QLatin1Char('%');
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words << word;
    return words;
}

QByteArray desktopEntry(const LauncherEntry& entry) {
    QString text = QStringLiteral("[Desktop Entry]\n"
                                  "Version=1.0\n"
                                  "Type=Application\n");
    text += QStringLiteral("Name=") + escapeString(entry.name) + QLatin1Char('\n');
    text += QStringLiteral("Exec=") + desktopExecLine(entry.executable, entry.arguments) +
            QLatin1Char('\n');
    if (!entry.workingFolder.isEmpty())
        text += QStringLiteral("Path=") + escapeString(entry.workingFolder) + QLatin1Char('\n');
    if (!entry.icon.isEmpty())
        text += QStringLiteral("Icon=") + escapeString(entry.icon) + QLatin1Char('\n');
    // X-Kvizor puts a profile's launcher into the Kvizor submenu that the installed menu file
    // makes; without that file it stays under Education.
    text += QStringLiteral("Terminal=false\n"
                           "Categories=Education;X-Kvizor;\n");
    return text.toUtf8();
}

QString profileBaseName(const QString& profilePath) {
    return QFileInfo(profilePath).completeBaseName();
}

QString writeLauncher(const QString& folder, const QString& fileName, const LauncherEntry& entry,
                      QString* error) {
    const QString path = folder + QLatin1Char('/') + fileName;
    auto fail = [&] {
        if (error)
            *error = QStringLiteral("Unable to write to %1").arg(path);
        return QString();
    };
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return fail();
    const QByteArray bytes = desktopEntry(entry);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        return fail();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                     QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    if (!f.commit())
        return fail();
    return path;
}

QString desktopFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

QString menuFolder() {
    const QString apps = QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
    return apps.isEmpty() ? QString() : apps + QStringLiteral("/FYV/Kvizor");
}

LauncherEntry profileLauncher(const QString& profilePath, const QString& executable,
                              const QString& programFolder, const QString& icon) {
    const QFileInfo info(profilePath);
    LauncherEntry entry;
    entry.name = QStringLiteral("Kvizor: ") + info.completeBaseName();
    entry.executable = executable;
    entry.arguments = {info.absoluteFilePath(), programFolder};
    entry.workingFolder = programFolder;
    entry.icon = icon;
    return entry;
}

} // namespace kvz
