#include "ui/strip_painter.h"

#include "ui/scrolling_label.h"

#include <QPainter>

bool BackingStorePainter::paint(const StripFrame &frame, bool whole)
{
    const QRect region = whole ? QRect(QPoint(0, 0), frame.size) : frame.container;
    m_backingStore.beginPaint(region);
    {
        QPainter painter(m_backingStore.paintDevice());
        painter.fillRect(region, frame.background);
        painter.setClipRect(frame.container);
        if (frame.labelVisible)
            frame.label->paint(painter, frame.labelAt, frame.text, frame.devicePixelRatio);
    }
    m_backingStore.endPaint();
    m_backingStore.flush(region);
    return true;
}
