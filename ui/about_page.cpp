// SPDX-License-Identifier: MIT
#include "ui/about_page.h"

#include <QDesktopServices>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QUrl>
#include <QVBoxLayout>

#include "platform/text.h"
#include "report/report.h"
#include "store/preferences.h"
#include "store/product_files.h"
#include "ui/logo_view.h"

namespace corvel::ui {

namespace {

// A read-me is a few pages; a larger file is shown up to this size.
constexpr qint64 kReadmeMaxBytes = 1 << 20;

template <size_t N>
QString preferenceText(const char (&field)[N]) {
    return QString::fromStdString(stringOf(field));
}

}  // namespace

QString readmeText() {
    QFile file(QFile::decodeName(findProductFile("Readme.txt").c_str()));
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly))
        return QString::fromUtf8(kReadmeMissingText);
    QString text = QString::fromUtf8(file.read(kReadmeMaxBytes));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

AboutPage::AboutPage(QWidget* parent) : QWidget(parent) {
    const Preferences& prefs = preferences();
    title_ = new QLabel(preferenceText(prefs.productTitle), this);
    QFont titleFont = title_->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    title_->setFont(titleFont);
    version_ = new QLabel(QString::fromStdString(versionText()), this);
    release_ = new QLabel(QString::fromStdString(releasedText()), this);
    web_ = new QPushButton(preferenceText(prefs.webAddress), this);
    // A blank button still needs a name a screen reader can read.
    if (web_->text().isEmpty()) web_->setAccessibleName(QStringLiteral("Web site"));
    readme_ = new QPlainTextEdit(this);
    readme_->setReadOnly(true);
    readme_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    readme_->setAccessibleName(QStringLiteral("Read me and licences"));

    auto* versionRow = new QFormLayout;
    versionRow->addRow(QStringLiteral("Version:"), version_);
    auto* heading = new QVBoxLayout;
    heading->addWidget(title_);
    heading->addLayout(versionRow);
    heading->addWidget(release_);
    heading->addWidget(web_, 0, Qt::AlignLeft);
    // The logo at the top, beside the title and version.
    auto* top = new QHBoxLayout;
    top->addWidget(new LogoView(64, this), 0, Qt::AlignTop);
    top->addLayout(heading, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(new QLabel(
        QStringLiteral("Corvel Utility is free software under the MIT licence."), this));
    layout->addWidget(new QLabel(QStringLiteral("Read me and licences:"), this));
    layout->addWidget(readme_, 1);

    connect(web_, &QPushButton::clicked, this, &AboutPage::openWebAddress);
    refreshReadme();
}

void AboutPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) refreshReadme();
}

void AboutPage::refreshReadme() {
    readme_->setPlainText(readmeText());
}

void AboutPage::openWebAddress() {
    // An empty address names no site to open.
    if (web_->text().isEmpty()) return;
    QDesktopServices::openUrl(QUrl::fromUserInput(web_->text()));
}

}  // namespace corvel::ui
