// SPDX-License-Identifier: MIT
#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QTreeView>
#include <QtTest>
#include <memory>

#include "tests/ui/page_test_state.h"
#include "tests/ui/ui_test_support.h"
#include "ui/main_page.h"
#include "ui/readable_colour.h"
#include "ui/remote_list_refresh.h"

using namespace corvel;
using namespace corvel::test;
using corvel::ui::ColumnKind;
using corvel::ui::MainPage;

namespace {

const QPalette kLight = [] {
    QPalette p;
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    p.setColor(QPalette::Window, QColor(239, 239, 239));
    p.setColor(QPalette::WindowText, Qt::black);
    p.setColor(QPalette::Highlight, QColor(48, 140, 198));
    return p;
}();

// A dark theme: light text on a near-black base.
const QPalette kDark = [] {
    QPalette p;
    p.setColor(QPalette::Base, QColor(32, 32, 32));
    p.setColor(QPalette::Text, QColor(224, 224, 224));
    p.setColor(QPalette::Window, QColor(45, 45, 45));
    p.setColor(QPalette::WindowText, QColor(224, 224, 224));
    p.setColor(QPalette::Highlight, QColor(61, 174, 233));
    return p;
}();

// Pixels of `image` in `area` of the same hue as `colour`, well saturated: the meter's bar, not
// black, grey or white text and lines.
int pixelsOfHue(const QImage& image, const QRect& area, const QColor& colour) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.hsvSaturation() > 100 && std::abs(pixel.hsvHue() - colour.hsvHue()) < 12)
                ++count;
        }
    return count;
}

}  // namespace

// How the Main page's lists look: the Quality column as a meter drawn in the palette's colours
// that a screen reader reads as a word, and the preferences' text colours only where they stand
// out from the theme's base colour.
class ListLookTest : public QObject {
    Q_OBJECT

    std::unique_ptr<PageTestState> state;
    std::unique_ptr<MainPage> page;

    // A page whose remote list shows the stations of slots 0 (`rate`) and 1 (no rate at all).
    void pageWith(int qualityStyle, double rate) {
        preferences().qualityStyle = int16_t(qualityStyle);
        putLocal();
        putStation(0, uiStationMac(1), StationKind::Av, rate);
        putStation(1, uiStationMac(2), StationKind::Av, 0);
        page = std::make_unique<MainPage>(state->dataDir.path().toStdString());
        ui::fillRemoteList(page->remoteModel());
        page->fitColumns();
        QCOMPARE(page->remoteModel().rowCount(), 2);
    }
    int rowOf(int station) {
        return page->remoteModel().findRowByMac(
            QString::fromStdString(formatMac(uiStationMac(station))));
    }

private Q_SLOTS:
    void init() {
        QApplication::setPalette(kLight);
        state = std::make_unique<PageTestState>();
    }
    void cleanup() {
        page.reset();
        state.reset();
        QApplication::setPalette(kLight);
    }

    // The word a reader says for the meter: the style's own text where it is a word or a
    // number, the word scale's where the style draws symbols; the text the cell keeps is the
    // style's, as the sort and the command line have it.
    void meterReadsAsAWord_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<double>("rate");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("spoken");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("maximum");
        const QString bars20(20, QChar(0x258C));
        QTest::newRow("words") << 1 << 200.0 << "Excellent"
                               << "Excellent" << 4 << 4;
        QTest::newRow("words, weak") << 1 << 60.0 << "Good"
                                     << "Good" << 2 << 4;
        QTest::newRow("bad or good") << 2 << 20.0 << "Bad"
                                     << "Bad" << 1 << 2;
        QTest::newRow("rings") << 3 << 200.0 << "ooooo"
                               << "Excellent" << 5 << 5;
        QTest::newRow("bars") << 0 << 200.0 << bars20 << "Excellent" << 100 << 100;
        QTest::newRow("bars, half")
            << 0 << 100.0 << QString(10, QChar(0x258C)) << "Very Good" << 50 << 100;
        QTest::newRow("ranges") << 5 << 60.0 << "40-60%"
                                << "40-60%" << 3 << 5;
        QTest::newRow("percent") << 6 << 150.0 << "75%"
                                 << "75%" << 75 << 100;
    }
    void meterReadsAsAWord() {
        QFETCH(int, style);
        QFETCH(double, rate);
        QFETCH(QString, text);
        QFETCH(QString, spoken);
        QFETCH(int, value);
        QFETCH(int, maximum);
        pageWith(style, rate);
        page->show();
        QVERIFY(QTest::qWaitForWindowExposed(page.get()));
        const ui::RemoteListModel& model = page->remoteModel();
        const int row = rowOf(1);
        const int column = model.columnOf(ColumnKind::Quality);
        QCOMPARE(model.cell(row, ColumnKind::Quality), text);
        QAccessibleTableInterface* table =
            QAccessible::queryAccessibleInterface(&page->remoteList())->tableInterface();
        QVERIFY(table != nullptr);
        QCOMPARE(table->cellAt(row, column)->text(QAccessible::Name), spoken);
        QCOMPARE(model.index(row, column).data(Qt::ToolTipRole).toString(), spoken);
        const auto scale =
            model.index(row, column).data(ui::kQualityScaleRole).value<QualityScale>();
        QCOMPARE(scale.value, value);
        QCOMPARE(scale.maximum, maximum);
        // A station without a rate: an empty meter, read as offline (or the style's level 0).
        const QString silent = table->cellAt(rowOf(2), column)->text(QAccessible::Name);
        QVERIFY2(silent == QLatin1String("offline") || silent.startsWith(QLatin1Char('-')) ||
                     silent == QLatin1String("0%"),
                 qPrintable(silent));
    }

    // The meter is painted as a bar in the palette's highlight colour, full for the fastest
    // station, empty for a silent one; the glyphs of the text are not drawn.
    void meterDrawnInThePalettesColours_data() {
        QTest::addColumn<QPalette>("palette");
        QTest::newRow("light") << kLight;
        QTest::newRow("dark") << kDark;
    }
    void meterDrawnInThePalettesColours() {
        QFETCH(QPalette, palette);
        QApplication::setPalette(palette);
        pageWith(0, 200);
        page->resize(900, 400);
        page->show();
        QVERIFY(QTest::qWaitForWindowExposed(page.get()));
        QTableView& list = page->remoteList();
        const int column = page->remoteModel().columnOf(ColumnKind::Quality);
        const QImage shown = list.viewport()->grab().toImage();
        const qreal ratio = shown.devicePixelRatio();
        auto area = [&](int row) {
            const QRect cell = list.visualRect(page->remoteModel().index(row, column));
            return QRect(cell.topLeft() * ratio, cell.size() * ratio);
        };
        const QColor highlight = palette.color(QPalette::Active, QPalette::Highlight);
        const QRect full = area(rowOf(1));
        QVERIFY2(pixelsOfHue(shown, full, highlight) > full.width() * full.height() / 3,
                 qPrintable(QString::number(pixelsOfHue(shown, full, highlight))));
        QCOMPARE(pixelsOfHue(shown, area(rowOf(2)), highlight), 0);
    }

    // The WCAG contrast ratio, and the rule built on it.
    void contrastRule_data() {
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<QPalette>("palette");
        QTest::addColumn<QColor>("shown");
        const QColor darkText = kDark.color(QPalette::Text);
        const struct {
            const char* name;
            int preference;
            bool onDark;
        } colours[] = {{"green", 1, true},
                       {"blue", 2, false},
                       {"red", 3, true},
                       {"grey", 4, false},
                       {"black", 0, false}};
        for (const auto& c : colours) {
            const QColor colour = ui::listTextColour(c.preference);
            QTest::newRow(qPrintable(QStringLiteral("%1 on light").arg(QLatin1String(c.name))))
                << colour << kLight << colour;
            QTest::newRow(qPrintable(QStringLiteral("%1 on dark").arg(QLatin1String(c.name))))
                << colour << kDark << (c.onDark ? colour : darkText);
        }
        QTest::newRow("local list on light")
            << ui::kLocalListColour << kLight << ui::kLocalListColour;
        QTest::newRow("local list on dark") << ui::kLocalListColour << kDark << darkText;
        QTest::newRow("no colour") << QColor() << kLight << kLight.color(QPalette::Text);
    }
    void contrastRule() {
        QFETCH(QColor, colour);
        QFETCH(QPalette, palette);
        QFETCH(QColor, shown);
        QCOMPARE(ui::readableTextColour(colour, palette), shown);
    }
    void contrastRatio() {
        QCOMPARE(ui::contrastRatio(Qt::black, Qt::white), 21.0);
        QCOMPARE(ui::contrastRatio(Qt::white, Qt::black), 21.0);
        QCOMPARE(ui::contrastRatio(QColor(119, 119, 119), QColor(119, 119, 119)), 1.0);
        // #777777 on white, the classic borderline grey: 4.48:1.
        QVERIFY(qAbs(ui::contrastRatio(QColor(119, 119, 119), Qt::white) - 4.48) < 0.01);
    }

    // A theme switched while the program runs: the lists take the colours the rule gives for
    // the new palette at once.
    void listsFollowTheTheme() {
        preferences().listTextColour = 2;  // blue: fine on white, lost on a dark base
        pageWith(1, 120);
        page->fillLocalList();
        QCOMPARE(page->localModel().rowCount(), 1);
        const auto foreground = [](const QAbstractItemModel& model) {
            return model.index(0, 0).data(Qt::ForegroundRole).value<QColor>();
        };
        QCOMPARE(foreground(page->remoteModel()), QColor(0, 0, 255));
        QCOMPARE(foreground(page->localModel()), ui::kLocalListColour);
        QApplication::setPalette(kDark);
        QCoreApplication::processEvents();
        QCOMPARE(foreground(page->remoteModel()), kDark.color(QPalette::Text));
        QCOMPARE(foreground(page->localModel()), kDark.color(QPalette::Text));
        QApplication::setPalette(kLight);
        QCoreApplication::processEvents();
        QCOMPARE(foreground(page->remoteModel()), QColor(0, 0, 255));
    }
};

QTEST_MAIN(ListLookTest)
#include "list_look_test.moc"
