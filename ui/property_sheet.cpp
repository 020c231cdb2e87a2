// SPDX-License-Identifier: MIT
#include "ui/property_sheet.h"

#include <QDialogButtonBox>
#include <QIcon>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "platform/text.h"
#include "store/preferences.h"
#include "ui/about_page.h"
#include "ui/diagnostics_page.h"
#include "ui/main_page.h"
#include "ui/main_page_commands.h"
#include "ui/operation_runner.h"
#include "ui/privacy_page.h"
#include "ui/stoppable_run.h"

// The icon is compiled into the library; a static library's resources are registered by hand.
static void loadResources() {
    Q_INIT_RESOURCE(resources);
}

namespace corvel::ui {

PropertySheet::PropertySheet(std::string dataDirectory, QWidget* parent) : QDialog(parent) {
    loadResources();
    const QString title = QString::fromLocal8Bit(stringOf(preferences().productTitle));
    setWindowTitle(title);
    setAccessibleName(title);
    setWindowIcon(QIcon(QStringLiteral(":/corvel-utility.svg")));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    tabs_ = new QTabWidget(this);
    tabs_->setAccessibleName(QStringLiteral("Pages"));
    main_ = new MainPage(std::move(dataDirectory), tabs_);
    main_->setWindowIcon(windowIcon());
    new MainPageCommands(*main_);  // the page's child: Enter Password, Add, Upgrade Firmware
    tabs_->addTab(main_, QStringLiteral("Main"));
    tabs_->addTab(new PrivacyPage(tabs_), QStringLiteral("Privacy"));
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
    resize(680, 520);
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
