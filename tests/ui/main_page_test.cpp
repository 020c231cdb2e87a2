// SPDX-License-Identifier: MIT
#include <QAccessible>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>
#include <QTreeView>
#include <QTemporaryDir>
#include <QPushButton>
#include <QtTest>

#include <functional>
#include <memory>
#include <tuple>

#include "store/database.h"
#include "tests/ui/ui_sim_fixture.h"
#include "ui/main_page.h"

using namespace corvel;
using namespace corvel::test;
using corvel::ui::ColumnKind;
using corvel::ui::MainPage;

namespace {

QStringList visibleTitles(QTableView& list) {
    QStringList titles;
    const QHeaderView* header = list.horizontalHeader();
    for (int position = 0; position < header->count(); ++position)
        titles << list.model()->headerData(header->logicalIndex(position), Qt::Horizontal).toString();
    return titles;
}

// A notifier that runs `during` while its box would be on screen, as a refresh from the timer
// inside a message box's own event loop does.
struct ReentrantNotifier : Notifier {
    Button notify(const std::string& title, const std::string& text, Icon, Buttons) override {
        messages.push_back(title + ": " + text);
        if (during) std::exchange(during, nullptr)();
        return Button::Ok;
    }
    std::vector<std::string> messages;
    std::function<void()> during;
};

}  // namespace

// The Main page on the simulated network: what its start shows, the list layout kept in the
// database, the status texts, rename in place and the not-detected guard.
class MainPageTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    std::unique_ptr<UiSim> sim;
    std::unique_ptr<MainPage> page;

    // The page's start, then one scan cycle: the start's refresh sees the adapters for the
    // first time and clears the stations, the cycle's full scan finds them again.
    void startPage() {
        page = std::make_unique<MainPage>(scratch.path().toStdString());
        startWithOneCycle(*page, *sim);
        QVERIFY(sim->timer.running());
    }
    QString macOf(const Mac& mac) { return QString::fromStdString(formatMac(mac)); }
    // Types `text` into the name editor of the row last selected and presses Enter.
    void renameTo(const QString& text) {
        page->startRename();
        auto* editor = page->remoteList().viewport()->findChild<QLineEdit*>();
        QVERIFY(editor != nullptr);
        QVERIFY(core.scanPaused);  // no refresh under the editor
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();  // the delegate commits from a queued call
    }
    int rowOf(const Mac& mac) { return page->remoteModel().findRowByMac(macOf(mac)); }

private Q_SLOTS:
    void init() {
        QDir(scratch.path()).removeRecursively();
        QDir().mkpath(scratch.path());
        sim = std::make_unique<UiSim>(scratch.path());
    }
    void cleanup() {
        page.reset();
        sim.reset();
    }

    void startListsTheAvStationsWithRates() {
        startPage();
        const QAbstractItemModel& local = page->localModel();
        QCOMPARE(local.rowCount(), 1);
        QCOMPARE(local.index(0, 0).data().toString(), QStringLiteral("HomePlug AV Device"));
        QCOMPARE(local.index(0, 1).data().toString(), macOf(kAvLocal));
        QCOMPARE(page->connectionLabel().text(), QStringLiteral("Connected to HomePlug AV Device"));
        QCOMPARE(page->networkTypeLabel().text(), QStringLiteral("Network Type: Public"));
        QCOMPARE(page->remoteCaption().text(),
                 QStringLiteral("2 Additional devices found on the network:"));
        const ui::RemoteListModel& model = page->remoteModel();
        QCOMPARE(model.rowCount(), 2);
        const QRegularExpression rate(QStringLiteral("^[1-9][0-9]*\\.[0-9]{2}$"));
        for (const Mac& mac : {kAvStation, kAvStation2}) {
            const int row = rowOf(mac);
            QVERIFY2(row >= 0, qPrintable(macOf(mac)));
            QVERIFY(rate.match(model.cell(row, ColumnKind::Rate)).hasMatch());
            QVERIFY(!model.cell(row, ColumnKind::Quality).isEmpty());
            QCOMPARE(model.cell(row, ColumnKind::Password), QStringLiteral("--- not entered ---"));
        }
        QVERIFY(sim->recorder.messages.empty());
        QVERIFY(page->upgradeButton().isEnabled());
    }

    // A screen reader reads the whole page: every button, box and label by its text, both lists
    // cell by cell (the local device with its MAC, each station's name, MAC, rate and quality).
    void accessibleTreeReadsThePage() {
        startPage();
        page->show();  // a tree lays out its rows, as the reader sees them, once shown
        QVERIFY(QTest::qWaitForWindowExposed(page.get()));
        QStringList named;
        QStringList unnamed;
        std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
            const QAccessible::Role role = node->role();
            const QString name = node->text(QAccessible::Name);
            if (role == QAccessible::PushButton || role == QAccessible::CheckBox ||
                role == QAccessible::StaticText || role == QAccessible::Table ||
                role == QAccessible::Tree || role == QAccessible::TreeItem ||
                role == QAccessible::Cell ||
                role == QAccessible::ColumnHeader)
                (name.trimmed().isEmpty() && name != QStringLiteral(" ") ? unnamed : named) << name;
            for (int i = 0; i < node->childCount(); ++i) walk(node->child(i));
        };
        walk(QAccessible::queryAccessibleInterface(page.get()));
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('|'))));
        for (const QString& text :
             {QStringLiteral("Connect"), QStringLiteral("Scan"), QStringLiteral(" Autoscan On "),
              QStringLiteral("Connected to HomePlug AV Device"), QStringLiteral("HomePlug AV Device"),
              macOf(kAvLocal), QStringLiteral("Network Type: Public"), QStringLiteral("Rate (Mbps)")})
            QVERIFY2(named.contains(text), qPrintable(text));

        QAccessibleInterface* list =
            QAccessible::queryAccessibleInterface(&page->remoteList());
        QAccessibleTableInterface* table = list->tableInterface();
        QVERIFY(table != nullptr);
        QCOMPARE(table->rowCount(), 2);
        const ui::RemoteListModel& model = page->remoteModel();
        // The Quality column is a drawn meter: a reader says the word of its level, not the
        // bar's glyphs (the preferences' style draws bars).
        const QStringList words{"offline", "Fair", "Good", "Very Good", "Excellent"};
        for (int row = 0; row < 2; ++row)
            for (int column = 0; column < model.columnCount(); ++column) {
                const QString read = table->cellAt(row, column)->text(QAccessible::Name);
                if (model.kindOf(column) == ColumnKind::Quality)
                    QVERIFY2(words.contains(read), qPrintable(read));
                else
                    QCOMPARE(read, model.cell(row, model.kindOf(column)));
            }
    }

    // The local list keeps its selected row through a rebuild; the selected row picks the
    // interface, counting only those with a local device; a remembered row that is gone
    // falls back to the first.
    void localRowPicksTheInterface() {
        page = std::make_unique<MainPage>(scratch.path().toStdString());
        const Mac av{0x00, 0xB0, 0x52, 0x00, 0x00, 0x40};
        const Mac turbo{0x00, 0x0B, 0x3B, 0x00, 0x00, 0x42};
        for (const auto& [i, kind, mac] : {std::tuple{0, kKindAv, av}, {2, kKindTurbo, turbo}}) {
            core.adapters[i].localPresent = 1;
            core.adapters[i].localKind = kind;
            core.stationTables[i].localKind = kind;
            copyMac(core.adapters[i].localMac, mac.data());
        }
        QTreeView& list = page->localList();
        auto selected = [&] {
            const QModelIndexList rows = list.selectionModel()->selectedRows();
            return rows.size() == 1 && list.currentIndex().row() == rows.first().row()
                       ? rows.first().row()
                       : -1;
        };
        page->fillLocalList();
        QCOMPARE(page->localModel().rowCount(), 2);
        QCOMPARE(selected(), 0);

        list.setCurrentIndex(page->localModel().index(1, 1));
        page->selectLocalFromList();
        QCOMPARE(core.currentAdapter, 2);
        QCOMPARE(core.localIsTurbo, 1);
        QCOMPARE(page->connectionLabel().text(),
                 QStringLiteral("Connected to HomePlug Turbo Device"));
        page->fillLocalList();
        QCOMPARE(selected(), 1);

        core.adapters[2].localPresent = 0;
        page->fillLocalList();
        QCOMPARE(page->localModel().rowCount(), 1);
        QVERIFY(list.selectionModel()->selectedRows().isEmpty());
        page->selectLocalFromList();
        QCOMPARE(core.currentAdapter, 0);
        QCOMPARE(core.localIsTurbo, 0);
        QCOMPARE(page->connectionLabel().text(), QStringLiteral("Connected to HomePlug AV Device"));
    }

    // A click on a column header sorts the stations by that column through the model.
    void headerClickSorts() {
        startPage();
        page->show();
        QVERIFY(QTest::qWaitForWindowExposed(page.get()));
        const ui::RemoteListModel& model = page->remoteModel();
        QCOMPARE(model.rowCount(), 2);
        // The sort reads the rates from the station table.
        currentStationTable().stations[model.slotOf(rowOf(kAvStation))].rate.currentRate = 90;
        currentStationTable().stations[model.slotOf(rowOf(kAvStation2))].rate.currentRate = 30;
        const auto macAt = [&](int row) { return model.cell(row, ColumnKind::Mac); };
        QHeaderView* header = page->remoteList().horizontalHeader();
        const int rate = page->remoteModel().columnOf(ColumnKind::Rate);
        const QPoint centre(header->sectionViewportPosition(rate) + header->sectionSize(rate) / 2,
                            header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
        QCOMPARE(page->remoteModel().sortColumn(), rate);
        QCOMPARE(page->remoteModel().sortFlag(), 0);
        QCOMPARE(macAt(0), macOf(kAvStation2));  // lowest first
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, centre);
        QCOMPARE(page->remoteModel().sortFlag(), 1);
        QCOMPARE(macAt(0), macOf(kAvStation));
    }

    // Columns are created at display position 1 each: the list shows them in reverse after the
    // first, at least as wide as created and as their texts need, until the user drags them; the
    // dragged order and widths come back from the database at the next start, and a column the
    // user did not size is kept there with its created width and fitted again.
    void createdOrderAndTheSavedLayout() {
        startPage();
        QHeaderView* header = page->remoteList().horizontalHeader();
        QCOMPARE(visibleTitles(page->remoteList()),
                 (QStringList{"Device Name", "Password", "Quality", "Rate (Mbps)", "MAC Address"}));
        const QList<int> widths{120, 120, 70, 110, 140};
        for (int logical = 0; logical < 5; ++logical)
            QVERIFY(header->sectionSize(logical) >= widths[logical]);

        header->moveSection(header->visualIndex(1), 0);  // MAC Address dragged to the front
        header->resizeSection(0, 200);
        header->resizeSection(4, 90);  // narrower than its texts: the user's choice all the same
        page->remoteModel().headerClicked(2);
        page->deactivate();
        QCOMPARE(listLayout().widths[0], 200);
        QCOMPARE(listLayout().widths[4], 90);
        for (int logical : {1, 2, 3}) QCOMPARE(listLayout().widths[logical], widths[logical]);
        const int fittedMac = header->sectionSize(1);
        page.reset();
        listLayout() = defaultListLayout();
        startPage();
        header = page->remoteList().horizontalHeader();
        QCOMPARE(visibleTitles(page->remoteList()),
                 (QStringList{"MAC Address", "Device Name", "Password", "Quality", "Rate (Mbps)"}));
        QCOMPARE(header->sectionSize(0), 200);
        QCOMPARE(header->sectionSize(4), 90);
        QCOMPARE(header->sectionSize(1), fittedMac);
        QCOMPARE(page->remoteModel().sortColumn(), 2);
        // Kept through the refreshes of a scan cycle.
        sim->timer.runFor(3000);
        QCOMPARE(header->sectionSize(0), 200);
        QCOMPARE(header->sectionSize(4), 90);
    }

    void statusLine_data() {
        QTest::addColumn<bool>("adding");
        QTest::addColumn<int>("phase");
        QTest::addColumn<QString>("text");
        QTest::newRow("scanning") << false << 2 << QStringLiteral(" Scanning...");
        QTest::newRow("idle") << false << 3 << QStringLiteral(" ");
        QTest::newRow("after a full scan") << false << 7 << QStringLiteral(" ");
        QTest::newRow("adding wins") << true << 1 << QStringLiteral("Adding device. Please Wait...");
    }
    void statusLine() {
        QFETCH(bool, adding);
        QFETCH(int, phase);
        QFETCH(QString, text);
        startPage();
        pendingAdd().active = adding;
        page->setStatusLine(phase);
        QCOMPARE(page->statusLine().text(), text);
        QCOMPARE(page->statusLine().accessibleName(), text);
    }

    void privateNetworkType() {
        startPage();
        copyText(currentStationTable().networkName, "DemoHome");
        page->setStatusLine(3);
        QCOMPARE(page->networkTypeLabel().text(), QStringLiteral("Network Type: Private"));
    }

    void autoscanCheckBox() {
        startPage();
        QCheckBox& box = page->autoscanBox();
        QCOMPARE(box.text(), QStringLiteral(" Autoscan On "));
        QTest::mouseClick(&box, Qt::LeftButton);
        QCOMPARE(box.text(), QStringLiteral(" Autoscan Off "));
        QVERIFY(!box.isChecked());
        QVERIFY(core.scanPaused);
        QCOMPARE(page->statusLine().text(), QStringLiteral(" "));
        QTest::mouseClick(&box, Qt::LeftButton);
        QCOMPARE(box.text(), QStringLiteral(" Autoscan On "));
        QVERIFY(!core.scanPaused);
    }

    // The rename rules on the device's record, through the editor as the user types.
    void rename_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("messages");
        const QString forty(40, QLatin1Char('k'));
        QTest::newRow("new name") << QStringLiteral("Living Room") << QStringLiteral("Living Room")
                                  << QStringList{};
        QTest::newRow("its own name")
            << QStringLiteral("Study") << QStringLiteral("Study")
            << QStringList{"Attention!: Please enter another name."};
        QTest::newRow("another device's name")
            << QStringLiteral("Garage") << QStringLiteral("Study")
            << QStringList{"Attention!: Please enter another name."};
        QTest::newRow("empty") << QString() << QStringLiteral("Study")
                               << QStringList{"Attention!: Please enter another name."};
        QTest::newRow("40 characters cut to 31")
            << forty << forty.left(31)
            << QStringList{"Attention!: Device Name should be less than 31 characters"};
    }
    void rename() {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(QStringList, messages);
        startPage();
        const int study = findDeviceByMac(kAvStation.data());
        const int garage = findDeviceByMac(kAvStation2.data());
        QVERIFY(study > 0 && garage > 0);
        copyText(core.devices[study - 1].name, "Study");
        copyText(core.devices[garage - 1].name, "Garage");
        const int row = rowOf(kAvStation);
        page->remoteModel().setCell(row, ColumnKind::Name, QStringLiteral("Study"));
        page->remoteList().selectRow(row);
        const bool scanWasOn = !core.scanPaused;

        renameTo(typed);
        QStringList shown;
        for (const auto& m : sim->recorder.messages)
            shown << QString::fromStdString(m.title + ": " + m.text);
        QCOMPARE(shown, messages);
        QCOMPARE(QString::fromLatin1(core.devices[study - 1].name), stored);
        QCOMPARE(page->remoteModel().cell(row, ColumnKind::Name), stored);
        QCOMPARE(!core.scanPaused, scanWasOn);
    }

    // Rename edits the row last reported selected, even when the selection has gone since.
    void renameUsesTheLastSelectedRow() {
        startPage();
        const int row = rowOf(kAvStation2);
        page->remoteList().selectRow(row);
        page->remoteList().clearSelection();
        renameTo(QStringLiteral("Kitchen"));
        QCOMPARE(QString::fromLatin1(core.devices[findDeviceByMac(kAvStation2.data()) - 1].name),
                 QStringLiteral("Kitchen"));
    }

    // An add waiting for a known station: the refresh gives the station the added name and
    // password, tells the Add Device dialog to close and rebuilds the lists.
    void refreshCompletesAPendingAdd() {
        startPage();
        QSignalSpy adopted(page.get(), &MainPage::addDeviceAdopted);
        PendingAdd& add = pendingAdd();
        add.active = true;
        add.name = "Garden Shed";
        add.password = "QWER-TYUI-ASDF-GHJK";
        add.expectedMac = kAvStation2;
        page->setStatusLine(3);
        QCOMPARE(page->statusLine().text(), QStringLiteral("Adding device. Please Wait..."));
        page->refreshView(7);
        QCOMPARE(adopted.count(), 1);
        QVERIFY(!pendingAdd().active);
        const int k = findDeviceByMac(kAvStation2.data());
        QCOMPARE(QString::fromLatin1(core.devices[k - 1].name), QStringLiteral("Garden Shed"));
        QCOMPARE(QString::fromLatin1(core.devices[k - 1].password),
                 QStringLiteral("QWER-TYUI-ASDF-GHJK"));
        sim->timer.runFor(3000);  // the stations were cleared with the lists; the cycle finds them
        QCOMPARE(page->remoteModel().cell(rowOf(kAvStation2), ColumnKind::Name),
                 QStringLiteral("Garden Shed"));
        QVERIFY(page->statusLine().text() != QStringLiteral("Adding device. Please Wait..."));
    }

    // The adapter lost: one "Problem Occurred" box at a time, even when a refresh runs while it is
    // on screen; the local list is rebuilt without it.
    void adapterLostShowsOneBox() {
        startPage();
        ReentrantNotifier boxes;
        ScopedNotifier scope(boxes);
        core.adapters[0].localPresent = 0;
        core.stationTables[0].localPresent = 0;
        boxes.during = [&] {
            core.adapters[0].localKind = kKindHomePlug10;  // changed again meanwhile
            page->refreshView(7);
        };
        page->refreshView(7);
        QCOMPARE(boxes.messages,
                 (std::vector<std::string>{"Problem Occurred: HomePlug Adapter NOT DETECTED"}));
        QCOMPARE(page->localModel().rowCount(), 0);
        QCOMPARE(page->remoteModel().rowCount(), 0);
        page->refreshView(7);  // nothing changed since: no new box
        QCOMPARE(boxes.messages.size(), size_t(1));
    }
};

QTEST_MAIN(MainPageTest)
#include "main_page_test.moc"
