#pragma once

// The pocket calculator the examinee may use during a test: the four operations, percent,
// square root, reciprocal, sign, and one memory, worked key by key like a desk calculator.
// The window only turns clicks and keys into Calculator::Key.

#include <optional>
#include <string>

namespace kvz {

class Calculator {
public:
    enum class Key {
        D0,
        D1,
        D2,
        D3,
        D4,
        D5,
        D6,
        D7,
        D8,
        D9,
        Point,
        Add,
        Subtract,
        Multiply,
        Divide,
        Equals,
        Percent,
        Sqrt,
        Reciprocal,
        Sign,
        Backspace,
        ClearEntry,
        Clear,
        MemoryClear,
        MemoryRecall,
        MemoryStore,
        MemoryAdd,
        MemorySubtract,
    };

    void press(Key key);
    // The key a typed character stands for: digits, "." and ",", + - * /, "=", "%", "@" (square
    // root, as desk calculators on the other desktop have it); nullopt for anything else.
    static std::optional<Key> keyForCharacter(char c);

    // What the display shows: the number being typed or the last result, "." as the decimal
    // point; empty while an error (division by zero, root of a negative, overflow) is shown.
    std::string display() const;
    bool error() const { return error_; }
    // A number is kept in memory (the "M" sign).
    bool hasMemory() const { return memory_ != 0; }
    double value() const { return value_; }

    // Digits a typed number may hold.
    static constexpr int kMaxDigits = 16;

private:
    enum class Op { None, Add, Subtract, Multiply, Divide };

    void digit(int d);
    void point();
    void binary(Op op);
    void equals();
    void setResult(double v);
    void finishEntry();
    void clearAll();
    bool apply(Op op, double a, double b, double& out) const;

    double value_ = 0;       // the number on the display
    double accumulator_ = 0; // the left operand of the pending operation
    Op pending_ = Op::None;
    Op lastOp_ = Op::None; // repeated "=" repeats the last operation
    double lastOperand_ = 0;
    bool entering_ = false;     // digits typed now extend entry_
    bool operandGiven_ = false; // a right operand was typed or made since the operation key
    std::string entry_;         // the number as typed, without its sign
    bool negativeEntry_ = false;
    double memory_ = 0;
    bool error_ = false;
};

} // namespace kvz
