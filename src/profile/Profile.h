#pragma once

// A profile (".pte"): one [TestInfo] section that fixes how a test run goes. Values are
// Windows-1251 bytes as the file holds them; profiles made on Windows may use "\" in paths.

#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace kvz {

class IniDocument;

// "Any class" / "any subject": the editor writes it where its field shows msg[040].
inline constexpr std::string_view kAnyMarker = "/*_-_*\\";
inline constexpr const char* kProfileSection = "TestInfo";
// The editor's field takes no more; longer stored passwords are still read whole.
inline constexpr std::size_t kProfilePasswordMax = 17;

struct Profile {
    std::string type = "loc"; // "loc" or "net"; compared exactly
    std::string host;
    std::string port;
    std::string testName; // a base name or a pattern, without ".tst"
    // Absent keys stay nullopt: the editor shows "all" for them, a run takes them as empty.
    std::optional<std::string> testClass;
    std::optional<std::string> subject;
    std::string classGroup;
    std::string examineeName;
    int select = 0;                    // 0: random choice; otherwise the examinee chooses
    std::string password;              // in clear
    std::optional<std::string> result; // results folder as written; nullopt when absent
    std::string textResultFile;
    std::string commandAfterTest;
    std::string commandAtExit;
    bool shuffle = false;
    bool exitAfterTest = false;
    bool noRepeat = false;
    bool saveResult = true;
};

// Each byte at position i (from 1) moves by round(13 sin i), halves to even, modulo 256.
std::string scramblePassword(std::string_view plain);
std::string unscramblePassword(std::string_view stored);

Profile parseProfile(const IniDocument& doc);
// A missing or unreadable file reads as an empty profile (all defaults).
Profile readProfile(const QString& path);

// Writes the keys in the editor's order into the file, keeping every other line (Host and Port
// of a former network profile stay when a local one is saved over it). Host and Port are
// written only for "net". On failure error gets "Unable to write to <path>" and the file is
// left as it was.
bool writeProfile(const QString& path, const Profile& profile, QString* error = nullptr);

// The value as one INI line carries it back unchanged: quoted when it has blanks at either end
// or is itself enclosed in quotes (the reader strips one pair of quotes and the blanks).
std::string iniSafeValue(std::string_view value);

// The results folder of a run: absent or empty gives programFolder + "/Results"; a value that
// begins with exactly one "\" lies below the program folder; anything else ("/srv/res", "\\"
// of a share, a drive letter) is taken as written. "\" separators become "/".
QString resolveResultFolder(const std::optional<std::string>& result, const QString& programFolder);

// What the editor shows and writes for a results folder: below the program folder as "\" and
// the sub-path with "\" separators ("\Results\9А"), so that a run finds it below its own
// program folder; any other folder as its full path.
std::string resultValueForFolder(const QString& folder, const QString& programFolder);

// "?host?" replaced (its first occurrence) by the host name.
QString substituteHost(QString path, const QString& hostName);

} // namespace kvz
