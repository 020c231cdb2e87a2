// SPDX-License-Identifier: MIT
#include <QTemporaryDir>
#include <QtTest>

#include "platform/process_state.h"
#include "tests/ui/ui_test_support.h"
#include "ui/local_list_model.h"

using namespace corvel;
using namespace corvel::test;
using corvel::ui::LocalListModel;

// The local-device list over hand-made adapter records: which interfaces get a row, in which
// order, and what each cell shows.
class LocalListModelTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;

    static Mac localMac(int i) { return Mac{0x00, 0xB0, 0x52, 0x00, 0x00, uint8_t(0x20 + i)}; }
    static void adapter(int i, int32_t kind, bool present, bool withMac = true) {
        AdapterRecord& a = core.adapters[i];
        a.localPresent = present ? 1 : 0;
        a.localKind = kind;
        if (withMac) copyMac(a.localMac, localMac(i).data());
    }
    static QString macText(int i) { return QString::fromStdString(formatMac(localMac(i))); }
    static QStringList rows(const LocalListModel& model) {
        QStringList texts;
        for (int row = 0; row < model.rowCount(); ++row)
            texts << model.index(row, 0).data().toString() + " " +
                         model.index(row, 1).data().toString();
        return texts;
    }

private Q_SLOTS:
    void init() {
        resetProcessState();
        setDataDirectory(scratch.path().toStdString());
    }

    // One row per present local device known by its MAC, in interface order; absent ones and
    // one without a MAC yet are left out.
    void rowsOfThePresentLocalDevices() {
        adapter(0, kKindAv, false);
        adapter(1, kKindAv, true);
        adapter(2, kKindHomePlug10, true, false);
        adapter(3, kKindTurbo, true);
        adapter(5, kKindHomePlug10, true);
        adapter(7, kKindUsb, true);
        LocalListModel model;
        model.fillLocalList(QIcon());
        const QStringList expected{"HomePlug AV Device " + macText(1),
                                   "HomePlug Turbo Device " + macText(3),
                                   "HomePlug 1.0 Device " + macText(5), "USB " + macText(7)};
        QCOMPARE(rows(model), expected);
    }

    // The columns, the colour of every cell, the icon beside the device type only, cells that
    // can be selected but not edited, and the same texts read out to a screen reader.
    void columnsAndCells() {
        adapter(0, kKindAv, true);
        LocalListModel model;
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::red);
        model.fillLocalList(QIcon(pixmap));
        QCOMPARE(model.columnCount(), 2);
        QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("Device Type"));
        QCOMPARE(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("MAC Address"));
        QVERIFY(!model.headerData(2, Qt::Horizontal, Qt::DisplayRole).isValid());
        for (int column = 0; column < 2; ++column) {
            const QModelIndex cell = model.index(0, column);
            QCOMPARE(cell.data(Qt::ForegroundRole).value<QColor>(), QColor(17, 0, 136));
            QCOMPARE(cell.data(Qt::AccessibleTextRole), cell.data(Qt::DisplayRole));
            QVERIFY(cell.flags() & Qt::ItemIsSelectable);
            QVERIFY(!(cell.flags() & Qt::ItemIsEditable));
        }
        QVERIFY(!model.index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(!model.index(0, 1).data(Qt::DecorationRole).isValid());
        QVERIFY(!model.index(1, 0).isValid());
    }

    // The list is rebuilt, not edited: a second fill shows the records as they are then, and a
    // clear leaves no row.
    void rebuiltFromTheRecords() {
        adapter(0, kKindAv, true);
        adapter(1, kKindTurbo, true);
        LocalListModel model;
        model.fillLocalList(QIcon());
        QCOMPARE(model.rowCount(), 2);
        core.adapters[0].localPresent = 0;
        core.adapters[1].localKind = kKindHomePlug10;
        model.fillLocalList(QIcon());
        QCOMPARE(rows(model), (QStringList{"HomePlug 1.0 Device " + macText(1)}));
        model.clear();
        QCOMPARE(model.rowCount(), 0);
    }
};

QTEST_MAIN(LocalListModelTest)
#include "local_list_model_test.moc"
