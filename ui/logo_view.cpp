// SPDX-License-Identifier: MIT
#include "ui/logo_view.h"

#include <QPainter>

// The icon is compiled into the library; a static library's resources are registered by hand.
static void loadResources() {
    Q_INIT_RESOURCE(resources);
}

namespace corvel::ui {

QIcon productIcon() {
    loadResources();
    return QIcon(QStringLiteral(":/corvel-utility.svg"));
}

LogoView::LogoView(int size, QWidget* parent) : QWidget(parent), icon_(productIcon()), size_(size) {
    setAccessibleName(QStringLiteral("Logo"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void LogoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    icon_.paint(&painter, rect());
}

}  // namespace corvel::ui
