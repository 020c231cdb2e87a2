// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The About page: the product title, version and release date, the maker's notice, the read-me
// text ("Readme.txt", found as the other product files are) and a button that opens the maker's
// web site in the user's browser.
namespace corvel::ui {

inline const char* const kReadmeMissingText =
    "Readme.txt file is missing. The Corvel Utility may not have been properly installed.";

// The read-me as the page shows it: "Readme.txt" from the working directory or the product data
// folders, its line ends (CR LF, LF or CR) made line breaks; the missing-file text when no copy
// can be read.
QString readmeText();

class AboutPage : public QWidget {
    Q_OBJECT
public:
    // Title, web address from the preferences in force.
    explicit AboutPage(QWidget* parent = nullptr);

    // Reads the read-me again (done each time the page is shown).
    void refreshReadme();

    QLabel* titleLabel() const { return title_; }
    QLabel* versionLabel() const { return version_; }
    QLabel* releaseLabel() const { return release_; }
    QPushButton* webButton() const { return web_; }
    QPlainTextEdit* readmeBox() const { return readme_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void openWebAddress();

    QLabel* title_;
    QLabel* version_;
    QLabel* release_;
    QPushButton* web_;
    QPlainTextEdit* readme_;
};

}  // namespace corvel::ui
