#include "run/Calculator.h"

#include <charconv>
#include <cmath>

namespace kvz {

namespace {

// Significant digits shown: enough for school work, few enough that 0.1 + 0.2 shows 0.3.
constexpr int kShownDigits = 15;

// Locale-independent: the desktop's locale must not turn "." into ",".
std::string format(double v) {
    if (v == 0)
        return "0";
    char buf[64];
    const auto r =
        std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, kShownDigits);
    return std::string(buf, r.ptr);
}

double parse(const std::string& text) {
    double v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

int digitCount(const std::string& s) {
    int n = 0;
    for (char c : s)
        n += (c >= '0' && c <= '9');
    return n;
}

} // namespace

std::optional<Calculator::Key> Calculator::keyForCharacter(char c) {
    if (c >= '0' && c <= '9')
        return Key(int(Key::D0) + (c - '0'));
    switch (c) {
    case '.':
    case ',':
        return Key::Point;
    case '+':
        return Key::Add;
    case '-':
        return Key::Subtract;
    case '*':
        return Key::Multiply;
    case '/':
        return Key::Divide;
    case '=':
        return Key::Equals;
    case '%':
        return Key::Percent;
    case '@':
        return Key::Sqrt;
    default:
        return std::nullopt;
    }
}

void Calculator::press(Key key) {
    if (key >= Key::D0 && key <= Key::D9) {
        digit(int(key) - int(Key::D0));
        return;
    }
    switch (key) {
    case Key::Point:
        point();
        return;
    case Key::Clear:
        clearAll();
        return;
    case Key::ClearEntry:
        if (error_) {
            clearAll();
            return;
        }
        value_ = 0;
        entry_.clear();
        entering_ = false;
        operandGiven_ = true;
        return;
    default:
        break;
    }
    // An error is on the display: only clearing or a new number go on.
    if (error_)
        return;
    switch (key) {
    case Key::Add:
        binary(Op::Add);
        break;
    case Key::Subtract:
        binary(Op::Subtract);
        break;
    case Key::Multiply:
        binary(Op::Multiply);
        break;
    case Key::Divide:
        binary(Op::Divide);
        break;
    case Key::Equals:
        equals();
        break;
    case Key::Percent:
        // 200 + 10 % adds 10 % of 200; 50 * 10 % multiplies by 0.1.
        finishEntry();
        setResult((pending_ == Op::Add || pending_ == Op::Subtract) ? accumulator_ * value_ / 100
                                                                    : value_ / 100);
        break;
    case Key::Sqrt:
        finishEntry();
        if (value_ < 0)
            error_ = true;
        else
            setResult(std::sqrt(value_));
        break;
    case Key::Reciprocal:
        finishEntry();
        if (value_ == 0)
            error_ = true;
        else
            setResult(1 / value_);
        break;
    case Key::Sign:
        if (entering_) {
            negativeEntry_ = !negativeEntry_;
            value_ = -value_;
        } else {
            setResult(-value_);
        }
        break;
    case Key::Backspace:
        if (entering_) {
            entry_.pop_back();
            if (entry_.empty() || entry_ == "0")
                entry_ = "0";
            value_ = negativeEntry_ ? -parse(entry_) : parse(entry_);
        }
        break;
    case Key::MemoryClear:
        memory_ = 0;
        break;
    case Key::MemoryRecall:
        finishEntry();
        value_ = memory_;
        operandGiven_ = true;
        break;
    case Key::MemoryStore:
        finishEntry();
        memory_ = value_;
        break;
    case Key::MemoryAdd:
    case Key::MemorySubtract: {
        finishEntry();
        const double m = key == Key::MemoryAdd ? memory_ + value_ : memory_ - value_;
        if (std::isfinite(m))
            memory_ = m;
        else
            error_ = true;
        break;
    }
    default:
        break;
    }
}

void Calculator::digit(int d) {
    if (error_)
        clearAll();
    if (!entering_) {
        entry_.clear();
        negativeEntry_ = false;
        entering_ = true;
    }
    operandGiven_ = true;
    if (digitCount(entry_) >= kMaxDigits)
        return;
    if (entry_ == "0" || entry_.empty())
        entry_ = char('0' + d);
    else
        entry_ += char('0' + d);
    value_ = negativeEntry_ ? -parse(entry_) : parse(entry_);
}

void Calculator::point() {
    if (error_)
        clearAll();
    if (!entering_) {
        entry_ = "0";
        negativeEntry_ = false;
        entering_ = true;
        value_ = 0;
    }
    operandGiven_ = true;
    if (entry_.find('.') == std::string::npos)
        entry_ += '.';
}

void Calculator::binary(Op op) {
    finishEntry();
    if (pending_ != Op::None && operandGiven_) {
        double result = 0;
        if (!apply(pending_, accumulator_, value_, result)) {
            error_ = true;
            return;
        }
        accumulator_ = result;
    } else if (pending_ == Op::None) {
        accumulator_ = value_;
    }
    // An operation key pressed twice in a row only replaces the operation.
    pending_ = op;
    value_ = accumulator_;
    operandGiven_ = false;
}

void Calculator::equals() {
    finishEntry();
    double result = 0;
    if (pending_ != Op::None) {
        // "5 + =" adds the 5 to itself: the display is the operand.
        lastOp_ = pending_;
        lastOperand_ = value_;
        pending_ = Op::None;
        if (!apply(lastOp_, accumulator_, lastOperand_, result)) {
            error_ = true;
            return;
        }
        setResult(result);
    } else if (lastOp_ != Op::None) {
        if (!apply(lastOp_, value_, lastOperand_, result)) {
            error_ = true;
            return;
        }
        setResult(result);
    }
    operandGiven_ = false;
}

bool Calculator::apply(Op op, double a, double b, double& out) const {
    switch (op) {
    case Op::Add:
        out = a + b;
        break;
    case Op::Subtract:
        out = a - b;
        break;
    case Op::Multiply:
        out = a * b;
        break;
    case Op::Divide:
        if (b == 0)
            return false;
        out = a / b;
        break;
    case Op::None:
        out = b;
        break;
    }
    return std::isfinite(out);
}

void Calculator::setResult(double v) {
    if (!std::isfinite(v)) {
        error_ = true;
        return;
    }
    value_ = v == 0 ? 0 : v; // no "-0"
    entering_ = false;
    operandGiven_ = true;
}

void Calculator::finishEntry() {
    entering_ = false;
}

void Calculator::clearAll() {
    const double memory = memory_;
    *this = Calculator();
    memory_ = memory;
}

std::string Calculator::display() const {
    if (error_)
        return {};
    if (entering_)
        return (negativeEntry_ ? "-" : "") + entry_;
    return format(value_);
}

} // namespace kvz
