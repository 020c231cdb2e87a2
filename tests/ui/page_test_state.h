// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <string>

#include "core/tables.h"
#include "network/operation_hooks.h"
#include "network/scan_now.h"
#include "platform/clock.h"
#include "platform/mac.h"
#include "platform/notifier.h"
#include "platform/process_state.h"
#include "platform/text.h"
#include "scan/device_list.h"
#include "store/data_directory.h"
#include "store/preferences.h"
#include "transport/capture_backend.h"
#include "transport/memory_wire.h"

// What every page and dialog test starts from: empty tables, the product's preferences, a
// scratch data directory for the database, the virtual clock (no real waits), an in-memory wire
// with no interface (no frame can reach a real network) and the recording notifier, whose
// scripted answers stand in for the user at each message box.
namespace corvel::test {

class PageTestState {
public:
    PageTestState() : clockScope_(clock), notifierScope_(recorder) {
        resetProcessState();
        setDataDirectory(dataDir.path().toStdString());
        installCaptureBackend(&wire);
    }
    ~PageTestState() {
        installCaptureBackend(nullptr);
        setDataDirectory("");
        resetProcessState();
    }
    PageTestState(const PageTestState&) = delete;
    PageTestState& operator=(const PageTestState&) = delete;

    // "title: text" of every message shown so far.
    QStringList texts() const {
        QStringList out;
        for (const RecordingNotifier::Message& m : recorder.messages)
            out << QString::fromStdString(m.title + ": " + m.text);
        return out;
    }

    // The MAC 00:B0:52:00:00:<last>.
    static Mac macOf(uint8_t last) { return Mac{0x00, 0xB0, 0x52, 0x00, 0x00, last}; }

    // A device record with a name and a stored password; its 1-based index.
    static int addDevice(uint8_t last, const std::string& name, const std::string& password) {
        const Mac mac = macOf(last);
        const int k = appendDevice(mac.data(), name);
        copyText(core.devices[k - 1].password, password);
        return k;
    }

    VirtualClock clock;
    MemoryWire wire;
    RecordingNotifier recorder;
    QTemporaryDir dataDir;

private:
    ScopedClock clockScope_;
    ScopedNotifier notifierScope_;
};

// The controls a user reaches (buttons, boxes, lists) that a screen reader could not name.
inline QStringList unnamedControls(const QWidget* root) {
    QStringList unnamed;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        // A list's header is read as part of the list, through its column headers.
        const bool list = qobject_cast<QAbstractItemView*>(w) && !qobject_cast<QHeaderView*>(w);
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                             list || qobject_cast<QPlainTextEdit*>(w);
        if (!control) continue;
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
        if (face == nullptr || face->text(QAccessible::Name).isEmpty())
            unnamed << QString::fromLatin1(w->metaObject()->className());
    }
    return unnamed;
}

}  // namespace corvel::test
