#include "ui/menu_text.h"

#include "core/display_text.h"

#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QStyle>
#include <QWidgetAction>

namespace MenuText {

QFont font(int pixelSize, bool bold)
{
    QFont result;
    result.setPixelSize(pixelSize);
    result.setBold(bold);
    return result;
}

QString escapeMnemonic(const QString &text)
{
    QString escaped = text;
    return escaped.replace(u'&', QStringLiteral("&&"));
}

QString elided(const QString &text, const QFont &font)
{
    // Cleaning also makes it one line, and cuts text too long to lay out quickly.
    return QFontMetrics(font).elidedText(DisplayText::clean(text), Qt::ElideRight, maxLineWidth);
}

QWidgetAction *addStyledLine(QMenu *menu, const QString &text, const QFont &font,
    const QColor &color, const QString &objectName)
{
    auto *label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setText(elided(text, font));
    label->setFont(font);
    label->setObjectName(objectName);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    // Line up with the text of ordinary menu items.
    const int indent = menu->style()->pixelMetric(QStyle::PM_MenuHMargin, nullptr, menu)
        + menu->style()->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, menu) + 24;
    label->setContentsMargins(indent, 3, indent, 3);

    auto *action = new QWidgetAction(menu);
    action->setDefaultWidget(label);
    action->setText(DisplayText::clean(text));
    action->setEnabled(false);
    action->setObjectName(objectName);
    menu->addAction(action);
    return action;
}

} // namespace MenuText
