// SPDX-License-Identifier: MIT
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <vector>

#include "platform/process_state.h"
#include "tests/ui/ui_test_support.h"
#include "ui/remote_list_model.h"
#include "ui/remote_list_refresh.h"

using namespace corvel;
using namespace corvel::test;
using corvel::ui::ColumnKind;
using corvel::ui::RemoteListModel;
using corvel::ui::RemoteListOptions;
using corvel::ui::fillRemoteList;

// The remote list over hand-made station tables: which stations get a row, the cells' texts and
// the sort rules of the header clicks.
class RemoteListModelTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;

    RemoteListOptions options(int style = 1, bool rate = true, bool quality = true) {
        return RemoteListOptions{.showRate = rate, .showQuality = quality, .qualityStyle = style,
                                 .textColour = Qt::black};
    }
    static QStringList column(const RemoteListModel& model, ColumnKind kind) {
        QStringList texts;
        for (int row = 0; row < model.rowCount(); ++row) texts << model.cell(row, kind);
        return texts;
    }
    // Three named stations whose names, MACs and rates sort in different orders.
    static void threeStations() {
        putLocal();
        putStation(0, uiStationMac(3), StationKind::Av, 50);
        putStation(1, uiStationMac(1), StationKind::Av, 150);
        putStation(2, uiStationMac(2), StationKind::Av, 100);
        putDevice(uiStationMac(3), "Attic");
        putDevice(uiStationMac(1), "Cellar");
        putDevice(uiStationMac(2), "Bedroom");
    }

private Q_SLOTS:
    void init() {
        resetProcessState();
        setDataDirectory(scratch.path().toStdString());
    }

    void textColourOfThePreference_data() {
        QTest::addColumn<int>("preference");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("green") << 1 << QColor(0, 128, 0);
        QTest::newRow("blue") << 2 << QColor(0, 0, 255);
        QTest::newRow("red") << 3 << QColor(255, 0, 0);
        QTest::newRow("grey") << 4 << QColor(96, 96, 96);
        QTest::newRow("0x00BBGGRR") << 0x00336699 << QColor(0x99, 0x66, 0x33);
        QTest::newRow("zero is black") << 0 << QColor(0, 0, 0);
        QTest::newRow("negative is black") << -7 << QColor(0, 0, 0);
    }
    void textColourOfThePreference() {
        QFETCH(int, preference);
        QFETCH(QColor, colour);
        QCOMPARE(ui::listTextColour(preference), colour);
    }

    // Rate 0 shows "?" and, in the Quality column, the level-0 text of a table style, 0% or an
    // empty bar; a known rate shows two decimals.
    void rateZeroAndQualityLevelZero_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("quality");
        QTest::newRow("words") << 1 << QStringLiteral("-offline -");
        QTest::newRow("bad/good") << 2 << QStringLiteral("-");
        QTest::newRow("rings") << 3 << QStringLiteral("-");
        QTest::newRow("wide bars") << 4 << QStringLiteral("-");
        QTest::newRow("percent ranges") << 5 << QStringLiteral("-");
        QTest::newRow("percentage") << 6 << QStringLiteral("0%");
        QTest::newRow("rate bar") << 0 << QString();
    }
    void rateZeroAndQualityLevelZero() {
        QFETCH(int, style);
        QFETCH(QString, quality);
        putLocal();
        putStation(0, uiStationMac(1), StationKind::Av, 0);
        putStation(1, uiStationMac(2), StationKind::Av, 120);
        RemoteListModel model(options(style));
        fillRemoteList(model);
        QCOMPARE(model.rowCount(), 2);
        const int silent = model.findRowByMac(QString::fromStdString(formatMac(uiStationMac(1))));
        const int talking = model.findRowByMac(QString::fromStdString(formatMac(uiStationMac(2))));
        QCOMPARE(model.cell(silent, ColumnKind::Rate), QStringLiteral("?"));
        QCOMPARE(model.cell(silent, ColumnKind::Quality), quality);
        QCOMPARE(model.cell(talking, ColumnKind::Rate), QStringLiteral("120.00"));
    }

    // The wide bars are U+258C (left half block), 2, 5, 6, 8 and 9 of them for levels 1 to 5.
    void wideBarsOfStyleFour() {
        putLocal();
        // (120 + 40) * 4 / 200 = 3.2 -> level 4
        putStation(0, uiStationMac(1), StationKind::Av, 120);
        RemoteListModel model(options(4));
        fillRemoteList(model);
        QCOMPARE(model.cell(0, ColumnKind::Quality), QString(8, QChar(0x258C)));
    }

    // Only present HomePlug AV stations other than the local device have a row; one that stops
    // answering loses it at the next refresh, and a known one has its rate cells rewritten only
    // when its rate changed.
    void whichStationsAreListed() {
        putLocal();
        putStation(0, uiStationMac(1), StationKind::Av, 80);
        putStation(1, uiStationMac(2), StationKind::HomePlug10, 10);
        putStation(2, uiStationMac(3), StationKind::Turbo, 60);
        putStation(3, kUiLocal, StationKind::Av, 200);               // the local device itself
        putStation(4, uiStationMac(5), StationKind::Av, 90, false);  // dropped
        putStation(5, uiStationMac(6), StationKind::Av, 70);
        RemoteListModel model(options());
        fillRemoteList(model);
        const QStringList macs = column(model, ColumnKind::Mac);
        QCOMPARE(macs, (QStringList{QString::fromStdString(formatMac(uiStationMac(1))),
                                    QString::fromStdString(formatMac(uiStationMac(6)))}));
        QCOMPARE(model.cell(0, ColumnKind::Password), QStringLiteral("--- not entered ---"));
        QCOMPARE(model.cell(0, ColumnKind::Name), QStringLiteral("Veltrix Device 1"));

        StationRecord& first = core.stationTables[0].stations[0];
        first.rate.currentRate = 95;  // no change flagged: the cell keeps its text
        first.rate.rateChanged = 0;
        core.stationTables[0].stations[5].present = 0;
        fillRemoteList(model);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.cell(0, ColumnKind::Rate), QStringLiteral("80.00"));
        first.rate.rateChanged = 1;
        fillRemoteList(model);
        QCOMPARE(model.cell(0, ColumnKind::Rate), QStringLiteral("95.00"));
        QCOMPARE(int(first.rate.rateChanged), 0);
    }

    // Each case: header clicks from the initial state (column 1, flag 1), and the names in the
    // order that follows the last click.
    void headerClicks_data() {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QStringList>("names");
        // MACs :01 Cellar (150), :02 Bedroom (100), :03 Attic (50).
        QTest::newRow("initial: MAC ascending") << QList<int>{}
                                                << QStringList{"Cellar", "Bedroom", "Attic"};
        QTest::newRow("same column again reverses")
            << QList<int>{1} << QStringList{"Attic", "Bedroom", "Cellar"};
        QTest::newRow("new text column starts descending")
            << QList<int>{0} << QStringList{"Cellar", "Bedroom", "Attic"};
        QTest::newRow("and reverses on the second click")
            << QList<int>{0, 0} << QStringList{"Attic", "Bedroom", "Cellar"};
        QTest::newRow("rate column starts with the lowest")
            << QList<int>{2} << QStringList{"Attic", "Bedroom", "Cellar"};
        QTest::newRow("rate reversed: the highest first")
            << QList<int>{2, 2} << QStringList{"Cellar", "Bedroom", "Attic"};
        // Back to a column: it uses the direction it remembered, flipped on every switch to it.
        QTest::newRow("second switch to a column: ascending")
            << QList<int>{0, 2, 0} << QStringList{"Attic", "Bedroom", "Cellar"};
        QTest::newRow("third switch: descending again")
            << QList<int>{0, 2, 0, 2, 0} << QStringList{"Cellar", "Bedroom", "Attic"};
        QTest::newRow("the memory is per column")
            << QList<int>{2, 0} << QStringList{"Cellar", "Bedroom", "Attic"};
    }
    void headerClicks() {
        QFETCH(QList<int>, clicks);
        QFETCH(QStringList, names);
        threeStations();
        RemoteListModel model(options());
        fillRemoteList(model);
        for (int c : clicks) model.headerClicked(c);
        QCOMPARE(column(model, ColumnKind::Name), names);
    }

    // With the Rate column hidden, column 2 is Quality and column 3 Password: each sorts by what
    // it shows.
    void hiddenColumnSortsByWhatItShows() {
        threeStations();
        copyText(core.devices[0].password, "CCCC-CCCC-CCCC-CCCC");  // Attic
        copyText(core.devices[1].password, "AAAA-AAAA-AAAA-AAAA");  // Cellar
        copyText(core.devices[2].password, "BBBB-BBBB-BBBB-BBBB");  // Bedroom
        RemoteListModel model(options(1, false, true));
        QCOMPARE(model.columnCount(), 4);
        QCOMPARE(model.kindOf(3), ColumnKind::Password);
        fillRemoteList(model);
        model.headerClicked(3);
        model.headerClicked(3);  // ascending
        QCOMPARE(column(model, ColumnKind::Name), (QStringList{"Cellar", "Bedroom", "Attic"}));
    }

    // sort(column, order) by each column's key, both ways. The stations are chosen so that each
    // column puts them in a different order: Attic :03 100 Mbit/s "Very Good" password B,
    // Cellar :01 50 "Good" C, Bedroom :02 150 "Excellent" A. The flag is what the database
    // keeps: set for ascending text but for the highest rate first.
    void sortByColumn_data() {
        QTest::addColumn<int>("sortColumn");
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("flag");
        const auto up = Qt::AscendingOrder;
        const auto down = Qt::DescendingOrder;
        QTest::newRow("name A-Z") << 0 << up << QStringList{"Attic", "Bedroom", "Cellar"} << 1;
        QTest::newRow("name Z-A") << 0 << down << QStringList{"Cellar", "Bedroom", "Attic"} << 0;
        QTest::newRow("MAC up") << 1 << up << QStringList{"Cellar", "Bedroom", "Attic"} << 1;
        QTest::newRow("MAC down") << 1 << down << QStringList{"Attic", "Bedroom", "Cellar"} << 0;
        QTest::newRow("rate lowest first")
            << 2 << up << QStringList{"Cellar", "Attic", "Bedroom"} << 0;
        QTest::newRow("rate highest first")
            << 2 << down << QStringList{"Bedroom", "Attic", "Cellar"} << 1;
        QTest::newRow("quality text up")
            << 3 << up << QStringList{"Bedroom", "Cellar", "Attic"} << 1;
        QTest::newRow("quality text down")
            << 3 << down << QStringList{"Attic", "Cellar", "Bedroom"} << 0;
        QTest::newRow("password up") << 4 << up << QStringList{"Bedroom", "Attic", "Cellar"} << 1;
        QTest::newRow("password down")
            << 4 << down << QStringList{"Cellar", "Attic", "Bedroom"} << 0;
        // A column the list does not have: kept as the state, the rows stay as filled (MAC up).
        QTest::newRow("no such column")
            << 7 << up << QStringList{"Cellar", "Bedroom", "Attic"} << 1;
    }
    void sortByColumn() {
        QFETCH(int, sortColumn);
        QFETCH(Qt::SortOrder, order);
        QFETCH(QStringList, names);
        QFETCH(int, flag);
        putLocal();
        putStation(0, uiStationMac(3), StationKind::Av, 100);
        putStation(1, uiStationMac(1), StationKind::Av, 50);
        putStation(2, uiStationMac(2), StationKind::Av, 150);
        putDevice(uiStationMac(3), "Attic", "BBBB-BBBB-BBBB-BBBB");
        putDevice(uiStationMac(1), "Cellar", "CCCC-CCCC-CCCC-CCCC");
        putDevice(uiStationMac(2), "Bedroom", "AAAA-AAAA-AAAA-AAAA");
        RemoteListModel model(options());
        fillRemoteList(model);
        model.sort(sortColumn, order);
        QCOMPARE(column(model, ColumnKind::Name), names);
        QCOMPARE(model.sortColumn(), sortColumn);
        QCOMPARE(model.sortFlag(), flag);
        QCOMPARE(model.orderOf(sortColumn, flag), order);
    }

    // Header clicks go through sort(column, order), as a proxy or a view would call it: the
    // per-column memory decides the order it is given.
    void headerClicksCallSort_data() {
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<int>("sortColumn");
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::newRow("MAC again: Z-A") << QList<int>{1} << 1 << Qt::DescendingOrder;
        QTest::newRow("name first time: Z-A") << QList<int>{0} << 0 << Qt::DescendingOrder;
        QTest::newRow("name twice: A-Z") << QList<int>{0, 0} << 0 << Qt::AscendingOrder;
        QTest::newRow("rate first time: lowest first") << QList<int>{2} << 2 << Qt::AscendingOrder;
        QTest::newRow("rate twice: highest first") << QList<int>{2, 2} << 2 << Qt::DescendingOrder;
        QTest::newRow("name again after rate: A-Z")
            << QList<int>{0, 2, 0} << 0 << Qt::AscendingOrder;
    }
    void headerClicksCallSort() {
        QFETCH(QList<int>, clicks);
        QFETCH(int, sortColumn);
        QFETCH(Qt::SortOrder, order);
        struct Recording : RemoteListModel {
            using RemoteListModel::RemoteListModel;
            void sort(int c, Qt::SortOrder o) override {
                calls.append({c, o});
                RemoteListModel::sort(c, o);
            }
            QList<QPair<int, Qt::SortOrder>> calls;
        };
        threeStations();
        Recording model(options());
        for (int c : clicks) model.headerClicked(c);
        QCOMPARE(model.calls.size(), clicks.size());
        QCOMPARE(model.calls.last(), qMakePair(sortColumn, order));
    }

    // The model only shows what the refresh gave it: its rows, cells and sorts leave the
    // stations' change flags to the refresh, which consumes them.
    void changeFlagsAreTheRefreshs() {
        threeStations();
        RemoteListModel model(options());
        StationRecord& station = core.stationTables[0].stations[0];
        const int row = model.appendRow(0, QStringLiteral("Attic"), QStringLiteral("mac"),
                                        QStringLiteral("pw"));
        station.kindChanged = 1;
        model.setCell(row, ColumnKind::Rate, QStringLiteral("1.00"));
        for (int c = 0; c < model.columnCount(); ++c) {
            model.sort(c, Qt::AscendingOrder);
            for (int role : {int(Qt::DisplayRole), int(Qt::EditRole), int(Qt::AccessibleTextRole),
                             int(Qt::ForegroundRole)})
                model.data(model.index(row, c), role);
        }
        QCOMPARE(int(station.rate.rateChanged), 1);
        QCOMPARE(int(station.kindChanged), 1);
        model.removeAll();
        fillRemoteList(model);
        QCOMPARE(int(station.rate.rateChanged), 0);
        QCOMPARE(int(station.kindChanged), 0);
    }

    // A sort keeps the selection on its station, not on its row number.
    void selectionFollowsItsRowThroughASort() {
        threeStations();
        RemoteListModel model(options());
        fillRemoteList(model);
        const QPersistentModelIndex attic = model.index(2, 0);
        model.headerClicked(1);
        QCOMPARE(attic.row(), 0);
        QCOMPARE(model.cell(attic.row(), ColumnKind::Name), QStringLiteral("Attic"));
    }

    // Only the name cell is editable, and an edit asks for the rename instead of writing.
    void nameEditAsksForTheRename() {
        threeStations();
        RemoteListModel model(options());
        fillRemoteList(model);
        QSignalSpy asked(&model, &RemoteListModel::renameRequested);
        QVERIFY(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
        QVERIFY(!(model.flags(model.index(0, 1)) & Qt::ItemIsEditable));
        QVERIFY(model.setData(model.index(0, 0), QStringLiteral("Loft"), Qt::EditRole));
        QCOMPARE(asked.count(), 1);
        QCOMPARE(asked.at(0).at(1).toString(), QStringLiteral("Loft"));
        QCOMPARE(model.cell(0, ColumnKind::Name), QStringLiteral("Cellar"));
    }
};

QTEST_MAIN(RemoteListModelTest)
#include "remote_list_model_test.moc"
