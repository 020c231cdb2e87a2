// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QPalette>

// Coloured list text that stays readable on any theme. The preferences give the lists a text
// colour chosen for a light background; on a dark theme blue or grey text on the dark base
// colour all but vanishes. A colour is used only where its contrast with the palette's base
// colour reaches kMinimumTextContrast, else the palette's own text colour is.
namespace corvel::ui {

// The WCAG 2 contrast ratio of two colours, from 1 (the same luminance) to 21 (black on white).
double contrastRatio(const QColor& first, const QColor& second);

// 3:1 is the WCAG floor for large text and for the parts of a control that must be seen. It
// keeps every colour the preferences name on a light theme (the lowest, red on white, is 4:1)
// and turns down blue (1.9:1), grey and the local list's dark blue on dark bases.
inline constexpr double kMinimumTextContrast = 3.0;

// `wanted` when it contrasts enough with the base colour of `palette`, else its text colour.
QColor readableTextColour(const QColor& wanted, const QPalette& palette);

}  // namespace corvel::ui
