// SPDX-License-Identifier: MIT
#include "ui/report_printing.h"

#include <QFile>
#include <QFontDatabase>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextDocument>

namespace corvel::ui {

QString defaultPrinterName() {
    return QPrinterInfo::defaultPrinterName();
}

bool printTextFile(const QString& path, QPrinter& printer) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    QTextDocument document;
    document.setDefaultFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    document.setPlainText(QString::fromUtf8(file.readAll()));
    if (!printer.isValid()) return false;
    document.print(&printer);
    return printer.printerState() != QPrinter::Error;
}

bool printTextFileOn(const QString& path, const QString& printerName) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPrinterName(printerName);
    printer.setDocName(QStringLiteral("Diagnostics Report"));
    return printTextFile(path, printer);
}

}  // namespace corvel::ui
