// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// The diagnostics report: the host computer, its interfaces with their local powerline devices,
// and the known HomePlug AV stations of the current interface. One generator writes it either
// into the Diagnostics page's two lists or into a text file, so both always show the same facts.
namespace corvel {

inline constexpr size_t kRuleLength = 142;
// Computer and user names are cut to this many characters.
inline constexpr size_t kHostTextLimit = 80;

// Where the generator writes. A line starts a new row (a new text line in a file); a cell is the
// next column of the current row.
class DiagnosticsSink {
public:
    virtual ~DiagnosticsSink() = default;
    // The host part begins.
    virtual void beginHost() = 0;
    // The device part begins.
    virtual void beginDevices() = 0;
    virtual void line(std::string_view text) = 0;
    virtual void cell(std::string_view text) = 0;
    // The last cell of one device's row was written.
    virtual void endDevice() = 0;
};

// File mode: a line is written as "\n" and its text, a cell as "\t" and its text, each text as
// displayText shows it (valid UTF-8, control characters as \xHH); the device part starts with the
// table's heading and every device is followed by an empty line.
class FileDiagnosticsSink final : public DiagnosticsSink {
public:
    explicit FileDiagnosticsSink(std::FILE* file) : file_(file) {}
    void beginHost() override {}
    void beginDevices() override;
    void line(std::string_view text) override;
    void cell(std::string_view text) override;
    void endDevice() override;

private:
    void put(std::string_view text);
    std::FILE* file_;
};

// List mode: the rows of the page's "System Information" list and of its device history list.
// Each part starts by emptying its list.
class DiagnosticsLists final : public DiagnosticsSink {
public:
    void beginHost() override;
    void beginDevices() override;
    void line(std::string_view text) override;
    void cell(std::string_view text) override;
    void endDevice() override {}

    std::vector<std::string> systemRows;
    std::vector<std::vector<std::string>> historyRows;

private:
    bool inHistory_ = false;
};

// What the device part lists beyond the desktop program's report.
struct ReportScope {
    // The HomePlug 1.0 and Turbo stations too, not only the AV ones.
    bool allFamilies = false;
    // The device passwords; without them each entered one shows as "(left out)".
    bool passwords = true;
};

// Writes the host part and the device part. An unexpected failure is shown as "Unknown error
// occured" titled "updateDiagnosticsList" and gives false; what was written so far stays.
bool writeDiagnostics(DiagnosticsSink& sink, const ReportScope& scope = {});

// Writes the heading and the diagnostics into an open text file and closes it. False when the
// file is null or anything could not be written.
bool writeReport(std::FILE* file, const ReportScope& scope = {});
// The report lists the device passwords: only its owner may read it.
// Text in place of an entered password that the report leaves out.
inline constexpr std::string_view kPasswordLeftOut = "(left out)";
inline constexpr mode_t kReportFileMode = 0600;
// Writes the report into a new file of mode kReportFileMode that replaces whatever entry `path`
// names (writeFileAtomically): an existing file is never opened or written into, so a file that
// another user left under that name keeps its content. A symbolic link, FIFO or anything else
// but a regular file at `path` is refused, never followed or waited on. False, with the reason in
// `error` when given, when the file cannot be created or written.
bool saveReport(const std::string& path, std::string* error = nullptr,
                const ReportScope& scope = {});

// "1.0.3 build 005".
std::string versionText();
// "Released: June 17, 2010".
std::string releasedText();
// The same text for another release date, eight digits year, month and day; a month outside
// 1..12 gives no name.
std::string releasedText(std::string_view yyyymmdd);
// "OS Platform: Linux   V6.1, Build 0": the system's name and its kernel's major, minor and
// patch numbers.
std::string osPlatformLine();

}  // namespace corvel
