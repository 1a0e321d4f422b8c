// The run journal reader. The checksum would turn almost every input away at the door, so each
// input is read twice: as a whole journal, and as a payload sealed with a good checksum, which
// reaches every field of the reader. A journal that reads is then put onto a small test.

#include "run/RunJournal.h"

#include <cstddef>
#include <cstdint>

namespace {

void tryRestore(const kvz::RunJournal& journal) {
    kvz::QuestionSet set;
    for (int no = 1; no <= 6; ++no) {
        kvz::TQuestionRec q;
        q.kindText = no <= 3 ? "A" : no <= 5 ? "B" : "D";
        q.sourceNo = no;
        q.choiceCount = no <= 3 ? 4 : no == 6 ? 5 : 0;
        set.questions.push_back(q);
    }
    set.labels = kvz::makeLabels(set.questions);
    set.questionTime = 60.0 / 86400;
    set.testTime = 600.0 / 86400;
    kvz::computeTimeBudgets(set, false);
    set.answers.resize(set.questions.size());
    kvz::RunState state;
    (void)kvz::restoreRun(journal, set, state);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // Any key serves: the reader is the same under every one.
    static const QByteArray key(qsizetype(kvz::kJournalKeySize), '\x5a');
    for (const QByteArray& input : {bytes, kvz::sealJournalPayload(bytes, key)}) {
        const kvz::JournalReadResult read = kvz::decodeJournal(input, key);
        if (read.journal) {
            // What reads must write back to the same bytes.
            if (kvz::encodeJournal(*read.journal, key) != input)
                __builtin_trap();
            tryRestore(*read.journal);
        }
    }
    return 0;
}
