#include "shell/IniFile.h"

#include "l10n/Cp1251.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <limits>

namespace kvz {

namespace {

// Settings and language files are a few kilobytes; anything far larger is not ours and is read
// only this far rather than filling memory.
constexpr qint64 kMaxIniFileBytes = 16 * 1024 * 1024;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (isBlank(s.front()) || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (cp1251::ansiLower(static_cast<unsigned char>(a[i])) !=
            cp1251::ansiLower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The name of a section header line, or nothing when the line is not one.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trim(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return trim(line.substr(1, close - 1));
}

struct KeyValue {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyValue> keyValue(std::string_view line) {
    const std::string_view t = trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '[')
        return std::nullopt;
    const auto eq = t.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return KeyValue{trim(t.substr(0, eq)), trim(t.substr(eq + 1))};
}

std::string unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    if (v.size() > kIniValueMax)
        v = v.substr(0, kIniValueMax);
    return std::string(v);
}

} // namespace

std::optional<int> parseIniInteger(std::string_view text) {
    std::string_view s = trim(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    } else if (s.size() > 1 && s[0] == '$') {
        base = 16;
        s.remove_prefix(1);
    }
    if (s.empty())
        return std::nullopt;
    long long v = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        v = v * base + d;
        if (v > (1LL << 32))
            return std::nullopt;
    }
    if (negative)
        v = -v;
    // Hexadecimal spells the full 32-bit pattern ("$FFFFFFFF" is -1), decimal must fit.
    if (base == 16 && !negative && v <= 0xFFFFFFFFLL)
        return static_cast<int>(static_cast<std::uint32_t>(v));
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(v);
}

IniDocument IniDocument::parse(std::string_view bytes) {
    IniDocument doc;
    bool sawLf = false;
    bool sawCrLf = false;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        auto nl = bytes.find('\n', pos);
        Line line;
        if (nl == std::string_view::npos) {
            line.text = std::string(bytes.substr(pos));
            pos = bytes.size();
        } else {
            std::size_t end = nl;
            if (end > pos && bytes[end - 1] == '\r') {
                --end;
                line.eol = "\r\n";
                sawCrLf = true;
            } else {
                line.eol = "\n";
                sawLf = true;
            }
            line.text = std::string(bytes.substr(pos, end - pos));
            pos = nl + 1;
        }
        doc.lines_.push_back(std::move(line));
    }
    if (sawLf && !sawCrLf)
        doc.eol_.assign(1, '\n'); // not = "\n": GCC 12 at -O3 sees a false overlap there
    return doc;
}

long IniDocument::findSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        auto name = sectionName(lines_[i].text);
        if (name && sameName(*name, section))
            return long(i);
    }
    return -1;
}

bool IniDocument::hasSection(std::string_view section) const {
    return findSection(section) >= 0;
}

std::optional<std::string> IniDocument::value(std::string_view section,
                                              std::string_view key) const {
    const long start = findSection(section);
    if (start < 0)
        return std::nullopt;
    for (std::size_t i = std::size_t(start) + 1; i < lines_.size(); ++i) {
        if (sectionName(lines_[i].text))
            break;
        auto kv = keyValue(lines_[i].text);
        if (kv && sameName(kv->key, key))
            return unquote(kv->value);
    }
    return std::nullopt;
}

std::string IniDocument::readString(std::string_view section, std::string_view key,
                                    std::string_view def) const {
    auto v = value(section, key);
    return v ? *v : std::string(def);
}

int IniDocument::readInteger(std::string_view section, std::string_view key, int def) const {
    auto v = value(section, key);
    if (!v)
        return def;
    return parseIniInteger(*v).value_or(def);
}

bool IniDocument::readBool(std::string_view section, std::string_view key, bool def) const {
    return readInteger(section, key, def ? 1 : 0) != 0;
}

std::vector<std::string> IniDocument::keys(std::string_view section) const {
    std::vector<std::string> out;
    const long start = findSection(section);
    if (start < 0)
        return out;
    for (std::size_t i = std::size_t(start) + 1; i < lines_.size(); ++i) {
        if (sectionName(lines_[i].text))
            break;
        auto kv = keyValue(lines_[i].text);
        if (!kv || kv->key.empty())
            continue;
        bool seen = false;
        for (const auto& k : out)
            seen = seen || sameName(k, kv->key);
        if (!seen)
            out.emplace_back(kv->key);
    }
    return out;
}

std::vector<std::pair<std::string, std::string>>
IniDocument::entries(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> out;
    const long start = findSection(section);
    if (start < 0)
        return out;
    for (std::size_t i = std::size_t(start) + 1; i < lines_.size(); ++i) {
        if (sectionName(lines_[i].text))
            break;
        if (auto kv = keyValue(lines_[i].text))
            out.emplace_back(std::string(kv->key), unquote(kv->value));
    }
    return out;
}

void IniDocument::setValue(std::string_view section, std::string_view key, std::string_view value) {
    std::string line = std::string(key) + "=" + std::string(value);
    const long start = findSection(section);
    if (start < 0) {
        // A last line without its line break gets one before the new section.
        if (!lines_.empty() && lines_.back().eol.empty())
            lines_.back().eol = eol_;
        std::string header(1, '['); // not "[" + ...: a GCC 12 -O3 false overlap warning
        header.append(section).push_back(']');
        lines_.push_back({std::move(header), eol_});
        lines_.push_back({std::move(line), eol_});
        return;
    }
    std::size_t lastSetting = std::size_t(start);
    std::size_t i = std::size_t(start) + 1;
    for (; i < lines_.size(); ++i) {
        if (sectionName(lines_[i].text))
            break;
        auto kv = keyValue(lines_[i].text);
        if (kv && sameName(kv->key, key)) {
            lines_[i].text = std::move(line);
            return;
        }
        if (!trim(lines_[i].text).empty())
            lastSetting = i;
    }
    if (lines_[lastSetting].eol.empty())
        lines_[lastSetting].eol = eol_;
    lines_.insert(lines_.begin() + long(lastSetting) + 1, Line{std::move(line), eol_});
}

std::string IniDocument::serialize() const {
    std::string out;
    for (const auto& l : lines_) {
        out += l.text;
        out += l.eol;
    }
    return out;
}

IniDocument IniFile::load() const {
    QFile f(path_);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.read(kMaxIniFileBytes);
    return IniDocument::parse(std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

bool IniFile::writeString(std::string_view section, std::string_view key, std::string_view value,
                          QString* error) {
    IniDocument doc = load();
    doc.setValue(section, key, value);
    const std::string bytes = doc.serialize();
    // A read-only file stays refused even where the folder would let us replace it; otherwise
    // the new text goes to a temporary file first, so a failed write never truncates the old.
    const QFileInfo info(path_);
    QSaveFile f(path_);
    const bool ok = !(info.exists() && !info.isWritable()) && f.open(QIODevice::WriteOnly) &&
                    f.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size()) &&
                    f.commit();
    if (!ok && error)
        *error = QStringLiteral("Unable to write to %1").arg(path_);
    return ok;
}

} // namespace kvz
