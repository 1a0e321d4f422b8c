#pragma once

// Small test archives built in memory: pieces with a valid header and recognisable bytes.

#include "test/TestArchive.h"

#include <QByteArray>
#include <cstring>
#include <string>

namespace kvz::testing {

// A document piece: "BDOC", draw aspect 1, data size, then the data.
inline QByteArray fakePiece(const QByteArray& data) {
    QByteArray p("BDOC");
    const auto put = [&p](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            p.append(char(v >> (8 * i) & 0xFF));
    };
    put(1);
    put(std::uint32_t(data.size()));
    return p + data;
}

inline TQuestionRec question(const std::string& kind, const QByteArray& page) {
    TQuestionRec q;
    q.kindText = kind;
    q.body = fakePiece(page);
    return q;
}

// Three questions, one of each kind, every optional entry present.
inline TestArchive threeKinds() {
    TestArchive a;
    TQuestionRec qa = question("A", "page one");
    qa.rightChoice = {false, true, false, true, false};
    qa.multiChoice = true;
    qa.choiceCount = 4;
    qa.topic = "\xC4\xF0\xEE\xE1\xE8"; // "Дроби"
    qa.textbook = "book.pdf";
    qa.difficulty = 1;
    TQuestionRec qb = question("B", "page two");
    qb.rightText = "\xEC\xE8\xF0"; // "мир"
    qb.choiceCount = 0;
    qb.topic = "T2";
    qb.difficulty = 1;
    TQuestionRec qd = question("D", "page three");
    qd.choiceCount = 3;
    qd.rightSlots[0] = {5, 6, 2};
    qd.rightSlots[1] = {10, 6, 3};
    qd.rightSlots[2] = {15, 30, 1};
    qd.difficulty = 2;
    a.questions = {qa, qb, qd};
    for (int k = 0; k < 3; ++k)
        a.questions[std::size_t(k)].sourceNo = k + 1;
    a.introduction = fakePiece("introduction");
    a.reference = fakePiece("reference");
    a.settings.testTimerOn = true;
    a.settings.questionTimerOn = true;
    a.settings.calculatorAllowed = true;
    a.settings.fixedOrder = true;
    a.settings.testTime = 240.0 / 86400; // 00:04:00
    a.settings.questionTime = 30.0 / 86400;
    ArchiveSettings139 x;
    x.answerReviewAllowed = true;
    x.textbookDuringTest = true;
    x.showIntroduction = false;
    x.referenceAllowed = true;
    x.showMark = true;
    x.markScale = {{"100", "5"}, {"70", "4"}, {"0", "\xEF\xEB\xEE\xF5\xEE"}};
    a.settings139 = x;
    a.hasTextbooks = a.hasSlots = a.hasDifficulties = true;
    a.timeByDifficulty = true;
    return a;
}

inline QByteArray entry(const std::vector<ZipEntry>& entries, const std::string& name) {
    for (const ZipEntry& e : entries)
        if (e.name == name)
            return e.data;
    return {};
}

} // namespace kvz::testing
