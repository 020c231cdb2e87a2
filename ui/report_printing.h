// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QPrinter;

// Printing the saved diagnostics report with Qt PrintSupport: the system's default printer and
// the report's text laid out in a fixed-width font, so that its tab-separated columns line up.
namespace corvel::ui {

// The default printer's name; empty when the system has none.
QString defaultPrinterName();

// Prints the text file at `path` on `printer`. False when the file cannot be read or the printer
// refuses the job.
bool printTextFile(const QString& path, QPrinter& printer);

// Prints the text file at `path` on the printer called `printerName`.
bool printTextFileOn(const QString& path, const QString& printerName);

}  // namespace corvel::ui
