#pragma once

// The logic of a run started with a profile: the profile's values in the run state, and the
// local choice of candidate tests.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <string>

namespace kvz {

struct Profile;
struct RunState;

// Copies the profile into the run state's profile fields (absent class and subject read as
// empty), and sets resultsFolder by the results folder rule and shuffleQuestions.
void applyProfile(RunState& rs, const Profile& profile);

struct LocalCandidates {
    QStringList names; // without ".tst", in the order the folder lists them
    std::string error; // the pattern is invalid: "'<pattern>' is an invalid mask at (<n>)"
};

// The archives of programFolder + "/Base" whose file names match testName + ".tst" (sets,
// ranges, "!", letter case ignored) and that pass the class and subject filters; allText is
// the "all" text (msg[040]) that lets every class or subject pass. With both filters at
// allText no catalogue is read.
LocalCandidates findLocalCandidates(const QString& programFolder, const std::string& testName,
                                    const std::string& testClass, const std::string& subject,
                                    const std::string& allText);

// One of count candidates, each equally likely, from the run's seed.
int randomCandidate(int count, std::uint32_t seed);

} // namespace kvz
