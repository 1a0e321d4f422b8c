#pragma once

// Settings.ini beside the program: every key the program knows, with its default. Each call
// opens the file anew (see IniFile).

#include "shell/IniFile.h"

namespace kvz {

inline constexpr const char* kDefaultLanguage = "fyv_russian";
inline constexpr const char* kDefaultHost = "192.168.0.1";
inline constexpr const char* kDefaultPort = "32743";

class Settings {
public:
    explicit Settings(const QString& programFolder);

    const QString& path() const { return file_.path(); }
    IniFile& file() { return file_; }

    bool startText() const { return file_.readBool("Start", "Text", true); }
    int startTransparency() const { return file_.readInteger("Start", "Transparency", 210); }
    std::string language() const { return file_.readString("Type", "Language", kDefaultLanguage); }
    bool student() const { return file_.readBool("Type", "Student", true); }
    // An empty ResPatch counts as missing.
    QString resPatch() const;
    std::string netHost() const { return file_.readString("NET", "Host", kDefaultHost); }
    std::string netPort() const { return file_.readString("NET", "Port", kDefaultPort); }
    bool netAuto() const { return file_.readBool("NET", "Auto", false); }
    bool testDisorder() const { return file_.readBool("Test", "Disorder", false); }

    bool writeLanguage(const std::string& name, QString* error = nullptr) {
        return file_.writeString("Type", "Language", name, error);
    }
    bool writeResPatch(const QString& folder, QString* error = nullptr);
    bool writeNetHostPort(const std::string& host, const std::string& port,
                          QString* error = nullptr) {
        return file_.writeString("NET", "Host", host, error) &&
               file_.writeString("NET", "Port", port, error);
    }
    bool writeNetAuto(bool on, QString* error = nullptr) {
        return file_.writeBool("NET", "Auto", on, error);
    }
    bool writeTestDisorder(bool on, QString* error = nullptr) {
        return file_.writeBool("Test", "Disorder", on, error);
    }

private:
    QString programFolder_;
    IniFile file_;
};

} // namespace kvz
