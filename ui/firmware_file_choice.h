// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <functional>

class QGridLayout;
class QLineEdit;
class QWidget;

// Choosing the files of a firmware upgrade: each kind of file has its own filter and default
// extension, and a row of its dialog (a label, the path box and a browse button) that the chosen
// path fills.
namespace corvel::ui {

struct FirmwareFileKind {
    const char* filter;  // "Config File (*.CFG)"
    const char* defaultSuffix;
};

inline constexpr FirmwareFileKind kConfigFile{"Config File (*.CFG)", "cfg"};
inline constexpr FirmwareFileKind kImageFile{"Firmware File (*.IMG)", "bin"};
inline constexpr FirmwareFileKind kPibFile{"PIB File (*.PIB)", "pib"};
inline constexpr FirmwareFileKind kNvmFile{"Firmware File (*.NVM)", "nvm"};

// Shows the open-file dialog for `kind` over `owner`; the chosen path, or empty when cancelled.
using FirmwareFileChooser = std::function<QString(QWidget* owner, const FirmwareFileKind& kind)>;
QString chooseFirmwareFile(QWidget* owner, const FirmwareFileKind& kind);

// Adds the row `label`, path box, `browseText` button to `grid` at `row`; the button asks
// `chooser` (the open-file dialog when empty) and a chosen path fills the box. Returns the box.
QLineEdit* addFirmwareFileRow(QGridLayout* grid, int row, const QString& label,
                              const QString& browseText, const FirmwareFileKind& kind,
                              const FirmwareFileChooser& chooser);

}  // namespace corvel::ui
