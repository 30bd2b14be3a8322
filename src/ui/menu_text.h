#pragma once

#include <QAction>
#include <QColor>
#include <QFont>
#include <QString>

class QMenu;
class QWidgetAction;

// Building blocks of the status menu. Feed text is always plain text: never
// markup, and "&" is shown as "&" rather than taken as a mnemonic.
namespace MenuText {

// Widest a text line may be before it is elided at the tail, in logical pixels.
constexpr int maxLineWidth = 360;

QFont font(int pixelSize, bool bold);
QString escapeMnemonic(const QString &text);
QString elided(const QString &text, const QFont &font);

// A disabled line in its own font and colour (an action's text cannot carry a colour).
QWidgetAction *addStyledLine(QMenu *menu, const QString &text, const QFont &font,
    const QColor &color, const QString &objectName);

} // namespace MenuText
