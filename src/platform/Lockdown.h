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

// Windows over the lock. A window the program opens while the lock is in force must come up
// above the locked full-screen window and get the keyboard: one that opened under it would leave
// the pupil before a frozen screen. Message dialogs (platform/Dialogs.h) do this by themselves.

// The owner a dialog about to open should have: preferred while it is on screen (a locked window
// or a window already above one) or when no lock is in force; otherwise (a hidden owner, such as
// the main window during a test, or none) the locked window on screen.
QWidget* dialogOwner(QWidget* preferred);

// For a top-level window built without an owner (a prompt, the calculator, a viewer): call it
// right before show() or exec() (a dialog may call it from its showEvent). While the lock is in
// force, the window becomes a dialog of the locked window on screen, so the window manager keeps
// it above that window and gives it the keyboard; a window already on screen is also raised and
// activated. Nothing without a lock.
void showOverLock(QWidget* window);

// A window of the pupil's (the calculator, a textbook) asked for again: minimised or closed, it
// is shown as it was, since there is no task bar under the lock to bring it back; then raised
// and given the keyboard.
void bringBack(QWidget* window);

} // namespace kvz
