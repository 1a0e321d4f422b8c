#include "l10n/Language.h"

#include "l10n/Cp1251.h"
#include "shell/IniFile.h"
#include "shell/RunState.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <algorithm>
#include <optional>

namespace kvz {

namespace {

constexpr int kMaxFlagSide = 256;

// The slot a key "msg[NNN]" names (three digits, any letter case), or -1.
int messageNumber(std::string_view key) {
    if (key.size() != 8 || key[3] != '[' || key[7] != ']')
        return -1;
    for (int i = 0; i < 3; ++i)
        if ((key[std::size_t(i)] | 0x20) != "msg"[i])
            return -1;
    int n = 0;
    for (std::size_t i = 4; i < 7; ++i) {
        if (key[i] < '0' || key[i] > '9')
            return -1;
        n = n * 10 + (key[i] - '0');
    }
    return n;
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

bool labelOfOtherProgram(std::string_view window) {
    return window.starts_with("Editor");
}

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

namespace {

LanguageHints loadLanguageDocument(MessageTable& table, const IniDocument& doc) {
    const int col = doc.readInteger("Kvizor_msg", "col", 0);
    if (col >= 0) {
        // One pass over the section; the first occurrence of a key counts. Only the keys of
        // the table's slots are kept, whatever else the section holds.
        const int last = std::min(col, MessageTable::kSize - 1);
        std::vector<std::optional<std::string_view>> values(std::size_t(last + 1));
        doc.forEachEntry("Kvizor_msg", [&](std::string_view key, std::string_view value) {
            const int n = messageNumber(key);
            if (n >= 0 && n <= last && !values[std::size_t(n)])
                values[std::size_t(n)] = value;
        });
        for (int n = 0; n <= last; ++n) {
            std::string text;
            if (const auto& v = values[std::size_t(n)]) {
                text.reserve(v->size());
                for (char c : *v) {
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

} // namespace

LanguageHints loadLanguage(MessageTable& table, const QString& path) {
    return loadLanguageDocument(table, IniFile(path).load());
}

LanguageHints loadLanguageText(MessageTable& table, std::string_view bytes) {
    return loadLanguageDocument(table, IniDocument::parse(bytes));
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
    // Latin letters, digits, "_" and "-"; checked by hand, as a regular expression would bring
    // its engine into every start.
    return !baseName.isEmpty() && std::all_of(baseName.begin(), baseName.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
               u == '_' || u == '-';
    });
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
        const IniDocument doc = IniFile(fi.filePath()).load();
        if (doc.readString("Info", "Version", "0.00").substr(0, 4) != "1.60")
            continue;
        LanguageEntry e;
        e.fileName = fi.fileName();
        e.displayName = doc.readString("Info", "Name", "");
        e.translator = doc.readString("Info", "Translated by", "-");
        e.flagHex = doc.readString("Info", "Flag", "");
        out.push_back(std::move(e));
    }
    return out;
}

void forEachLabelLine(std::string_view bytes, const std::function<void(const LabelLine&)>& visit) {
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
            l.window = line;
            visit(l);
            continue;
        }
        l.window = line.substr(0, dot1);
        std::string_view rest = line.substr(dot1 + 1);
        const auto dot2 = rest.find('.');
        if (dot2 == std::string_view::npos) {
            l.component = rest.substr(0, rest.find('='));
            visit(l);
            continue;
        }
        l.component = rest.substr(0, dot2);
        rest = rest.substr(dot2 + 1);
        const auto eq = rest.find('=');
        if (eq == std::string_view::npos) {
            l.property = rest;
            visit(l);
            continue;
        }
        l.property = rest.substr(0, eq);
        l.value = rest.substr(eq + 1);
        l.complete = true;
        visit(l);
    }
}

std::vector<LabelLine> parseLabelLines(std::string_view bytes) {
    std::vector<LabelLine> out;
    forEachLabelLine(bytes, [&out](const LabelLine& l) { out.push_back(l); });
    return out;
}

void LabelFailureReport::add(const QString& line) {
    if (count_++ < kShownLines)
        shown_ << (line.size() > kLineChars ? line.left(kLineChars - 3) + QStringLiteral("...")
                                            : line);
}

QString LabelFailureReport::text() const {
    QString text = shown_.join(QLatin1Char('\n'));
    if (count_ > kShownLines)
        text += QStringLiteral("\n... (+%1)").arg(count_ - kShownLines);
    return text;
}

} // namespace kvz
