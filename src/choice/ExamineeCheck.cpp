#include "choice/ExamineeCheck.h"

namespace kvz {

namespace {

void dropOneTrailingBlank(std::string& s) {
    if (!s.empty() && s.back() == ' ')
        s.pop_back();
}

} // namespace

bool HasNameSlip(const std::string& name) {
    for (std::size_t i = 0; i + 1 < name.size(); ++i) {
        if (name[i] != name[i + 1])
            continue;
        if (name[i] == '\xB8') // "ёё"; a capital Ё followed by ё is a proper name
            return true;
        if (i + 2 < name.size() && name[i + 2] == name[i])
            return true;
    }
    return false;
}

ExamineeOutcome ConfirmExaminee(const std::string& name, const std::string& klass, bool interactive,
                                bool studentMode, const MessageText& msg) {
    ExamineeOutcome out;
    out.name = name;
    out.klass = klass;
    if (name.empty() || klass.empty()) {
        out.message = 60;
        out.focus = klass.empty() ? ExamineeField::Class : ExamineeField::Name;
        return out;
    }
    if (HasNameSlip(name)) {
        out.message = 58;
        out.focus = ExamineeField::Name;
        return out;
    }
    dropOneTrailingBlank(out.klass);
    dropOneTrailingBlank(out.name);
    if (!interactive) {
        out.step = ExamineeOutcome::Step::GoOn;
        return out;
    }
    out.step = ExamineeOutcome::Step::Confirm;
    out.question = msg(19) + "\r\n" + out.name + msg(studentMode ? 20 : 21) + " " + out.klass + "?";
    return out;
}

} // namespace kvz
