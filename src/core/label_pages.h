#pragma once

#include <QString>
#include <QStringList>

#include <chrono>

// The ticker as a label in the top bar, where a host draws one beside the
// icon: each title in turn, cut into pages as wide as the ticker, changing
// every few seconds rather than scrolling (every change costs the host a redraw).
namespace LabelPages {

// Fewest characters a page holds, however narrow the ticker.
constexpr int minimumWidth = 8;

// The text in pages of at most `width` characters, broken between words where
// a word fits; every page but the last ends with an ellipsis.
QStringList split(const QString &text, int width);

// How long a page stays at a scroll speed (pixels per 1/60 s): 3.5 s at the
// default 0.8, shorter when faster but never under 3 s, at most 15 s.
std::chrono::milliseconds dwell(double speed);

// A label as wide as `width` characters can be: the guide hosts size the label to.
QString guide(int width);

} // namespace LabelPages
