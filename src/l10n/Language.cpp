#include "l10n/Language.h"

#include "l10n/Cp1251.h"
#include "shell/IniFile.h"
#include "shell/RunState.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>
#include <unordered_map>

namespace kvz {

namespace {

// Language files are a few kilobytes; a file far larger is not one of ours.
constexpr qint64 kMaxLanguageFileBytes = 4 * 1024 * 1024;
constexpr int kMaxFlagSide = 256;

std::string readFileBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.read(kMaxLanguageFileBytes);
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isLatinLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

QByteArray builtinLanguageFile() {
    QFile f(QStringLiteral(":/kvizor/language/fyv_russian.lng"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QString languageFilePath(const RunState& state, const std::string& name) {
    if (state.languageFolderMissing)
        return state.tempFolder + QLatin1String(kBuiltinLanguageFile);
    return state.programFolder + QStringLiteral("/Language/") + cp1251::toUnicode(name) +
           QStringLiteral(".lng");
}

LanguageHints loadLanguage(MessageTable& table, const QString& path) {
    return loadLanguageText(table, readFileBytes(path));
}

LanguageHints loadLanguageText(MessageTable& table, std::string_view bytes) {
    const IniDocument doc = IniDocument::parse(bytes);
    const int col = doc.readInteger("Kvizor_msg", "col", 0);
    if (col >= 0) {
        // One pass over the section; the first occurrence of a key counts.
        std::unordered_map<std::string, std::string> values;
        for (auto& [key, value] : doc.entries("Kvizor_msg"))
            values.emplace(lowerAscii(key), std::move(value));
        const int last = std::min(col, MessageTable::kSize - 1);
        for (int n = 0; n <= last; ++n) {
            char key[16];
            std::snprintf(key, sizeof key, "msg[%03d]", n);
            std::string text;
            if (auto it = values.find(key); it != values.end()) {
                text.reserve(it->second.size());
                for (char c : it->second) {
                    if (c == '|')
                        text += "\r\n";
                    else
                        text += c;
                }
            }
            table.set(n, std::move(text));
        }
    }
    return {doc.readString("Info", "Web Page", ""), doc.readString("Info", "Support Mail", "")};
}

QByteArray decodeHexBytes(std::string_view hex) {
    QByteArray out;
    out.reserve(qsizetype(hex.size() / 2));
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int hi = hexDigit(hex[i]);
        const int lo = hexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0)
            break;
        out.append(char(hi * 16 + lo));
    }
    return out;
}

QImage decodeFlag(std::string_view hex) {
    QByteArray bytes = decodeHexBytes(hex);
    if (bytes.isEmpty())
        return {};
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "BMP");
    // A flag is a small picture; a header that claims a huge one is not decoded at all.
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kMaxFlagSide || size.height() > kMaxFlagSide)
        return {};
    QImage image;
    if (!reader.read(&image))
        return {};
    image = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == key)
                image.setPixel(x, y, qRgba(0, 0, 0, 0));
    return image;
}

bool acceptableLanguageBaseName(const QString& baseName) {
    static const QRegularExpression re(QStringLiteral("^[A-Za-z0-9_-]+$"));
    return re.match(baseName).hasMatch();
}

std::vector<LanguageEntry> listLanguages(const QString& folder) {
    std::vector<LanguageEntry> out;
    const QDir dir(folder);
    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*.lng")}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QFileInfo& fi : files) {
        // The base name is the file name without its last extension.
        if (!acceptableLanguageBaseName(fi.completeBaseName()))
            continue;
        const IniDocument doc = IniDocument::parse(readFileBytes(fi.filePath()));
        if (doc.readString("Info", "Version", "0.00").substr(0, 4) != "1.60")
            continue;
        LanguageEntry e;
        e.fileName = fi.fileName();
        e.displayName = doc.readString("Info", "Name", "");
        e.translator = doc.readString("Info", "Translated by", "-");
        e.flagPicture = decodeFlag(doc.readString("Info", "Flag", ""));
        out.push_back(std::move(e));
    }
    return out;
}

std::vector<LabelLine> parseLabelLines(std::string_view bytes) {
    std::vector<LabelLine> out;
    bool inLabels = false;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t nl = bytes.find('\n', pos);
        if (nl == std::string_view::npos)
            nl = bytes.size();
        std::string_view line = bytes.substr(pos, nl - pos);
        pos = nl + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!inLabels) {
            inLabels = line == "[Kvizor_lab]";
            continue;
        }
        if (line.empty() || !isLatinLetter(line.front()))
            continue;
        LabelLine l;
        const auto dot1 = line.find('.');
        if (dot1 == std::string_view::npos) {
            l.window = std::string(line);
            out.push_back(std::move(l));
            continue;
        }
        l.window = std::string(line.substr(0, dot1));
        std::string_view rest = line.substr(dot1 + 1);
        const auto dot2 = rest.find('.');
        if (dot2 == std::string_view::npos) {
            l.component = std::string(rest.substr(0, rest.find('=')));
            out.push_back(std::move(l));
            continue;
        }
        l.component = std::string(rest.substr(0, dot2));
        rest = rest.substr(dot2 + 1);
        const auto eq = rest.find('=');
        if (eq == std::string_view::npos) {
            l.property = std::string(rest);
            out.push_back(std::move(l));
            continue;
        }
        l.property = std::string(rest.substr(0, eq));
        l.value = std::string(rest.substr(eq + 1));
        l.complete = true;
        out.push_back(std::move(l));
    }
    return out;
}

} // namespace kvz
