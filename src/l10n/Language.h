#pragma once

// Language files: where they are, filling the message table from one, the flag picture, the
// list of languages offered in the menu and the label lines that relabel the windows.

#include "l10n/MessageTable.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kvz {

struct RunState;
struct LanguageEntry;

inline constexpr const char* kBuiltinLanguageFile = "fyv_russian.lng";

// The Russian language file compiled into the program, byte for byte.
QByteArray builtinLanguageFile();

// With no Language folder every name means the built-in file in the temporary folder.
QString languageFilePath(const RunState& state, const std::string& name);

// The support menu's two hints, from [Info].
struct LanguageHints {
    std::string webPage;
    std::string supportMail;
};

// Fills slots 0..col of the table from [Kvizor_msg] ("|" becomes a line break); slots above col
// keep their texts, and nothing above 999 is ever written. A missing file reads as empty.
LanguageHints loadLanguage(MessageTable& table, const QString& path);
// The same from bytes already in memory.
LanguageHints loadLanguageText(MessageTable& table, std::string_view bytes);

// Hexadecimal digits two at a time, stopping at the first pair that is not two digits.
QByteArray decodeHexBytes(std::string_view hex);
// The [Info] Flag picture, with the colour of its top-left pixel made transparent; a null image
// when the bytes are no picture.
QImage decodeFlag(std::string_view hex);

// The languages the menu offers from a folder: "*.lng" files whose base name is Latin letters,
// digits, "_" and "-" and whose [Info] Version begins with "1.60", in name order.
std::vector<LanguageEntry> listLanguages(const QString& folder);
bool acceptableLanguageBaseName(const QString& baseName);

// One line of [Kvizor_lab]: Window.Component.Property=value, as views into the file's bytes.
// The value is kept as it stands (Windows-1251, quotes and spaces included). complete is false
// when the line lacks a "." or "=".
struct LabelLine {
    std::string_view window;
    std::string_view component;
    std::string_view property;
    std::string_view value;
    bool complete = false;
};

// The language files are shared with the test editor, whose windows are named "Editor...":
// their label lines are not the examinee program's to apply or to report.
bool labelOfOtherProgram(std::string_view window);

// The label lines of a language file: lines starting with a Latin letter after the exact line
// "[Kvizor_lab]", to the end of the file, one at a time (a file may hold millions).
void forEachLabelLine(std::string_view bytes, const std::function<void(const LabelLine&)>& visit);
// The same as a list, for small files.
std::vector<LabelLine> parseLabelLines(std::string_view bytes);

// The label lines that name something missing, for one message: the first few, each cut to a
// line's length, and how many more there were, so the message fits the screen whatever the file.
class LabelFailureReport {
public:
    static constexpr int kShownLines = 15;
    static constexpr int kLineChars = 80;

    void add(const QString& line);
    bool empty() const { return count_ == 0; }
    qsizetype count() const { return count_; }
    QString text() const;

private:
    QStringList shown_;
    qsizetype count_ = 0;
};

} // namespace kvz
