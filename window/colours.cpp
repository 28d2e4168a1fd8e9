// SPDX-License-Identifier: GPL-3.0-or-later
#include "colours.h"

#include <algorithm>
#include <cmath>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace Colours {

namespace {

double linear(double channel)
{
    return channel <= 0.04045 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double luminance(const QColor &colour)
{
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) +
           0.0722 * linear(rgb.blueF());
}

} // namespace

QColor desktop()
{
#ifdef Q_OS_WIN
    const DWORD colour = GetSysColor(COLOR_DESKTOP);
    return QColor(GetRValue(colour), GetGValue(colour), GetBValue(colour));
#else
    return DefaultDesktop;
#endif
}

double contrastRatio(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor textOn(const QColor &background)
{
    const QColor black(Qt::black);
    const QColor white(Qt::white);
    return contrastRatio(white, background) >= contrastRatio(black, background) ? white : black;
}

} // namespace Colours
