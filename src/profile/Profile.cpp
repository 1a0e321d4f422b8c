#include "profile/Profile.h"

#include "l10n/Cp1251.h"
#include "shell/IniFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <cfenv>
#include <cmath>

namespace kvz {

namespace {

int scrambleOffset(std::size_t position) {
    // Round to nearest, halves to even, whatever mode the process runs in.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double v = std::nearbyint(13.0 * std::sin(double(position)));
    std::fesetround(saved);
    return int(v);
}

std::string shifted(std::string_view text, int sign) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const int b = static_cast<unsigned char>(out[i]) + sign * scrambleOffset(i + 1);
        out[i] = static_cast<char>(static_cast<unsigned char>(((b % 256) + 256) % 256));
    }
    return out;
}

QString withSlashes(std::string_view value) {
    QString s = cp1251::toUnicode(value);
    s.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return s;
}

} // namespace

std::string scramblePassword(std::string_view plain) {
    return shifted(plain, -1);
}

std::string unscramblePassword(std::string_view stored) {
    return shifted(stored, +1);
}

Profile parseProfile(const IniDocument& doc) {
    const char* s = kProfileSection;
    Profile p;
    p.type = doc.readString(s, "Type", "loc");
    p.host = doc.readString(s, "Host", "");
    p.port = doc.readString(s, "Port", "");
    p.testName = doc.readString(s, "Test Name", "");
    p.testClass = doc.value(s, "TestClass");
    p.subject = doc.value(s, "Predmet");
    p.classGroup = doc.readString(s, "Class/Group", "");
    p.examineeName = doc.readString(s, "Name", "");
    p.textResultFile = doc.readString(s, "ResultTest", "");
    p.result = doc.value(s, "Result");
    p.commandAfterTest = doc.readString(s, "CommandEnd", "");
    p.commandAtExit = doc.readString(s, "CommandExit", "");
    p.shuffle = doc.readBool(s, "Shuffle", false);
    p.saveResult = doc.readBool(s, "SaveResult", true);
    p.exitAfterTest = doc.readBool(s, "Exit", false);
    p.noRepeat = doc.readBool(s, "NotRepeat", false);
    p.password = unscramblePassword(doc.readString(s, "Password", ""));
    p.select = doc.readInteger(s, "Select", 0);
    return p;
}

Profile readProfile(const QString& path) {
    return parseProfile(IniFile(path).load());
}

std::string iniSafeValue(std::string_view value) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const bool edgeBlank = !value.empty() && (blank(value.front()) || blank(value.back()));
    const bool enclosed = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                          value.back() == value.front();
    if (edgeBlank || enclosed)
        return "\"" + std::string(value) + "\"";
    return std::string(value);
}

bool writeProfile(const QString& path, const Profile& p, QString* error) {
    IniDocument doc = IniFile(path).load();
    const char* s = kProfileSection;
    auto set = [&](const char* key, std::string_view value) {
        doc.setValue(s, key, iniSafeValue(value));
    };
    set("Type", p.type);
    if (p.type == "net") {
        set("Host", p.host);
        set("Port", p.port);
    }
    set("Test Name", p.testName);
    set("TestClass", p.testClass.value_or(std::string(kAnyMarker)));
    set("Predmet", p.subject.value_or(std::string(kAnyMarker)));
    set("Class/Group", p.classGroup);
    set("Name", p.examineeName);
    set("Select", std::to_string(p.select));
    set("Password", scramblePassword(p.password));
    set("Result", p.result.value_or(std::string()));
    set("ResultTest", p.textResultFile);
    set("CommandEnd", p.commandAfterTest);
    set("CommandExit", p.commandAtExit);
    set("Shuffle", p.shuffle ? "1" : "0");
    set("Exit", p.exitAfterTest ? "1" : "0");
    set("NotRepeat", p.noRepeat ? "1" : "0");
    set("SaveResult", p.saveResult ? "1" : "0");

    const std::string bytes = doc.serialize();
    const QFileInfo info(path);
    QSaveFile f(path);
    // A file that could not be read whole is not written back: the rest of it would be lost.
    const bool ok =
        doc.complete() && !(info.exists() && !info.isWritable()) && f.open(QIODevice::WriteOnly) &&
        f.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size()) && f.commit();
    if (!ok && error)
        *error = QStringLiteral("Unable to write to %1").arg(path);
    return ok;
}

QString resolveResultFolder(const std::optional<std::string>& result,
                            const QString& programFolder) {
    // An empty value would make the results land in the current folder: the default instead.
    if (!result || result->empty())
        return programFolder + QStringLiteral("/Results");
    const std::string& v = *result;
    const bool belowProgram = v[0] == '\\' && (v.size() == 1 || v[1] != '\\');
    if (belowProgram)
        return QDir::cleanPath(programFolder + withSlashes(v));
    return withSlashes(v);
}

std::string resultValueForFolder(const QString& folder, const QString& programFolder) {
    const QString clean = QDir::cleanPath(folder);
    const QString base = QDir::cleanPath(programFolder);
    if (clean.startsWith(base + QLatin1Char('/'))) {
        QString rest = clean.mid(base.size());
        rest.replace(QLatin1Char('/'), QLatin1Char('\\'));
        return cp1251::fromUnicode(rest);
    }
    return cp1251::fromUnicode(folder);
}

QString substituteHost(QString path, const QString& hostName) {
    const qsizetype at = path.indexOf(QLatin1String("?host?"));
    if (at >= 0)
        path.replace(at, 6, hostName);
    return path;
}

} // namespace kvz
