// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

#include <string>

class QPushButton;
class QTabWidget;

// The whole program as one dialog: the pages as tabs ("Main", "Privacy", "Diagnostics" when the
// diagnosticsLevel preference is not 0, "About"), a single "Close" button, the productTitle as
// caption. Closing it saves the device list when the Main page is the active one.
namespace corvel::ui {

class MainPage;

class PropertySheet : public QDialog {
    Q_OBJECT
public:
    explicit PropertySheet(std::string dataDirectory = {}, QWidget* parent = nullptr);

    // Starts the Main page (first full scan) and makes it the active page.
    void start();

    MainPage& mainPage() { return *main_; }
    // Set when the sheet is made; the first visit of the Privacy page with an AV local device
    // scans once, unless the Main page's scan ran before (both clear it).
    bool privacyFirstVisit() const { return privacyFirstVisit_; }
    QTabWidget& tabs() { return *tabs_; }
    QPushButton& closeButton() { return *close_; }

    void reject() override;
    // The size the sheet opens at: its pages' wish, at least 680 x 520, within the screen.
    QSize openingSize() const;

private:
    void pageChanged(int index);

    QTabWidget* tabs_ = nullptr;
    QPushButton* close_ = nullptr;
    MainPage* main_ = nullptr;
    int activeIndex_ = -1;
    bool privacyFirstVisit_ = true;
};

}  // namespace corvel::ui
