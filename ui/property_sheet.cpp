// SPDX-License-Identifier: MIT
#include "ui/property_sheet.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

#include "platform/text.h"
#include "store/preferences.h"
#include "ui/about_page.h"
#include "ui/diagnostics_page.h"
#include "ui/logo_view.h"
#include "ui/main_page.h"
#include "ui/main_page_commands.h"
#include "ui/operation_runner.h"
#include "ui/privacy_page.h"
#include "ui/stoppable_run.h"

namespace corvel::ui {
namespace {

// The size the sheet opens at, at the least.
constexpr QSize kLeastOpeningSize(680, 520);

}  // namespace

PropertySheet::PropertySheet(std::string dataDirectory, QWidget* parent) : QDialog(parent) {
    const QString title = QString::fromLocal8Bit(stringOf(preferences().productTitle));
    setWindowTitle(title);
    setAccessibleName(title);
    setWindowIcon(productIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    tabs_ = new QTabWidget(this);
    tabs_->setAccessibleName(QStringLiteral("Pages"));
    main_ = new MainPage(std::move(dataDirectory), tabs_);
    main_->setWindowIcon(windowIcon());
    new MainPageCommands(*main_);  // the page's child: Enter Password, Add, Upgrade Firmware
    connect(main_, &MainPage::scanStarted, this, [this] { privacyFirstVisit_ = false; });
    tabs_->addTab(main_, QStringLiteral("Main"));
    tabs_->addTab(new PrivacyPage(privacyFirstVisit_, tabs_), QStringLiteral("Privacy"));
    if (const int level = preferences().diagnosticsLevel; level != 0) {
        // A device deleted there leaves the Main page's list at once.
        auto deleted = [this](const QString& macText) { main_->remoteModel().removeRowByMac(macText); };
        tabs_->addTab(new DiagnosticsPage(level, main_->startDirectory(), deleted, tabs_),
                      QStringLiteral("Diagnostics"));
    }
    tabs_->addTab(new AboutPage(tabs_), QStringLiteral("About"));

    auto* buttons = new QDialogButtonBox(this);
    close_ = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::RejectRole);
    close_->setAccessibleName(close_->text());
    close_->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);
    resize(openingSize());
}

// As large as the pages want, every column of the Main page's lists shown as fitted, within the
// screen's room for windows.
QSize PropertySheet::openingSize() const {
    QSize size = sizeHint().expandedTo(kLeastOpeningSize);
    if (const QScreen* screen = this->screen()) size = size.boundedTo(screen->availableSize());
    return size;
}

void PropertySheet::start() {
    main_->start();
    activeIndex_ = tabs_->currentIndex();
    main_->activate();
    connect(tabs_, &QTabWidget::currentChanged, this, &PropertySheet::pageChanged);
}

// Only the Main page has something to do when it is left or shown again.
void PropertySheet::pageChanged(int index) {
    if (tabs_->widget(activeIndex_) == main_) main_->deactivate();
    activeIndex_ = index;
    if (tabs_->widget(index) == main_) main_->activate();
}

void PropertySheet::reject() {
    // The operation ends first; its window stays answering. A set of the network name is asked
    // to stop, and the window closes once it has put back what it had changed.
    if (operationRunning()) {
        requestStop(this);
        return;
    }
    if (tabs_->currentWidget() == main_) main_->deactivate();
    QDialog::reject();
}

}  // namespace corvel::ui
