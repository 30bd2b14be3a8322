#pragma once

#include "ui/scrolling_label.h"
#include "ui/strip_painter.h"

#include <QRectF>
#include <QWindow>

#include <climits>
#include <memory>

// The strip in the top bar: a frameless, always-on-top tool window at the top
// right of the primary screen, as wide as the item's length, with no taskbar
// entry. While shown it reserves its rectangle, so maximised windows keep
// their title bars out from under it. It holds the clipping container and paints the label's text
// at the x it is given, only when the drawn pixel has changed. A click is reported; the owner
// decides what opens.
class StatusItem : public QWindow
{
    Q_OBJECT

public:
    static constexpr int stripHeight = 22;
    // Where the clipping container sits in the strip, and the text in it.
    static constexpr double containerInset = 5;
    static constexpr double labelY = 2;

    // No primary screen means there is nowhere to show the item: no button.
    static bool platformHasButton();

    explicit StatusItem(double length);
    ~StatusItem() override;

    double length() const { return m_length; }
    // Width of the area the strip may take on its screen; 0 when unknown.
    int screenWidth() const;
    void setLength(double length);

    // The clipping container, in the item's coordinates.
    QRectF containerFrame() const { return m_container; }
    void setContainerFrame(const QRectF &frame);

    // Width of a text in the strip's font, as sized to fit.
    double measure(const QString &text);
    // Shows the text with its left edge at x in the container; paints only if
    // the drawn pixel or the text changed.
    void showLabel(const QString &text, double x);
    const ScrollingLabel &label() const { return m_label; }

    // What the strip shows, as the tray's tooltip and screen readers give it.
    QString description() const;

    // A bare QWindow is left out of the accessible tree unless it names a root.
    QAccessibleInterface *accessibleRoot() const override;

Q_SIGNALS:
    // Clicked, or pressed through the accessibility interface.
    void activated();
    // The text on the strip changed (once per text, not per frame).
    void descriptionChanged(const QString &description);

protected:
    bool event(QEvent *event) override;
    void exposeEvent(QExposeEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void followPrimaryScreen(QScreen *screen);
    void placeOnScreen();
    void updateReservation();
    void takePalette();
    void paint(bool force);

    double m_length;
    QRectF m_container;
    ScrollingLabel m_label;
    // Copies on the X server where it can; Qt's paint path otherwise.
    std::unique_ptr<StripPainter> m_serverPainter;
    BackingStorePainter m_qtPainter;
    QColor m_background;
    QColor m_textColor;

    // The band reserved from other windows (empty when none), and the top of
    // the free area as it was without it: the reservation itself moves the
    // screen's free area down to the strip's bottom edge.
    QRect m_reserved;
    int m_freeTop = 0;
    bool m_shown = false;
    QMetaObject::Connection m_areaConnection;

    // What the last paint drew: repaint only when one of these changes.
    int m_paintedX = INT_MIN;
    QString m_paintedText;
    QString m_describedText;
};
