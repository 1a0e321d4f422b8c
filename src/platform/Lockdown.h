#pragma once

// Workstation lock-down while a test is taken. On X11 a locked window fills the screen above
// the panels, holds the keyboard (so Alt+Tab, Alt+Shift+Tab and Alt+F4 never reach the window
// manager) and takes the activation back when another program takes it. While the lock is in
// force, every further window shown maximised, full screen or over the whole screen (the run,
// results and help windows) is locked the same way; dialogs are not. Where no keyboard grab is
// possible (Wayland, offscreen, no X server) the program says so once in the log and runs unlocked.

#include <QString>

class QWidget;

namespace kvz {

struct RunState;

// Locks lockedWindow and puts the lock in force. Nothing when runState.lockdownOff.
void applyLockdown(const RunState& runState, QWidget* lockedWindow);
// Puts every locked window back exactly as it was and ends the lock. Nothing when
// runState.lockdownOff; harmless when no lock is in force.
void liftLockdown(const RunState& runState);

// Whether applyLockdown has put the lock in force (also where the platform cannot lock).
bool lockdownInForce();
// Whether this platform can lock at all.
bool lockdownSupported();
// Whether window is locked now (full screen, on top, holding the keyboard when it can).
bool isLockedWindow(const QWidget* window);

} // namespace kvz
