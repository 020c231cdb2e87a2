// SPDX-License-Identifier: MIT
#include "ui/station_view.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtCharts/QLineSeries>
#include <QtTest>
#include <memory>

#include "platform/bytes.h"
#include "scan/rate_history.h"
#include "sim/health_responder.h"
#include "tests/ui/ui_sim_fixture.h"
#include "ui/device_restart_dialog.h"
#include "ui/link_stats_table.h"
#include "ui/main_page.h"
#include "ui/main_page_commands.h"
#include "ui/rate_chart.h"
#include "ui/tone_map_chart.h"

using namespace corvel;
using namespace corvel::test;
using namespace corvel::ui;

namespace {

constexpr int64_t kT0 = 1'700'000'000'000;  // 2023-11-14T22:13:20Z

// Three cycles: the receive rate unmeasured in the second.
std::vector<RateSample> threeCycles() {
    return {RateSample{.atMs = kT0, .txMbps = 150, .rxMbps = 140},
            RateSample{.atMs = kT0 + 5000, .txMbps = 120, .rxMbps = std::nullopt},
            RateSample{.atMs = kT0 + 10000, .txMbps = 135, .rxMbps = 130}};
}

QString description(QWidget& widget) {
    return QAccessible::queryAccessibleInterface(&widget)->text(QAccessible::Description);
}

QString nameOf(QWidget& widget) {
    return QAccessible::queryAccessibleInterface(&widget)->text(QAccessible::Name);
}

QString cell(QTableWidget& table, int row, int column) {
    return table.item(row, column)->text();
}

size_t sentCount(const MemoryWire& wire, uint16_t mmtype) {
    size_t n = 0;
    for (const auto& f : wire.sent())
        if (f.bytes.size() >= 20 && get16le(&f.bytes[15]) == mmtype) ++n;
    return n;
}

// The context menu a list shows for the row at `at`: each action's text and whether it can be
// chosen; the action named `pick` is chosen, else the menu is closed.
QStringList menuAt(QAbstractItemView& list, const QPoint& at, const QString& pick) {
    QStringList seen;
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) return;
        QAction* chosen = nullptr;
        for (QAction* action : menu->actions()) {
            seen << action->text() + (action->isEnabled() ? "" : " (disabled)");
            if (action->text() == pick) chosen = action;
        }
        menu->close();
        if (chosen != nullptr) chosen->trigger();
    });
    Q_EMIT list.customContextMenuRequested(at);
    return seen;
}
}  // namespace

// The station view, its charts and the restart, on hand-made tables and on the simulated
// network.
class StationViewTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    std::unique_ptr<UiSim> sim;
    std::unique_ptr<MainPage> page;

    // The Main page started on the simulated network, one scan cycle run: the stations and
    // their rates in the tables and one sample each in the history.
    void startPage() {
        page = std::make_unique<MainPage>(scratch.path().toStdString());
        startWithOneCycle(*page, *sim);
    }

private Q_SLOTS:
    void init() {
        rateHistory().clear();
        sim = std::make_unique<UiSim>(scratch.path());
    }
    void cleanup() {
        page.reset();
        sim.reset();
        rateHistory().clear();
    }

    void rateChartDrawsTheHistoryAndCopiesItAsCsv() {
        RateChart chart;
        chart.setSamples(threeCycles());
        QCOMPARE(chart.txSeries().count(), 3);
        QCOMPARE(chart.rxSeries().count(), 2);  // no point where nothing was measured
        QCOMPARE(chart.txSeries().at(1), QPointF(double(kT0 + 5000), 120));
        QCOMPARE(chart.rxSeries().at(1), QPointF(double(kT0 + 10000), 130));
        QCOMPARE(chart.csv(), QStringLiteral("time,txMbps,rxMbps\n"
                                             "2023-11-14T22:13:20Z,150,140\n"
                                             "2023-11-14T22:13:25Z,120,\n"
                                             "2023-11-14T22:13:30Z,135,130\n"));
        QCOMPARE(nameOf(chart), QStringLiteral("PHY rate history"));
        QCOMPARE(description(chart),
                 QStringLiteral("Transmit: current 135 Mbit/s, lowest 120 Mbit/s, highest 150 "
                                "Mbit/s. Receive: current 130 Mbit/s, lowest 130 Mbit/s, highest "
                                "140 Mbit/s."));
        chart.setSamples({});
        QCOMPARE(chart.txSeries().count(), 0);
        QCOMPARE(chart.csv(), QStringLiteral("time,txMbps,rxMbps\n"));
        QCOMPARE(description(chart),
                 QStringLiteral("Transmit: not measured. Receive: not measured."));
    }

    void toneMapChartDrawsBitsAgainstFrequency() {
        ToneMapChart chart;
        ToneMapConfirm map;
        map.direction = ToneMapDirection::Rx;
        map.slot = 1;
        map.toneMapCount = 2;
        map.modulation = {0, 2, 6, 8, 15};  // none, QPSK, 256-QAM, 4096-QAM, unknown
        chart.setToneMap(map);
        QCOMPARE(chart.bitsSeries().count(), 5);
        QCOMPARE(chart.bitsSeries().at(3), QPointF(carrierFrequencyMHz(3), 12));
        QCOMPARE(chart.bitsSeries().at(4).y(), 0.0);  // an unknown code carries nothing drawn
        QCOMPARE(nameOf(chart), QStringLiteral("Tone map"));
        // In use: the carriers with a code other than 0; their bits (2 + 8 + 12, the unknown
        // code none) over the four.
        QCOMPARE(description(chart),
                 QStringLiteral("Receive tone map, slot 1 of 2: 4 of 5 carriers in use, mean "
                                "5.50 bits per carrier in use."));
        QCOMPARE(chart.csv(), QStringLiteral("index,frequencyHz,modulation,bits\n"
                                             "0,1806640.625,none,0\n"
                                             "1,1831054.6875,QPSK,2\n"
                                             "2,1855468.75,256-QAM,8\n"
                                             "3,1879882.8125,4096-QAM,12\n"
                                             "4,1904296.875,unknown,-1\n"));
        chart.clear();
        QCOMPARE(chart.bitsSeries().count(), 0);
        QVERIFY(chart.csv().isEmpty());
        QCOMPARE(description(chart), QStringLiteral("No tone map."));
    }

    void errorRatioText_data() {
        QTest::addColumn<qulonglong>("passed");
        QTest::addColumn<qulonglong>("failed");
        QTest::addColumn<QString>("text");
        QTest::newRow("no blocks") << 0ull << 0ull << "n/a";
        QTest::newRow("none failed") << 500ull << 0ull << "0.00 %";
        QTest::newRow("some failed") << 988ull << 12ull << "1.20 %";
        QTest::newRow("all failed") << 0ull << 7ull << "100.00 %";
    }
    void errorRatioText() {
        QFETCH(qulonglong, passed);
        QFETCH(qulonglong, failed);
        QFETCH(QString, text);
        QCOMPARE(ui::errorRatioText(passed, failed), text);
    }

    // An AV station of the simulated network: details and rates from the tables, the chart from
    // the history the page recorded, the link counters and the tone map read from the local
    // device through the operation runner.
    void avStationShowsRatesAndReadsItsLinkDetails() {
        startPage();
        sim->timer.runFor(3000);  // more cycles: more samples
        const int samples = int(rateHistory().samplesOf(kAvStation).size());
        QVERIFY(samples >= 2);
        StationView view(kAvStation, page.get());
        const QString mac = QString::fromStdString(formatMac(kAvStation));
        QCOMPARE(view.fieldText(QStringLiteral("MAC Address")), mac);
        QCOMPARE(view.fieldText(QStringLiteral("Family")), QStringLiteral("HomePlug AV"));
        QVERIFY(
            view.fieldText(QStringLiteral("Transmit rate")).endsWith(QStringLiteral(" Mbit/s")));
        QVERIFY(view.fieldText(QStringLiteral("Receive rate")).endsWith(QStringLiteral(" Mbit/s")));
        QVERIFY(!view.fieldText(QStringLiteral("Vendor")).isEmpty());
        QCOMPARE(view.rateChart().txSeries().count(), samples);
        QCOMPARE(view.rateChart().rxSeries().count(), samples);
        const QString current = QStringLiteral("Transmit: current %1,")
                                    .arg(view.fieldText(QStringLiteral("Transmit rate")));
        QVERIFY2(description(view.rateChart()).startsWith(current),
                 qPrintable(description(view.rateChart())));
        QVERIFY(view.hasLinkDetails());

        sim->wire.clearSent();
        view.readLinkDetails();
        QCOMPARE(sentCount(sim->wire, sim::kAvLinkStatsRequest), size_t(1));
        QCOMPARE(sentCount(sim->wire, sim::kAvTxToneMapRequest), size_t(1));
        QVERIFY2(view.linkStatus().text().startsWith(QStringLiteral("Counted since")),
                 qPrintable(view.linkStatus().text()));
        QVERIFY(cell(view.linkStats(), 0, 0).toULongLong() > 0);      // MPDUs acknowledged
        QCOMPARE(cell(view.linkStats(), 1, 1), QStringLiteral("-"));  // no receive collisions
        QVERIFY(cell(view.linkStats(), 5, 0).endsWith(QStringLiteral(" %")));
        QCOMPARE(view.toneMapChart().bitsSeries().count(), int(kAvCarrierCount));
        QVERIFY2(description(view.toneMapChart()).startsWith(QStringLiteral("Transmit tone map")),
                 qPrintable(description(view.toneMapChart())));
        QVERIFY(view.toneMapChart().csv().startsWith(QStringLiteral("index,frequencyHz")));
        QVERIFY(view.isEnabled());  // given back after each exchange

        // The receive map on request.
        view.toneMapDirection().setCurrentIndex(1);
        view.readToneMap();
        QVERIFY(description(view.toneMapChart()).startsWith(QStringLiteral("Receive tone map")));
        QVERIFY(sim->recorder.messages.empty());
    }

    // The local device does not answer: the view says why, and shows no stale figures.
    void failedReadsSayWhy() {
        startPage();
        StationView view(kAvStation, page.get());
        view.readLinkDetails();
        QVERIFY(view.toneMapChart().bitsSeries().count() > 0);
        sim->net.port(0).local->profile.faults.silent = true;
        view.readLinkDetails();
        QVERIFY(!view.linkStatus().text().isEmpty());
        QVERIFY(!view.linkStatus().text().startsWith(QStringLiteral("Counted")));
        QCOMPARE(cell(view.linkStats(), 0, 0), QStringLiteral("-"));
        QCOMPARE(view.toneMapChart().bitsSeries().count(), 0);
        QCOMPARE(description(view.toneMapChart()), QStringLiteral("No tone map."));
    }

    // A HomePlug 1.0 Turbo station has no AV link counters or tone maps: said plainly, no chart
    // or table shown, nothing asked on the wire.
    void oneZeroStationSaysItHasNoLinkDetails() {
        putLocal(kUiLocal, kKindTurbo);
        const Mac turbo{0x00, 0x0B, 0x3B, 0x00, 0x00, 0x12};
        putStation(0, turbo, StationKind::Turbo, 63);
        rateHistory().add(turbo, RateSample{.atMs = kT0, .txMbps = 63, .rxMbps = std::nullopt});
        StationView view(turbo, nullptr);
        view.show();
        QCOMPARE(view.fieldText(QStringLiteral("Family")), QStringLiteral("HomePlug 1.0 Turbo"));
        QCOMPARE(view.fieldText(QStringLiteral("Transmit rate")), QStringLiteral("63 Mbit/s"));
        QCOMPARE(view.fieldText(QStringLiteral("Receive rate")), QStringLiteral("not measured"));
        QVERIFY(!view.hasLinkDetails());
        QVERIFY(view.noLinkDetails().isVisible());
        QCOMPARE(view.noLinkDetails().text(),
                 QStringLiteral("This HomePlug 1.0 Turbo device has no link statistics or tone "
                                "maps: only HomePlug AV devices report them."));
        QVERIFY(!view.linkStats().isVisible());
        QVERIFY(!view.toneMapChart().isVisible());
        QVERIFY(view.rateChart().isVisible());
        sim->wire.clearSent();
        view.readLinkDetails();
        QVERIFY(sim->wire.sent().empty());
    }

    // Declined: the question was asked and nothing went on the wire. Accepted: the reset reaches
    // the station, the wait ends when it answers again, and how long it took is said.
    void restartAsksFirst() {
        startPage();
        const QString mac = QString::fromStdString(formatMac(kAvStation));
        sim->wire.clearSent();
        sim->recorder.answers = {Button::No};
        QVERIFY(!restartWithQuestion(page.get(), kAvStation, QStringLiteral("the station ") + mac));
        QCOMPARE(sim->recorder.messages.size(), size_t(1));
        QCOMPARE(sim->recorder.messages[0].title, std::string("Restart Device"));
        QCOMPARE(QString::fromStdString(sim->recorder.messages[0].text),
                 QStringLiteral("Restart the station %1? Its links are down until it is back.")
                     .arg(mac));
        QCOMPARE(sim->recorder.messages[0].buttons, Buttons::YesNo);
        QVERIFY(sim->wire.sent().empty());

        sim->recorder.messages.clear();
        sim->recorder.answers = {Button::Yes, Button::Ok};
        QVERIFY(restartWithQuestion(page.get(), kAvStation, QStringLiteral("the station ") + mac));
        QCOMPARE(sentCount(sim->wire, sim::kAvResetDeviceRequest), size_t(1));
        QCOMPARE(sim->recorder.messages.size(), size_t(2));
        const QString said = QString::fromStdString(sim->recorder.messages[1].text);
        QVERIFY2(said.startsWith(mac + QStringLiteral(" answers again ")) &&
                     said.endsWith(QStringLiteral(" s after its reset")),
                 qPrintable(said));
        QVERIFY(page->isEnabled());
    }

    // Enter on a station row asks for its view; the commands open one window per station.
    void enterOnARowOpensTheStationView() {
        startPage();
        MainPageCommands commands(*page);
        page->show();
        QVERIFY(QTest::qWaitForWindowExposed(page.get()));
        QSignalSpy asked(page.get(), &MainPage::stationDetailsRequested);
        const int row =
            page->remoteModel().findRowByMac(QString::fromStdString(formatMac(kAvStation)));
        QTableView& list = page->remoteList();
        list.setFocus();
        list.setCurrentIndex(page->remoteModel().index(row, 1));
        QTest::keyClick(&list, Qt::Key_Return);
        QCOMPARE(asked.count(), 1);
        QCOMPARE(asked.at(0).at(0).toString(), QString::fromStdString(formatMac(kAvStation)));
        QTRY_COMPARE(page->findChildren<StationView*>().size(), 1);
        commands.showStationDetails(QString::fromStdString(formatMac(kAvStation)));
        QCOMPARE(page->findChildren<StationView*>().size(), 1);  // raised, not opened twice
        page->findChildren<StationView*>().first()->close();     // deletes itself
        QTRY_VERIFY(page->findChildren<StationView*>().isEmpty());
    }

    // The station's menu offers its view and its restart; the local device's menu the restart of
    // the connected AV device. Each choice asks the page's commands with the device's MAC.
    void contextMenusOfferDetailsAndRestart() {
        startPage();
        page->show();
        QVERIFY(QTest::qWaitForWindowExposed(page.get()));
        const QString station = QString::fromStdString(formatMac(kAvStation));
        const QString local = QString::fromStdString(formatMac(kAvLocal));
        QSignalSpy details(page.get(), &MainPage::stationDetailsRequested);
        QSignalSpy restart(page.get(), &MainPage::restartRequested);
        QTableView& remote = page->remoteList();
        const QPoint row =
            remote
                .visualRect(page->remoteModel().index(page->remoteModel().findRowByMac(station), 1))
                .center();

        QCOMPARE(
            menuAt(remote, row, QStringLiteral("Details\u2026")),
            (QStringList{QStringLiteral("Details\u2026"), QStringLiteral("Restart Device\u2026")}));
        QCOMPARE(details.count(), 1);
        QCOMPARE(details.at(0).at(0).toString(), station);
        menuAt(remote, row, QStringLiteral("Restart Device\u2026"));
        QCOMPARE(restart.count(), 1);
        QCOMPARE(restart.at(0), (QList<QVariant>{station, false}));

        QTreeView& locals = page->localList();
        const QPoint localRow = locals.visualRect(locals.model()->index(0, 0)).center();
        QCOMPARE(menuAt(locals, localRow, QStringLiteral("Restart Device\u2026")),
                 QStringList{QStringLiteral("Restart Device\u2026")});
        QCOMPARE(restart.count(), 2);
        QCOMPARE(restart.at(1), (QList<QVariant>{local, true}));
        qDeleteAll(page->findChildren<StationView*>());
    }
};

QTEST_MAIN(StationViewTest)
#include "station_view_test.moc"
