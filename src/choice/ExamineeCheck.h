#pragma once

// The check made when the examinee goes on from the name and class fields: both filled, no
// obvious slip in the name, one trailing blank dropped, and the question put to confirm.

#include "choice/NameTyping.h"

#include <functional>
#include <string>

namespace kvz {

struct ExamineeOutcome {
    enum class Step {
        Refused, // show message, put the focus on focus, stop
        Confirm, // ask question (Yes/No); on Yes go on
        GoOn,    // go on without asking (a run driven by a profile)
    };
    Step step = Step::Refused;
    int message = -1; // the message number shown when refused: 60 or 58
    ExamineeField focus = ExamineeField::Name;
    // The fields as they are to stand from now on (a single trailing blank removed); also set
    // when refused, unchanged then.
    std::string name;
    std::string klass;
    std::string question; // Windows-1251, with CR LF line breaks
};

using MessageText = std::function<std::string(int)>;

// msg gives the message table's text N (already with real line breaks).
ExamineeOutcome ConfirmExaminee(const std::string& name, const std::string& klass, bool interactive,
                                bool studentMode, const MessageText& msg);

// True when the name holds one character three times in a row, or "ёё".
bool HasNameSlip(const std::string& name);

} // namespace kvz
