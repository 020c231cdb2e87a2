// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QWidget;

// The sheet's size and place on screen, remembered for each user between runs, in the user's own
// settings file ${XDG_CONFIG_HOME:-~/.config}/corvel-utility/corvel-utility.conf; never in the
// data directory, which the members of group corvel share. A run with privileges (root) keeps
// nothing there unless the settings directory is its own: it never writes into a directory
// another user controls (a HOME or XDG_CONFIG_HOME left over from that user's environment).
namespace corvel::ui {

class WindowPlacement {
public:
    WindowPlacement();

    // Puts the window where and as large as it was when last saved; false when nothing was
    // saved (the window keeps its opening size).
    bool restore(QWidget& window) const;
    void save(const QWidget& window) const;

    // The settings file, empty when this run keeps no placement.
    const QString& file() const { return file_; }

private:
    QString file_;
};

}  // namespace corvel::ui
