#include "shell/IniFile.h"

#include "l10n/Cp1251.h"
#include "shell/NamedFile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <limits>
#include <mutex>
#include <unordered_set>

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

std::string_view unquote(std::string_view v, bool cut = true) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    if (cut && v.size() > kIniValueMax)
        v = v.substr(0, kIniValueMax);
    return v;
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

struct IniDocument::Text {
    std::string bytes;
    std::vector<std::size_t> sections; // where each section header line begins, in file order
    std::string eol;                   // for lines a write adds
};

namespace {

struct LineSpan {
    std::size_t begin;
    std::size_t end;  // without the line break
    std::size_t next; // after it
};

LineSpan lineAt(std::string_view text, std::size_t pos) {
    const std::size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos)
        return {pos, text.size(), text.size()};
    const std::size_t end = nl > pos && text[nl - 1] == '\r' ? nl - 1 : nl;
    return {pos, end, nl + 1};
}

std::string_view lineText(std::string_view text, const LineSpan& l) {
    return text.substr(l.begin, l.end - l.begin);
}

std::vector<std::size_t> indexSections(std::string_view text) {
    std::vector<std::size_t> sections;
    for (std::size_t pos = 0; pos < text.size();) {
        const LineSpan l = lineAt(text, pos);
        std::size_t first = l.begin;
        while (first < l.end && (isBlank(text[first]) || text[first] == '\r'))
            ++first;
        if (first < l.end && text[first] == '[' && sectionName(lineText(text, l)))
            sections.push_back(l.begin);
        pos = l.next;
    }
    return sections;
}

std::string folded(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        c = char(cp1251::ansiLower(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

IniDocument IniDocument::parse(std::string_view bytes) {
    auto t = std::make_shared<Text>();
    t->bytes.assign(bytes);
    t->sections = indexSections(t->bytes);
    // New lines follow the file: LF when it uses LF only, CR LF otherwise.
    const std::size_t lf = bytes.find('\n');
    const bool lfOnly = lf != std::string_view::npos && (lf == 0 || bytes[lf - 1] != '\r') &&
                        bytes.find("\r\n") == std::string_view::npos;
    t->eol.assign(lfOnly ? "\n" : "\r\n");
    IniDocument doc;
    doc.d_ = std::move(t);
    return doc;
}

std::string_view IniDocument::text() const {
    return d_ ? std::string_view(d_->bytes) : std::string_view();
}

std::optional<std::size_t> IniDocument::findSection(std::string_view section,
                                                    std::size_t* end) const {
    if (!d_)
        return std::nullopt;
    const std::string_view text = d_->bytes;
    const std::vector<std::size_t>& s = d_->sections;
    for (std::size_t i = 0; i < s.size(); ++i) {
        auto name = sectionName(lineText(text, lineAt(text, s[i])));
        if (name && sameName(*name, section)) {
            *end = i + 1 < s.size() ? s[i + 1] : text.size();
            return s[i];
        }
    }
    return std::nullopt;
}

bool IniDocument::hasSection(std::string_view section) const {
    std::size_t end = 0;
    return findSection(section, &end).has_value();
}

std::optional<std::string> IniDocument::value(std::string_view section,
                                              std::string_view key) const {
    return lookUp(section, key, true);
}

std::optional<std::string> IniDocument::wholeValue(std::string_view section,
                                                   std::string_view key) const {
    return lookUp(section, key, false);
}

std::optional<std::string> IniDocument::lookUp(std::string_view section, std::string_view key,
                                               bool cut) const {
    std::size_t end = 0;
    const auto start = findSection(section, &end);
    if (!start)
        return std::nullopt;
    const std::string_view text = d_->bytes;
    for (std::size_t pos = lineAt(text, *start).next; pos < end;) {
        const LineSpan l = lineAt(text, pos);
        auto kv = keyValue(lineText(text, l));
        if (kv && sameName(kv->key, key))
            return std::string(unquote(kv->value, cut));
        pos = l.next;
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
    std::size_t end = 0;
    const auto start = findSection(section, &end);
    if (!start)
        return out;
    std::unordered_set<std::string> seen;
    const std::string_view text = d_->bytes;
    for (std::size_t pos = lineAt(text, *start).next; pos < end;) {
        const LineSpan l = lineAt(text, pos);
        pos = l.next;
        auto kv = keyValue(lineText(text, l));
        if (kv && !kv->key.empty() && seen.insert(folded(kv->key)).second)
            out.emplace_back(kv->key);
    }
    return out;
}

std::vector<std::pair<std::string, std::string>>
IniDocument::entries(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> out;
    forEachEntry(section, [&out](std::string_view key, std::string_view value) {
        out.emplace_back(std::string(key), std::string(value));
    });
    return out;
}

void IniDocument::forEachEntry(
    std::string_view section,
    const std::function<void(std::string_view key, std::string_view value)>& visit) const {
    std::size_t end = 0;
    const auto start = findSection(section, &end);
    if (!start)
        return;
    const std::string_view text = d_->bytes;
    for (std::size_t pos = lineAt(text, *start).next; pos < end;) {
        const LineSpan l = lineAt(text, pos);
        pos = l.next;
        if (auto kv = keyValue(lineText(text, l)))
            visit(kv->key, unquote(kv->value));
    }
}

void IniDocument::setValue(std::string_view section, std::string_view key, std::string_view value) {
    auto t = d_ ? std::make_shared<Text>(*d_) : std::make_shared<Text>();
    if (!d_)
        t->eol.assign("\r\n");
    std::string line(key);
    line.push_back('=');
    line.append(value);
    std::string& bytes = t->bytes;
    std::size_t end = 0;
    const auto start = findSection(section, &end);
    if (!start) {
        // A last line without its line break gets one before the new section.
        if (!bytes.empty() && bytes.back() != '\n')
            bytes.append(t->eol);
        bytes.push_back('[');
        bytes.append(section);
        bytes.push_back(']');
        bytes.append(t->eol);
        bytes.append(line);
        bytes.append(t->eol);
    } else {
        LineSpan last = lineAt(bytes, *start);
        bool replaced = false;
        for (std::size_t pos = last.next; pos < end;) {
            const LineSpan l = lineAt(bytes, pos);
            pos = l.next;
            auto kv = keyValue(lineText(bytes, l));
            if (kv && sameName(kv->key, key)) {
                bytes.replace(l.begin, l.end - l.begin, line);
                replaced = true;
                break;
            }
            if (!trim(lineText(bytes, l)).empty())
                last = l;
        }
        if (!replaced) {
            // After the section's last setting; a last line without its break gets one.
            if (last.next == last.end) {
                line.insert(0, t->eol);
                line.append(t->eol);
                bytes.insert(last.end, line);
            } else {
                line.append(t->eol);
                bytes.insert(last.next, line);
            }
        }
    }
    t->sections = indexSections(bytes);
    d_ = std::move(t);
}

std::string IniDocument::serialize() const {
    return std::string(text());
}

namespace {

// The documents read last, with what the file looked like when it was read. A file whose size
// and times are unchanged is not read again, unless it changed within two seconds of being read
// (times have a coarse grain: a second write in the same tick would look unchanged).
struct CachedFile {
    QString path;
    qint64 size = 0;
    qint64 modifiedMs = 0;
    qint64 changedMs = 0;
    IniDocument doc;
};

constexpr std::size_t kCachedFiles = 8;
constexpr qint64 kRacyMs = 2000;

std::mutex cacheMutex;
std::vector<CachedFile> cache; // most recent last

void forget(const QString& path) {
    const std::lock_guard lock(cacheMutex);
    std::erase_if(cache, [&](const CachedFile& c) { return c.path == path; });
}

} // namespace

IniDocument IniFile::load() const {
    const QFileInfo info(path_);
    if (!info.exists())
        return {};
    const qint64 modified = info.lastModified().toMSecsSinceEpoch();
    const qint64 changed = info.metadataChangeTime().toMSecsSinceEpoch();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    {
        const std::lock_guard lock(cacheMutex);
        for (const CachedFile& c : cache)
            if (c.path == path_ && c.size == info.size() && c.modifiedMs == modified &&
                c.changedMs == changed && now - std::max(modified, changed) > kRacyMs)
                return c.doc;
    }
    IniDocument doc;
    doc.complete_ = false;
    // Only a regular file is read: a device or a pipe under the name would block or never end.
    QFile f;
    if (openNamedFile(path_, &f, nullptr)) {
        // QIODevice::read(n) allocates all n bytes before reading: ask for what the file holds
        // (and one more, to see the cap passed), then for whatever it grew by meanwhile.
        QByteArray bytes = f.read(std::min(f.size(), kMaxIniFileBytes) + 1);
        while (bytes.size() <= kMaxIniFileBytes && !f.atEnd()) {
            const QByteArray more =
                f.read(std::min<qint64>(64 * 1024, kMaxIniFileBytes + 1 - bytes.size()));
            if (more.isEmpty())
                break;
            bytes += more;
        }
        const bool whole = bytes.size() <= kMaxIniFileBytes && f.atEnd();
        doc = IniDocument::parse(std::string_view(
            bytes.constData(), std::size_t(std::min<qint64>(bytes.size(), kMaxIniFileBytes))));
        doc.complete_ = whole;
    }
    {
        const std::lock_guard lock(cacheMutex);
        std::erase_if(cache, [&](const CachedFile& c) { return c.path == path_; });
        if (cache.size() == kCachedFiles)
            cache.erase(cache.begin());
        cache.push_back({path_, info.size(), modified, changed, doc});
    }
    return doc;
}

bool IniFile::writeString(std::string_view section, std::string_view key, std::string_view value,
                          QString* error) {
    IniDocument doc = load();
    // A file that could not be read whole is not written back: the rest of it would be lost.
    bool ok = doc.complete();
    if (ok) {
        doc.setValue(section, key, value);
        const std::string_view bytes = doc.text();
        // A read-only file stays refused even where the folder would let us replace it;
        // otherwise the new text goes to a temporary file first, so a failed write never
        // truncates the old.
        const QFileInfo info(path_);
        QSaveFile f(path_);
        ok = !(info.exists() && !info.isWritable()) && f.open(QIODevice::WriteOnly) &&
             f.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size()) && f.commit();
    }
    forget(path_);
    if (!ok && error)
        *error = QStringLiteral("Unable to write to %1").arg(path_);
    return ok;
}

} // namespace kvz
