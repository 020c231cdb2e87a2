// SPDX-License-Identifier: MIT
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>

#include "platform/notifier.h"
#include "platform/text.h"
#include "scan/scan.h"
#include "store/preferences.h"
#include "ui/message_box_notifier.h"
#include "ui/property_sheet.h"
#include "ui/qt_scan_timer.h"
#include "ui/single_copy.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvel-utility"));
    QApplication::setDesktopFileName(QStringLiteral("corvel-utility"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Corvel Utility: powerline adapter manager"));
    parser.addHelpOption();
    const QCommandLineOption dataDir(QStringLiteral("data-dir"),
                                     QStringLiteral("Keep the device database in DIR."),
                                     QStringLiteral("DIR"));
    parser.addOption(dataDir);
    if (!parser.parse(QApplication::arguments()) || !parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "corvel-utility: %s\n",
                     qPrintable(parser.errorText().isEmpty() ? QStringLiteral("unexpected argument")
                                                             : parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) parser.showHelp(0);

    corvel::loadPreferences();
    corvel::ui::MessageBoxNotifier notifier;
    corvel::installNotifier(&notifier);
    corvel::ui::SingleCopyLock lock;
    if (!lock.acquired()) {
        const std::string title = corvel::stringOf(corvel::preferences().productTitle);
        notifier.notify("Attention!", corvel::ui::alreadyRunningText(title), corvel::Icon::Error,
                        corvel::Buttons::Ok);
        return 0;
    }

    corvel::ui::QtScanTimer timer;
    corvel::installScanTimer(&timer);
    corvel::ui::PropertySheet sheet(parser.value(dataDir).toStdString());
    notifier.setParent(&sheet);
    sheet.show();
    // The first full scan runs once the window is on screen, so the user sees it at once.
    QTimer::singleShot(0, &sheet, [&sheet] { sheet.start(); });
    QObject::connect(&sheet, &QDialog::finished, &app, &QApplication::quit);
    app.exec();
    corvel::installScanTimer(nullptr);
    corvel::installNotifier(nullptr);
    return 0;
}
