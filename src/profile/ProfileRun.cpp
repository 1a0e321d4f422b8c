#include "profile/ProfileRun.h"

#include "choice/Catalogue.h"
#include "l10n/Cp1251.h"
#include "net/Masks.h"
#include "profile/Profile.h"
#include "shell/RunState.h"

#include <QDir>
#include <random>

namespace kvz {

void applyProfile(RunState& rs, const Profile& p) {
    rs.profileType = p.type;
    rs.profileHost = p.host;
    rs.profilePort = p.port;
    rs.profileTestName = p.testName;
    rs.profileTestClass = p.testClass.value_or(std::string());
    rs.profileSubject = p.subject.value_or(std::string());
    rs.profileClassGroup = p.classGroup;
    rs.profileExamineeName = p.examineeName;
    rs.profileTextResultFile = p.textResultFile;
    rs.profileResultFolder = p.result.value_or(std::string());
    rs.profileCommandAfterTest = p.commandAfterTest;
    rs.profileCommandAtExit = p.commandAtExit;
    rs.profileShuffle = p.shuffle;
    rs.profileSaveResult = p.saveResult;
    rs.profileExitAfterTest = p.exitAfterTest;
    rs.profileNoRepeat = p.noRepeat;
    rs.profilePassword = p.password;
    rs.profileSelect = p.select;
    rs.resultsFolder = resolveResultFolder(p.result, rs.programFolder);
    rs.shuffleQuestions = p.shuffle;
}

LocalCandidates findLocalCandidates(const QString& programFolder, const std::string& testName,
                                    const std::string& testClass, const std::string& subject,
                                    const std::string& allText) {
    LocalCandidates out;
    const std::optional<FilePattern> pattern = FilePattern::compile(testName + ".tst", &out.error);
    if (!pattern)
        return out;
    const bool filtered = testClass != allText || subject != allText;
    const QDir base(programFolder + QStringLiteral("/Base"));
    for (const QFileInfo& f : base.entryInfoList(QDir::Files | QDir::Hidden, QDir::Unsorted)) {
        const QString file = f.fileName();
        if (!pattern->matches(cp1251::fromUnicode(file)))
            continue;
        if (filtered && !MatchesFilter(programFolder, file, testClass, subject, allText))
            continue;
        out.names << StripExtension(file);
    }
    return out;
}

int randomCandidate(int count, std::uint32_t seed) {
    if (count <= 1)
        return 0;
    std::mt19937 gen(seed);
    return std::uniform_int_distribution<int>(0, count - 1)(gen);
}

} // namespace kvz
