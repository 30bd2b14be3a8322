#pragma once

#include <QBackingStore>
#include <QColor>
#include <QRect>

#include <memory>

class QWindow;
class ScrollingLabel;

// One picture of the strip: its background, and the label's text at a whole
// pixel, clipped to the container. In the window's logical pixels.
struct StripFrame
{
    QSize size;
    QRect container;
    QPointF labelAt; // the label's top left, at a whole pixel; may lie outside the container
    const ScrollingLabel *label = nullptr;
    bool labelVisible = false;
    QColor background;
    QColor text;
    qreal devicePixelRatio = 1;
};

// How the strip gets its picture onto the screen.
class StripPainter
{
public:
    virtual ~StripPainter() = default;
    // Draws the container, and with `whole` the rest of the strip too. False when
    // this painter cannot draw the frame; the caller then uses another.
    virtual bool paint(const StripFrame &frame, bool whole) = 0;
    virtual void resize(QSize) { }
};

// Qt's paint path: every frame is painted into the window's backing store and
// flushed. Works on every platform.
class BackingStorePainter final : public StripPainter
{
public:
    explicit BackingStorePainter(QWindow *window) : m_backingStore(window) { }
    bool paint(const StripFrame &frame, bool whole) override;
    void resize(QSize size) override { m_backingStore.resize(size); }

private:
    QBackingStore m_backingStore;
};

// On X11: the title is rendered once into a pixmap on the X server, and each
// step is one copy request from it into the window. Null elsewhere, or where
// the window's pixel format is not one it knows.
std::unique_ptr<StripPainter> makeXcbStripPainter(QWindow *window);
