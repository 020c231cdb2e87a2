// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QWidget>

// The product's logo at a fixed size in layout pixels, drawn from its scalable icon each time it
// is painted, so that it stays sharp at any screen scale (QT_SCALE_FACTOR=2, a high-DPI screen,
// a window moved between screens) instead of a small bitmap blown up.
namespace corvel::ui {

// The logo the sheet, the Main page and the About page show (the desktop entry's icon).
QIcon productIcon();

class LogoView : public QWidget {
    Q_OBJECT
public:
    LogoView(int size, QWidget* parent = nullptr);

    QSize sizeHint() const override { return {size_, size_}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QIcon icon_;
    int size_;
};

}  // namespace corvel::ui
