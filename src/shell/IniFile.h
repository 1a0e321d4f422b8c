#pragma once

// The program's INI-style files (Settings.ini, language files, profiles, Topic.ini) follow the
// system's private-profile rules: case-insensitive sections and keys, first occurrence wins,
// quotes stripped, ";" comments, values cut at 2047 characters, and writes that keep every
// other line of the file as it was.

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvz {

inline constexpr std::size_t kIniValueMax = 2047;

// Parses an integer the way the settings are read: decimal, or hexadecimal with "0x" or "$",
// optionally signed; anything else (or out of 32-bit range) is no integer.
std::optional<int> parseIniInteger(std::string_view text);

// One INI text in memory: the bytes as they are and where each section begins, so that a
// read costs no more than the file's size and a write changes only its line. Copies share the
// text.
class IniDocument {
public:
    static IniDocument parse(std::string_view bytes);

    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    // The value as the file holds it, not cut: for readers that must refuse what they cannot
    // keep whole rather than lose its end.
    std::optional<std::string> wholeValue(std::string_view section, std::string_view key) const;
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view def) const;
    int readInteger(std::string_view section, std::string_view key, int def) const;
    bool readBool(std::string_view section, std::string_view key, bool def) const;
    // Key names of a section in file order (first occurrence of each, letter case ignored).
    std::vector<std::string> keys(std::string_view section) const;
    // Every setting of a section in file order, values read by the rules above (a key that
    // occurs twice is listed twice; the first one counts). One pass, for readers of many keys.
    std::vector<std::pair<std::string, std::string>> entries(std::string_view section) const;
    // The same one at a time, as views into the text, for sections of any length.
    void forEachEntry(
        std::string_view section,
        const std::function<void(std::string_view key, std::string_view value)>& visit) const;
    bool hasSection(std::string_view section) const;

    // Replaces the key's value where it stands, or adds the key at the end of its section, or
    // adds the section at the end of the text.
    void setValue(std::string_view section, std::string_view key, std::string_view value);
    std::string serialize() const;
    // The bytes, for readers with rules of their own (the label lines of a language file).
    std::string_view text() const;

    // False when the file behind it was not read whole (too large, or unreadable although it
    // exists): such a document is never written back.
    bool complete() const { return complete_; }

private:
    std::optional<std::string> lookUp(std::string_view section, std::string_view key,
                                      bool cut) const;
    struct Text;
    // The first line of the section, or nullopt; end: where its lines end.
    std::optional<std::size_t> findSection(std::string_view section, std::size_t* end) const;
    std::shared_ptr<const Text> d_;
    bool complete_ = true;
    friend class IniFile;
};

// A file on disk. Every read sees the file as it is now: a value one window writes is what the
// next reader sees. The text is parsed once per change of the file, not at every read. A
// missing or unreadable file reads as all defaults.
class IniFile {
public:
    explicit IniFile(QString path) : path_(std::move(path)) {}

    const QString& path() const { return path_; }
    IniDocument load() const;

    std::string readString(std::string_view section, std::string_view key,
                           std::string_view def) const {
        return load().readString(section, key, def);
    }
    int readInteger(std::string_view section, std::string_view key, int def) const {
        return load().readInteger(section, key, def);
    }
    bool readBool(std::string_view section, std::string_view key, bool def) const {
        return load().readBool(section, key, def);
    }
    std::vector<std::string> keys(std::string_view section) const { return load().keys(section); }

    // On a refused write returns false and puts "Unable to write to <path>" into error. A file
    // that could not be read whole is refused rather than written back cut short.
    bool writeString(std::string_view section, std::string_view key, std::string_view value,
                     QString* error = nullptr);
    bool writeInteger(std::string_view section, std::string_view key, int value,
                      QString* error = nullptr) {
        return writeString(section, key, std::to_string(value), error);
    }
    bool writeBool(std::string_view section, std::string_view key, bool value,
                   QString* error = nullptr) {
        return writeString(section, key, value ? "1" : "0", error);
    }

private:
    QString path_;
};

} // namespace kvz
