#pragma once

// Reading a result archive back: the teacher's tools and the tests open what the program
// wrote. Every field is checked against the bytes that are there; a damaged or foreign file is
// an error text, never a crash.

#include "results/ResultArchive.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvz {

struct ResultQuestion {
    std::int32_t timeSpentMs = 0;
    std::int32_t sourceNo = 0;
    std::string topic;
    bool multiChoice = false;
    std::uint8_t difficulty = 0;
    char kind = 0;
    std::uint8_t choiceCount = 0;
    std::string rightAnswer;
    bool answered = false;
    std::string givenAnswer; // empty when not answered
    std::string label;       // kind letter and running number of its kind: "A01"
    bool right = false;      // from the verdict code
};

struct ResultRecord {
    ResultFacts facts;
    int rightPercentHundredths = 0; // 6667 for 66.67 %
    int rightCount = 0;
    int answeredCount = 0;
    int questionCount = 0;
    std::string verdictCode;
    DateTime questionTime = 0;
    DateTime testTime = 0;
    std::vector<ResultQuestion> questions;
};

struct ResultReadResult {
    std::optional<ResultRecord> record;
    QString error; // set when record is empty
};

// The whole archive: both entries, decrypted under the result password.
ResultReadResult readResultArchive(const QByteArray& bytes);
// The two entries as they are inside the archive.
ResultReadResult parseResultEntries(const QByteArray& summary, const QByteArray& detail);

} // namespace kvz
