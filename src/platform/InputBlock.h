#pragma once

// Keeps the examinee's keyboard and mouse away from every window of the program for a short
// while (the markers' homing glide), as the other desktop's input blocking did. An
// application-wide event filter: it cannot block other programs, and it needs none, since under
// the lock-down ours are the only windows that take input. Blocks nest.

#include <QObject>

namespace kvz {

class InputBlock {
public:
    // Blocks input while this object lives; does nothing when enabled is false (the platforms
    // where the pointer cannot be moved run these features without blocking).
    explicit InputBlock(bool enabled = true);
    ~InputBlock();
    InputBlock(const InputBlock&) = delete;
    InputBlock& operator=(const InputBlock&) = delete;

    // Whether any block is in force now.
    static bool active();

private:
    bool enabled_;
};

} // namespace kvz
