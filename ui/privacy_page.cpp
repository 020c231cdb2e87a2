// SPDX-License-Identifier: MIT
#include "ui/privacy_page.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "core/tables.h"
#include "keys/rules.h"
#include "network/network_name_ops.h"
#include "network/scan_now.h"
#include "platform/text.h"
#include "ui/operation_runner.h"
#include "ui/stoppable_run.h"

namespace corvel::ui {

namespace {

// The network name box is read with room for 78 characters.
constexpr int kNetworkNameBoxRead = 78;

QLabel* wrappedLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

// The current network name when the selected interface's local device is present.
QString presentNetworkName(int32_t localPresent) {
    if (!localPresent) return {};
    return QString::fromStdString(std::string(textOf(currentStationTable().networkName)));
}

}  // namespace

PrivacyPage::PrivacyPage(bool& firstVisit, QWidget* parent)
    : QWidget(parent), firstVisit_(firstVisit) {
    name_ = new QLineEdit(this);
    name_->setAccessibleName(QStringLiteral("Private Network Name"));
    useDefault_ = new QPushButton(QStringLiteral("Use Default (Public Network)"), this);
    setLocal_ = new QPushButton(QStringLiteral("Set Local Device Only"), this);
    setAll_ = new QPushButton(QStringLiteral("Set All Devices"), this);

    auto* nameGroup = new QGroupBox(QStringLiteral("Private Network Name"), this);
    auto* nameGrid = new QGridLayout(nameGroup);
    nameGrid->addWidget(name_, 0, 0);
    nameGrid->addWidget(new QLabel(QStringLiteral("OR"), nameGroup), 0, 1);
    nameGrid->addWidget(useDefault_, 0, 2);
    nameGrid->addWidget(wrappedLabel(QStringLiteral("Do not share the network name with others "
                                                    "you do not want to be part of this network."),
                                     nameGroup),
                        1, 0, 1, 3);

    auto* placeGroup = new QGroupBox(QStringLiteral("Place On This Network"), this);
    auto* placeGrid = new QGridLayout(placeGroup);
    placeGrid->addWidget(wrappedLabel(QStringLiteral("Only the device attached to this computer "
                                                     "(the Local Device).\n(Isolates this "
                                                     "computer from others):"),
                                      placeGroup),
                         0, 0);
    placeGrid->addWidget(setLocal_, 0, 1);
    placeGrid->addWidget(new QLabel(QStringLiteral("OR"), placeGroup), 1, 0);
    placeGrid->addWidget(wrappedLabel(QStringLiteral("ALL devices whose Password has been entered."
                                                     "\n(They communicate together but are "
                                                     "isolated from devices with a different "
                                                     "network name)"),
                                      placeGroup),
                         2, 0);
    placeGrid->addWidget(setAll_, 2, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(wrappedLabel(QStringLiteral("Use this screen to create a Private Network "
                                                  "that provides you with extra security."),
                                   this));
    layout->addWidget(nameGroup);
    layout->addWidget(wrappedLabel(QStringLiteral("After setting the name above, choose how it "
                                                  "will be applied below:"),
                                   this));
    layout->addWidget(placeGroup);
    layout->addStretch();

    connect(name_, &QLineEdit::textChanged, this, &PrivacyPage::limitName);
    connect(useDefault_, &QPushButton::clicked, this, &PrivacyPage::useDefaultName);
    connect(setLocal_, &QPushButton::clicked, this, [this] { applyName(false); });
    connect(setAll_, &QPushButton::clicked, this, [this] { applyName(true); });

    name_->setText(presentNetworkName(currentStationTable().localPresent));
    name_->selectAll();
}

void PrivacyPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A window brought back from the task bar shows its page again without a page change.
    if (!event->spontaneous()) activate();
}

void PrivacyPage::activate() {
    if (firstVisit_ && core.localIsAv) runOperation(window(), [] { scanNow(); });
    firstVisit_ = false;
    name_->setText(presentNetworkName(currentAdapterRecord().localPresent));
    if (!name_->text().isEmpty()) name_->setFocus();
}

void PrivacyPage::limitName() {
    std::string text = name_->text().toStdString();
    if (!cutTypedNetworkName(text)) return;
    name_->setText(QString::fromStdString(text));
    name_->selectAll();
}

void PrivacyPage::useDefaultName() {
    const std::string_view name = defaultNetworkName();
    name_->setText(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    name_->selectAll();
    name_->setFocus();
}

void PrivacyPage::applyName(bool allDevices) {
    const std::string name = name_->text().left(kNetworkNameBoxRead).toStdString();
    const NetworkNameScope scope =
        allDevices ? NetworkNameScope::allDevices : NetworkNameScope::localDeviceOnly;
    // Neither set starts again while one runs, and the confirmation of Set All Devices is asked
    // with both disabled.
    setLocal_->setEnabled(false);
    setAll_->setEnabled(false);
    // Closing the window meanwhile stops the set, which puts back what it had changed.
    runStoppable(
        window(), [&] { applyNetworkName(name, scope); },
        QString::fromStdString(stringOf(currentStationTable().networkName)),
        QString::fromStdString(name));
    setLocal_->setEnabled(true);
    setAll_->setEnabled(true);
}

}  // namespace corvel::ui
