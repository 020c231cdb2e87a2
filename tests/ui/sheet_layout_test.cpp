// SPDX-License-Identifier: MIT
#include <unistd.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>
#include <memory>

#include "tests/ui/ui_sim_fixture.h"
#include "ui/logo_view.h"
#include "ui/main_page.h"
#include "ui/property_sheet.h"
#include "ui/quality_meter_delegate.h"
#include "ui/window_placement.h"

using namespace corvel;
using namespace corvel::test;
using corvel::ui::ColumnKind;
using corvel::ui::LogoView;
using corvel::ui::PropertySheet;

namespace {

const std::string kDemoScenario = CORVEL_SOURCE_DIR "/data/demo-scenario.json";
const QString kLongName = QStringLiteral("Living Room Media Cabinet Left 2");  // 32 characters

QHeaderView* headerOf(QAbstractItemView* view) {
    if (auto* table = qobject_cast<QTableView*>(view)) return table->horizontalHeader();
    if (auto* tree = qobject_cast<QTreeView*>(view)) return tree->header();
    return nullptr;
}

// Every header and cell text of a list that is wider than its column, measured as the style
// lays them out: the text with the style's margin either side, an icon beside it, a table's grid
// line. The Quality meter is measured by the text it writes on its bar, if any.
QStringList cutTexts(QAbstractItemView* view) {
    QStringList cut;
    QHeaderView* header = headerOf(view);
    const QStyle* style = view->style();
    const int headerMargin = style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    const auto* table = qobject_cast<QTableView*>(view);
    const int grid = table != nullptr && table->showGrid() ? 1 : 0;
    const QFontMetrics headerFont(header->font());
    const QFontMetrics cellFont(view->font());
    const QAbstractItemModel* model = view->model();
    const QString list = view->accessibleName();
    for (int column = 0; column < header->count(); ++column) {
        if (header->isSectionHidden(column)) continue;
        const int room = header->sectionSize(column);
        const QString title = model->headerData(column, Qt::Horizontal).toString();
        if (headerFont.horizontalAdvance(title) + 2 * headerMargin > room)
            cut << QStringLiteral("%1: header %2 in %3 px").arg(list, title).arg(room);
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex index = model->index(row, column);
            QString text = index.data().toString();
            int need = cellFont.horizontalAdvance(text) + 2 * margin + grid;
            if (qobject_cast<ui::QualityMeterDelegate*>(view->itemDelegateForIndex(index))) {
                const bool written =
                    ui::QualityMeterDelegate::showsText(preferences().qualityStyle);
                // The bar sits within the cell's margins and has a frame of its own.
                need = (written ? cellFont.horizontalAdvance(text) : 0) + 4 * margin + grid;
            }
            if (index.data(Qt::DecorationRole).isValid())
                need += view->iconSize().width() + 2 * margin;
            if (need > room) cut << QStringLiteral("%1: %2 in %3 px").arg(list, text).arg(room);
        }
    }
    return cut;
}

// Buttons and check boxes narrower than their texts need.
QStringList cutButtons(QWidget* page) {
    QStringList cut;
    for (QAbstractButton* button : page->findChildren<QAbstractButton*>()) {
        if (!button->isVisible() || button->text().isEmpty()) continue;
        if (button->width() < button->sizeHint().width()) cut << button->text();
    }
    return cut;
}

}  // namespace

// The sheet as it opens on the demo's network: no header, cell or button text cut short on any
// page (the test runs again with QT_SCALE_FACTOR=2), the lists growing with a resized sheet, the
// logo drawn at the screen's own resolution, and the sheet's size and place kept per user.
class SheetLayoutTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    std::unique_ptr<UiSim> sim;
    std::unique_ptr<PropertySheet> sheet;

    // The sheet at its opening size, with the demo's stations listed and their rates written.
    void openSheet() {
        sheet = std::make_unique<PropertySheet>(scratch.path().toStdString());
        sheet->show();
        QVERIFY(QTest::qWaitForWindowExposed(sheet.get()));
        sheet->start();
        sim->timer.runFor(6000);
        QCOMPARE(sheet->mainPage().remoteModel().rowCount(), 3);  // not the neighbour's
    }

private Q_SLOTS:
    void init() {
        QFile::remove(QDir(scratch.path()).filePath(QStringLiteral("Corvel Utility.data")));
        sim = std::make_unique<UiSim>(scratch.path(), kDemoScenario);
        preferences().diagnosticsLevel = 2;  // the Diagnostics page with all fourteen columns
    }
    void cleanup() {
        sheet.reset();
        sim.reset();
    }

    void nothingCutOnAnyPage_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("qualityStyle");
        QTest::newRow("the demo's network") << QString() << 0;
        QTest::newRow("a 32-character name") << kLongName << 0;
        QTest::newRow("quality in words") << QString() << 1;
    }
    void nothingCutOnAnyPage() {
        QFETCH(QString, name);
        QFETCH(int, qualityStyle);
        preferences().qualityStyle = int16_t(qualityStyle);
        openSheet();
        ui::MainPage& main = sheet->mainPage();
        if (!name.isEmpty()) {
            // The name as a rename stores it; the next refresh lists it.
            const Mac station{0x00, 0xB0, 0x52, 0x10, 0x00, 0x02};
            const int k = findDeviceByMac(station.data());
            QVERIFY(k > 0);
            copyText(core.devices[k - 1].name, name.toStdString());
            main.remoteModel().removeAll();
            sim->timer.runFor(3000);
            const int row =
                main.remoteModel().findRowByMac(QString::fromStdString(formatMac(station)));
            QVERIFY(row >= 0);
            QCOMPARE(main.remoteModel().cell(row, ColumnKind::Name), name);
        }
        QTabWidget& tabs = sheet->tabs();
        int lists = 0;
        for (int i = 0; i < tabs.count(); ++i) {
            tabs.setCurrentIndex(i);
            QCoreApplication::processEvents();
            QWidget* page = tabs.widget(i);
            for (QAbstractItemView* view : page->findChildren<QAbstractItemView*>()) {
                if (qobject_cast<QHeaderView*>(view) || !view->isVisible()) continue;
                QVERIFY2(view->model()->rowCount() > 0, qPrintable(view->accessibleName()));
                const QStringList cut = cutTexts(view);
                QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral("; "))));
                ++lists;
            }
            const QStringList buttons = cutButtons(page);
            QVERIFY2(buttons.isEmpty(), qPrintable(buttons.join(QStringLiteral("; "))));
        }
        QCOMPARE(lists, 4);  // Main: local and remote; Diagnostics: system and history
    }

    // The Main page's lists take the room of a larger sheet; the commands stay where they were
    // against the sheet's bottom right corner.
    void listsGrowWithTheSheet() {
        openSheet();
        ui::MainPage& main = sheet->mainPage();
        const QSize list = main.remoteList().size();
        QPushButton* scan = nullptr;
        for (QPushButton* b : main.findChildren<QPushButton*>())
            if (b->text() == QLatin1String("Scan")) scan = b;
        QVERIFY(scan != nullptr);
        const QPoint fromCorner =
            QPoint(sheet->width(), sheet->height()) - scan->mapTo(sheet.get(), QPoint(0, 0));
        sheet->resize(sheet->size() + QSize(160, 120));
        QCoreApplication::processEvents();
        QCOMPARE(main.remoteList().width(), list.width() + 160);
        QVERIFY(main.remoteList().height() > list.height());
        QCOMPARE(QPoint(sheet->width(), sheet->height()) - scan->mapTo(sheet.get(), QPoint(0, 0)),
                 fromCorner);
    }

    // The logo on the Main and About pages is drawn at the screen's own resolution: what shows
    // is the icon rendered for that many device pixels, not a smaller picture scaled up.
    void sharpLogos() {
        openSheet();
        QCOMPARE(sheet->findChildren<LogoView*>().size(), 2);
        for (int i : {0, sheet->tabs().count() - 1}) {
            sheet->tabs().setCurrentIndex(i);
            QCoreApplication::processEvents();
            auto* logo = sheet->tabs().widget(i)->findChild<LogoView*>();
            QVERIFY2(logo != nullptr && logo->isVisible(), qPrintable(sheet->tabs().tabText(i)));
            const qreal ratio = logo->devicePixelRatioF();
            const QImage shown = logo->grab().toImage().convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(shown.size(), logo->size() * ratio);
            const QImage icon = ui::productIcon()
                                    .pixmap(logo->size(), ratio)
                                    .toImage()
                                    .convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(icon.size(), shown.size());
            // The same pixels where the icon is opaque (the page's background shows elsewhere).
            int differing = 0;
            for (int y = 0; y < icon.height(); ++y)
                for (int x = 0; x < icon.width(); ++x)
                    if (qAlpha(icon.pixel(x, y)) == 255 && icon.pixel(x, y) != shown.pixel(x, y))
                        ++differing;
            QCOMPARE(differing, 0);
        }
        // The window's icon has a picture for every scale (the SVG icon engine is there).
        const QPixmap big = sheet->windowIcon().pixmap(QSize(32, 32), 2.0);
        QCOMPARE(big.size(), QSize(64, 64));
    }

    // The sheet comes back as large and where the user left it, from the user's own settings
    // file; a run with privileges keeps nothing in a settings directory another user owns.
    void placementKeptPerUser() {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        const ui::WindowPlacement placement;
        QCOMPARE(placement.file(),
                 config.path() + QStringLiteral("/corvel-utility/corvel-utility.conf"));
        sheet = std::make_unique<PropertySheet>(scratch.path().toStdString());
        QVERIFY(!placement.restore(*sheet));  // nothing kept yet: the opening size
        const QSize opening = sheet->size();
        QCOMPARE(opening, sheet->openingSize());
        sheet->show();
        QVERIFY(QTest::qWaitForWindowExposed(sheet.get()));
        const QSize chosen = opening + QSize(37, 23);
        sheet->resize(chosen);
        QCoreApplication::processEvents();
        placement.save(*sheet);
        sheet.reset();
        QVERIFY(QFile::exists(placement.file()));
        QVERIFY(QDir(scratch.path()).entryList({QStringLiteral("*.conf")}).isEmpty());

        sheet = std::make_unique<PropertySheet>(scratch.path().toStdString());
        QVERIFY(placement.restore(*sheet));
        QCOMPARE(sheet->size(), chosen);
        sheet.reset();

        if (::geteuid() == 0) {
            QTemporaryDir foreign;
            QCOMPARE(::chown(QFile::encodeName(foreign.path()).constData(), 65534, 65534), 0);
            qputenv("XDG_CONFIG_HOME", QFile::encodeName(foreign.path()));
            QVERIFY(ui::WindowPlacement().file().isEmpty());
        }
        qunsetenv("XDG_CONFIG_HOME");
    }
};

QTEST_MAIN(SheetLayoutTest)
#include "sheet_layout_test.moc"
