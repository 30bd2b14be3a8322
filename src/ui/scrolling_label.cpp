#include "ui/scrolling_label.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace {

// Beyond this a cached pixmap would cost more memory than it saves time; such
// titles are drawn from a laid-out static text instead.
constexpr qreal maxPixmapWidth = 4096;

} // namespace

ScrollingLabel::ScrollingLabel()
{
    // Logical pixels, so a 13-pixel font fits the 22-pixel strip at any scale.
    m_font.setPixelSize(13);
    m_font.setWeight(QFont::Normal);
    m_staticText.setTextFormat(Qt::PlainText);
    m_staticText.setPerformanceHint(QStaticText::AggressiveCaching);
}

void ScrollingLabel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    m_textSize = {};
    m_pixmapValid = false;
    m_pixmap = QPixmap();
    m_staticText.setText(text);
}

void ScrollingLabel::sizeToFit()
{
    if (!m_textSize.isValid() || m_textSize.isNull()) {
        const QFontMetricsF metrics(m_font);
        m_textSize
            = QSizeF(std::ceil(metrics.horizontalAdvance(m_text)), std::ceil(metrics.height()));
    }
    m_frame.setSize(m_textSize);
}

void ScrollingLabel::paint(
    QPainter &painter, QPointF origin, const QColor &color, qreal devicePixelRatio) const
{
    if (m_text.isEmpty())
        return;
    if (m_frame.width() > maxPixmapWidth) {
        painter.setFont(m_font);
        painter.setPen(color);
        m_staticText.prepare(painter.transform(), m_font);
        painter.drawStaticText(origin, m_staticText);
        return;
    }
    if (!m_pixmapValid || m_pixmapColor != color || m_pixmapRatio != devicePixelRatio) {
        const QSize size(int(std::ceil(m_frame.width() * devicePixelRatio)),
            int(std::ceil(m_frame.height() * devicePixelRatio)));
        m_pixmap = QPixmap(size.expandedTo(QSize(1, 1)));
        m_pixmap.setDevicePixelRatio(devicePixelRatio);
        m_pixmap.fill(Qt::transparent);
        QPainter p(&m_pixmap);
        p.setFont(m_font);
        p.setPen(color);
        p.drawText(QRectF(QPointF(0, 0), m_frame.size()),
            Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_text);
        m_pixmapColor = color;
        m_pixmapRatio = devicePixelRatio;
        m_pixmapValid = true;
    }
    painter.drawPixmap(origin, m_pixmap);
}
