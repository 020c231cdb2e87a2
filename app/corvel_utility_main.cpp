// SPDX-License-Identifier: MIT
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>

#include "platform/notifier.h"
#include "platform/text.h"
#include "scan/scan.h"
#include "store/data_directory.h"
#include "store/preferences.h"
#include "ui/message_box_notifier.h"
#include "ui/property_sheet.h"
#include "ui/qt_scan_timer.h"
#include "ui/single_copy.h"
#include "ui/window_placement.h"

int main(int argc, char** argv) {
    // The command line is read before the application exists, so that --help, --version and a
    // usage error need no display.
    QCoreApplication::setApplicationName(QStringLiteral("corvel-utility"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORVEL_VERSION));
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Corvel Utility: powerline adapter manager"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption dataDir(QStringLiteral("data-dir"),
                                     QStringLiteral("Keep the device database in DIR."),
                                     QStringLiteral("DIR"));
    parser.addOption(dataDir);
    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr,
                     "corvel-utility: %s\nTry 'corvel-utility --help' for more information.\n",
                     qPrintable(parser.errorText().isEmpty() ? QStringLiteral("unexpected argument")
                                                             : parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        // Without an application object Qt cannot name the program in the usage line.
        QString help = parser.helpText();
        help.replace(QStringLiteral("<executable_name>"), QStringLiteral("corvel-utility"));
        std::fputs(qPrintable(help), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("corvel-utility %s\n", CORVEL_VERSION);
        return 0;
    }
    // A privileged run refuses a data directory another user controls before it reads or writes
    // anything, as the command line does.
    std::string dataDirectory = parser.value(dataDir).toStdString();
    if (!dataDirectory.empty() && corvel::runsPrivileged()) {
        if (const auto refusal =
                corvel::dataDirectoryRefusal(dataDirectory, corvel::directoryTrust())) {
            std::fprintf(stderr, "corvel-utility: %s\n", refusal->c_str());
            return 1;
        }
    }

    QApplication app(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("corvel-utility"));

    corvel::loadPreferences();
    corvel::ui::MessageBoxNotifier notifier;
    corvel::installNotifier(&notifier);

    // The data directory first: a user kept out of the shared one locks the private one.
    corvel::prepareDataPaths();
    if (!dataDirectory.empty()) {
        std::string error;
        switch (corvel::useDataDirectory(dataDirectory, error)) {
            case corvel::DirectoryUse::Used:
                dataDirectory = corvel::dataDirectory();
                break;
            case corvel::DirectoryUse::Refused:  // changed since the check above
                notifier.notify("Stop", error, corvel::Icon::Error, corvel::Buttons::Ok);
                return 1;
            case corvel::DirectoryUse::NotCreated:
                // Kept: every save then says that the list could not be written there.
                notifier.notify("Problem Occurred", dataDirectory + ": cannot be created",
                                corvel::Icon::Error, corvel::Buttons::Ok);
                break;
        }
    }
    const std::string ownDirectory =
        dataDirectory.empty() ? corvel::chooseDataDirectory() : dataDirectory;
    const std::string title = corvel::stringOf(corvel::preferences().productTitle);
    corvel::ui::SingleCopyLock lock(corvel::dataPaths().publicProductDirectory, ownDirectory);
    if (lock.state() == corvel::ui::SingleCopyLock::State::HeldElsewhere) {
        notifier.notify("Attention!", corvel::ui::alreadyRunningText(title), corvel::Icon::Error,
                        corvel::Buttons::Ok);
        return 0;
    }
    if (!lock.acquired()) {
        notifier.notify("Attention!", corvel::ui::unusableLockText(title, lock),
                        corvel::Icon::Error, corvel::Buttons::Ok);
        return 1;
    }

    corvel::ui::QtScanTimer timer;
    corvel::installScanTimer(&timer);
    corvel::ui::PropertySheet sheet(dataDirectory);
    notifier.setParent(&sheet);
    // Where and as large as the user left it, else at its opening size.
    const corvel::ui::WindowPlacement placement;
    placement.restore(sheet);
    sheet.show();
    // The first full scan runs once the window is on screen, so the user sees it at once.
    QTimer::singleShot(0, &sheet, [&sheet] { sheet.start(); });
    QObject::connect(&sheet, &QDialog::finished, &app, [&] {
        placement.save(sheet);
        QApplication::quit();
    });
    app.exec();
    corvel::installScanTimer(nullptr);
    corvel::installNotifier(nullptr);
    return 0;
}
