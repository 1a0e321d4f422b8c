#pragma once

// The process-wide run state. One instance, owned by the main window and reached by every
// window through the application object; all windows read and write it on the GUI thread.

#include <QImage>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace kvz {

// Date-time values count days since 30 December 1899; the fraction is the local time of day.
using DateTime = double;

struct LanguageEntry {
    QString fileName;        // "fyv_russian.lng"
    std::string displayName; // [Info] Name
    std::string translator;  // [Info] "Translated by", "-" when absent
    // [Info] Flag as it stands (hexadecimal BMP), decoded by decodeFlag where it is shown: the
    // menu is built at every start, its pictures only when it is opened.
    std::string flagHex;
};

struct MarkEntry {
    std::string threshold; // a whole number as text, in hundredths of a percent (5000 = 50.00 %)
    std::string markText;  // "|" is a line break
};

// The figures of the last checked test; rebuilt when the next finished test is checked.
struct CheckSummary {
    int questionCount = 0;
    std::uint8_t rightCount = 0;
    std::uint8_t answeredCount = 0;
    std::string rightPercentText;    // "66.67"
    std::string answeredPercentText; // "100.00"
    double score = 0;                // difficulty-weighted percentage of right answers, 0..100
    std::string scoreText;           // score as "0.00"
    // The exact ratio behind score, so the mark is chosen without rounding doubts.
    std::int64_t gainedWeight = 0;
    std::int64_t totalWeight = 0;
    std::string verdictCode; // per question its kind letter, then '1' right or '0' wrong
    int markIndex = -1;      // entry of markScale, -1 when no mark is shown
};

struct RunState {
    std::vector<LanguageEntry> languages;
    QString programFolder; // no trailing separator
    std::string testName;  // base name of the current test, without ".tst"
    std::string testSubject;
    QString resultsFolder;
    QString tempFolder; // ends with a separator
    DateTime reportedStartTime = 0;
    DateTime finishTime = 0;
    DateTime startTime = 0;
    DateTime serverStartTime = 0;
    bool lockdownOff = false;
    bool studentMode = false;
    bool shuffleQuestions = false;
    bool textbookDuringTest = false;
    bool textbookInReview = false;
    bool answerReviewAllowed = false;
    bool limitedPlatform = false;
    bool showIntroduction = false;
    bool referenceAllowed = false;
    bool showMark = false;
    bool interactive = false;
    bool resultsShown = false;
    bool languageFolderMissing = false;
    bool timeByDifficulty = false;
    bool fixedOrder = false;
    // Set by the client window while its connection to the testing server is up: the server's
    // time (serverStartTime) then stands in for the local clock at the start and the finish.
    bool connectedToServer = false;
    std::vector<MarkEntry> markScale;
    std::uint8_t markCount = 0;
    int resultsPanelHeight = 0;
    std::vector<std::string> verdicts;
    CheckSummary checkSummary;

    // The profile given on the command line.
    std::string profileType;
    std::string profileHost;
    std::string profilePort;
    std::string profileTestName;
    std::string profileTestClass;
    std::string profileSubject;
    std::string profileClassGroup;
    std::string profileExamineeName;
    std::string profilePassword;
    std::string profileTextResultFile;
    std::string profileResultFolder;
    std::string profileCommandAfterTest;
    std::string profileCommandAtExit;
    bool profileShuffle = false;
    bool profileExitAfterTest = false;
    bool profileNoRepeat = false;
    bool profileSaveResult = false;
    int profileSelect = 0;

    // Input blocking is an application-wide event filter here; it is always available where
    // the pointer can be moved.
    bool blockInput = false;
};

} // namespace kvz
