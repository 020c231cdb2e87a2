// SPDX-License-Identifier: MIT
#pragma once

// A dialog or page pauses the periodic scan while it is open or active, so that the scan's
// requests do not take the answers its operations wait for, and puts back the state it found
// when it closes. Some outcomes leave the scan paused on purpose (an upgrade that follows).
namespace corvel::ui {

class ScanPauseWhileOpen {
public:
    ScanPauseWhileOpen() = default;
    ~ScanPauseWhileOpen() { restore(); }
    ScanPauseWhileOpen(const ScanPauseWhileOpen&) = delete;
    ScanPauseWhileOpen& operator=(const ScanPauseWhileOpen&) = delete;

    // Pauses and remembers the state found; pausing again keeps the first state.
    void pause();
    // Back to the state found; nothing when not paused.
    void restore();
    // Closes without restoring: the scan stays paused until the user turns it on.
    void keepPaused() { paused_ = false; }

private:
    bool paused_ = false;
    bool wasOn_ = false;
};

}  // namespace corvel::ui
