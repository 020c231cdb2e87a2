// SPDX-License-Identifier: MIT
#include "ui/readable_colour.h"

#include <algorithm>
#include <cmath>

namespace corvel::ui {
namespace {

// sRGB channel to linear light.
double linear(double channel) {
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double relativeLuminance(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) +
           0.0722 * linear(rgb.blueF());
}

}  // namespace

double contrastRatio(const QColor& first, const QColor& second) {
    const double a = relativeLuminance(first);
    const double b = relativeLuminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QColor readableTextColour(const QColor& wanted, const QPalette& palette) {
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    if (wanted.isValid() && contrastRatio(wanted, base) >= kMinimumTextContrast) return wanted;
    return palette.color(QPalette::Active, QPalette::Text);
}

}  // namespace corvel::ui
