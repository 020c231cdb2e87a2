// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

class QLineEdit;
class QPushButton;

// The Privacy page: the user types a network name (the private network's password, from which
// its key is derived) and places on that network either the local device alone or every device
// whose password has been entered; or goes back to the public network's name.
namespace corvel::ui {

class PrivacyPage : public QWidget {
    Q_OBJECT
public:
    // The name box opens with the selected station table's network name when its local device
    // is present. The set operations run through runOperation with `window()` disabled.
    // `firstVisit` is the sheet's: set while the page was never visited and no scan was started
    // from the pages; it must outlive the page.
    explicit PrivacyPage(bool& firstVisit, QWidget* parent = nullptr);

    // The page became the sheet's current page: on the first visit with an AV local device, one
    // scan; then the name box shows the current network name when the local device is present,
    // else nothing.
    void activate();

    QLineEdit* nameBox() const { return name_; }
    QPushButton* defaultButton() const { return useDefault_; }
    QPushButton* setLocalButton() const { return setLocal_; }
    QPushButton* setAllButton() const { return setAll_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void limitName();
    void useDefaultName();
    void applyName(bool allDevices);

    bool& firstVisit_;
    QLineEdit* name_;
    QPushButton* useDefault_;
    QPushButton* setLocal_;
    QPushButton* setAll_;
};

}  // namespace corvel::ui
