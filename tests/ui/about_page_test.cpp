// SPDX-License-Identifier: MIT
#include "ui/about_page.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QtTest>

#include "store/product_files.h"
#include "tests/ui/page_test_state.h"

using namespace corvel;
using namespace corvel::ui;
using corvel::test::PageTestState;

namespace {

// The product files are looked for in a scratch working directory only.
class ScratchWorkingDirectory {
public:
    ScratchWorkingDirectory() : previous_(QDir::currentPath()) {
        setProductDataFolders({});
        QDir::setCurrent(dir.path());
    }
    ~ScratchWorkingDirectory() {
        QDir::setCurrent(previous_);
        restoreProductDataFolders();
    }
    void writeReadme(const QByteArray& bytes) const {
        QFile file(dir.filePath(QStringLiteral("Readme.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QTemporaryDir dir;

private:
    QString previous_;
};

}  // namespace

class AboutPageTest : public QObject {
    Q_OBJECT
public Q_SLOTS:
    // Stands in for the user's browser.
    void openInBrowser(const QUrl& url) { opened << url.toString(); }

private Q_SLOTS:
    void init() {
        opened.clear();
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openInBrowser");
    }
    void cleanup() { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }

    void showsTheProductAndItsRelease() {
        PageTestState state;
        ScratchWorkingDirectory work;
        copyText(preferences().productTitle, "Corvel Utility");
        AboutPage page;
        QCOMPARE(page.titleLabel()->text(), QStringLiteral("Corvel Utility"));
        QCOMPARE(page.versionLabel()->text(), QStringLiteral("1.0.3 build 005"));
        QCOMPARE(page.releaseLabel()->text(), QStringLiteral("Released: June 17, 2010"));
        QVERIFY(page.readmeBox()->isReadOnly());
        QCOMPARE(corvel::test::unnamedControls(&page), QStringList());
    }

    void theWebButtonOpensTheWebAddress_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QStringList>("opened");
        QTest::newRow("address") << "https://corvel-utility.example.org"
                                 << QStringList{"https://corvel-utility.example.org"};
        QTest::newRow("blank") << "" << QStringList{};
    }
    void theWebButtonOpensTheWebAddress() {
        QFETCH(QString, address);
        QFETCH(QStringList, opened);
        PageTestState state;
        ScratchWorkingDirectory work;
        copyText(preferences().webAddress, address.toStdString());
        AboutPage page;
        QCOMPARE(page.webButton()->text(), address);
        page.webButton()->click();
        QCOMPARE(this->opened, opened);
        QVERIFY(!QAccessible::queryAccessibleInterface(page.webButton())
                     ->text(QAccessible::Name)
                     .isEmpty());
    }

    void theReadmeIsShownWithItsLineBreaks_data() {
        QTest::addColumn<bool>("present");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("missing") << false << QByteArray()
                                 << "Readme.txt file is missing. The Corvel Utility may not have "
                                    "been properly installed.";
        QTest::newRow("empty") << true << QByteArray() << "";
        QTest::newRow("line feeds") << true << QByteArray("one\ntwo\n") << "one\ntwo\n";
        QTest::newRow("CR LF") << true << QByteArray("one\r\ntwo\r\n") << "one\ntwo\n";
        QTest::newRow("bare CR") << true << QByteArray("one\rtwo") << "one\ntwo";
    }
    void theReadmeIsShownWithItsLineBreaks() {
        QFETCH(bool, present);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        PageTestState state;
        ScratchWorkingDirectory work;
        if (present) work.writeReadme(bytes);
        AboutPage page;
        QCOMPARE(page.readmeBox()->toPlainText(), shown);
        QVERIFY(state.texts().isEmpty());  // no message box, whatever the file
    }

    // The read-me is read again each time the page is shown.
    void showingThePageReadsTheReadmeAgain() {
        PageTestState state;
        ScratchWorkingDirectory work;
        AboutPage page;
        QVERIFY(page.readmeBox()->toPlainText().startsWith("Readme.txt file is missing."));
        work.writeReadme("installed now\n");
        page.show();
        QCOMPARE(page.readmeBox()->toPlainText(), QStringLiteral("installed now\n"));
    }

private:
    QStringList opened;
};

QTEST_MAIN(AboutPageTest)
#include "about_page_test.moc"
