// SPDX-License-Identifier: MIT
#include "ui/window_placement.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QWidget>

#include "store/data_directory.h"

namespace corvel::ui {
namespace {

constexpr char kGeometryKey[] = "sheet/geometry";

// Only directories the run's own user (or root) controls, as for a privileged run's data
// directory: the settings home must exist already, so nothing is made in another user's home.
bool trustedForPrivilegedRun(const QString& configHome, const QString& directory) {
    if (!QDir(configHome).exists()) return false;
    const DirectoryTrust trust = directoryTrust();
    return !dataDirectoryRefusal(QFile::encodeName(configHome).toStdString(), trust) &&
           !dataDirectoryRefusal(QFile::encodeName(directory).toStdString(), trust);
}

}  // namespace

WindowPlacement::WindowPlacement() {
    const QString configHome =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (configHome.isEmpty()) return;
    const QString directory = configHome + QStringLiteral("/corvel-utility");
    if (runsPrivileged() && !trustedForPrivilegedRun(configHome, directory)) return;
    file_ = directory + QStringLiteral("/corvel-utility.conf");
}

bool WindowPlacement::restore(QWidget& window) const {
    if (file_.isEmpty()) return false;
    const QSettings settings(file_, QSettings::IniFormat);
    const QByteArray geometry = settings.value(QLatin1String(kGeometryKey)).toByteArray();
    return !geometry.isEmpty() && window.restoreGeometry(geometry);
}

void WindowPlacement::save(const QWidget& window) const {
    if (file_.isEmpty()) return;
    QSettings settings(file_, QSettings::IniFormat);
    settings.setValue(QLatin1String(kGeometryKey), window.saveGeometry());
    settings.sync();
}

}  // namespace corvel::ui
