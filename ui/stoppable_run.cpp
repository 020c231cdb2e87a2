// SPDX-License-Identifier: MIT
#include "ui/stoppable_run.h"

#include <QMetaObject>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "core/tables.h"
#include "keys/derive.h"
#include "network/local_key.h"
#include "network/operation_stop.h"
#include "platform/mac.h"
#include "scan/station_texts.h"
#include "platform/notifier.h"
#include "ui/operation_runner.h"

namespace corvel::ui {

namespace {

// The request of the operation that runs now, and the window to close after it; GUI thread.
CancelRequest* running = nullptr;
QPointer<QWidget> closing;

bool known(const QString& name) {
    return !name.isEmpty() && name != QString::fromUtf8(kUnknownNetworkName.data(),
                                                        qsizetype(kUnknownNetworkName.size()));
}

QString quoted(const QString& name) {
    return QStringLiteral("'") + name + QStringLiteral("'");
}

// What the Privacy page's Set button `button` does with `name` in its box.
QString setWith(const QString& button, const QString& name) {
    if (!known(name))
        return QStringLiteral("%1 on the Privacy page with the name of your network").arg(button);
    const bool isPublic = name.toStdString() == kPublicAvName ||
                          name.toStdString() == kPublicHp10Name;
    return QStringLiteral("%1 on the Privacy page with %2 (%3)")
        .arg(button, quoted(name),
             isPublic ? QStringLiteral("Use Default (Public Network)")
                      : QStringLiteral("typed in the name box"));
}

QString stopText(const StopReport& stop, const QString& before, const QString& set) {
    if (stop.finished)
        return QStringLiteral("Stopped after the devices had taken the new key; they keep it.");
    QStringList lines;
    if (stop.localBack && stop.devicesLeft.empty() && !stop.addedDeviceLeft) {
        lines << QStringLiteral("Stopped. What was changed is put back: the local device is on "
                                "its network%1 as before.")
                     .arg(known(before) ? QStringLiteral(" ") + quoted(before) : QString());
    } else {
        lines << QStringLiteral("Stopped.");
    }
    QStringList macs;
    for (const Mac& mac : stop.devicesLeft) macs << QString::fromStdString(formatMac(mac));
    if (stop.addedDeviceLeft) {
        lines << QStringLiteral("The device of that password%1 may stay on a key of its own "
                                "until it is added: Add finds it again by its password.")
                     .arg(macs.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(macs.join(", ")));
    } else if (!macs.isEmpty()) {
        lines << QStringLiteral("%1 could not be put back and stay on the network %2: %3 puts "
                                "them back.")
                     .arg(macs.join(", "), quoted(set), setWith("Set All Devices", before));
    }
    if (!stop.localBack)
        lines << QStringLiteral("The local device could not be put back on its network; it may be "
                                "on a key of its own (Unknown Networkname) and cut off from its "
                                "stations: %1 puts it back.")
                     .arg(setWith("Set Local Device Only", before));
    return lines.join(QStringLiteral("\n"));
}

}  // namespace

void runStoppable(QWidget* disable, const std::function<void()>& operation,
                  const QString& networkBefore, const QString& networkSet) {
    CancelRequest request;
    StopReport stop;
    {
        const OperationStopScope scope(request);
        running = &request;
        closing = nullptr;
        try {
            runOperation(disable, operation);
        } catch (...) {
            running = nullptr;
            throw;
        }
        running = nullptr;
        stop = lastStop();
    }
    if (stop.stopped)
        notifier().notify("Attention!", stopText(stop, networkBefore, networkSet).toStdString(),
                          Icon::Warning, Buttons::Ok);
    if (QWidget* window = closing.data()) {
        closing = nullptr;
        QMetaObject::invokeMethod(window, "reject", Qt::QueuedConnection);
    }
}

bool requestStop(QWidget* closeAfter) {
    if (running == nullptr) return false;
    running->requestCancel();
    if (closeAfter != nullptr) closing = closeAfter;
    return true;
}

bool stoppableRunning() {
    return running != nullptr;
}

}  // namespace corvel::ui
