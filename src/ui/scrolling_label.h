#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QRectF>
#include <QStaticText>
#include <QString>

class QPainter;

// The one-line text that moves across the strip. It is not a widget: the strip
// paints it, so that a frame costs one small blit instead of a widget move.
// Text is measured once per text and rendered once into a cached pixmap.
class ScrollingLabel
{
public:
    ScrollingLabel();

    QString text() const { return m_text; }
    void setText(const QString &text);
    // Makes the label exactly as wide and high as its text needs; no truncation.
    void sizeToFit();

    QRectF frame() const { return m_frame; }
    void setFrame(const QRectF &frame) { m_frame = frame; }
    void setX(double x) { m_frame.moveLeft(x); }
    double x() const { return m_frame.x(); }

    const QFont &font() const { return m_font; }

    // Draws the label with its top-left at `origin` (device-independent pixels).
    void paint(
        QPainter &painter, QPointF origin, const QColor &color, qreal devicePixelRatio) const;

private:
    QString m_text;
    QRectF m_frame;
    QFont m_font;
    QSizeF m_textSize;
    // Rendered lazily per text, colour and scale.
    mutable QPixmap m_pixmap;
    mutable QColor m_pixmapColor;
    mutable qreal m_pixmapRatio = 0;
    mutable bool m_pixmapValid = false;
    mutable QStaticText m_staticText;
};
