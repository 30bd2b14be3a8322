#include "ui/scrolling_label.h"
#include "ui/strip_painter.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// X pixmaps are at most 32767 pixels wide; titles that long take Qt's path.
constexpr int maxPixmapWidth = 32767;

// True when the window's pixels are 32-bit 0x00RRGGBB (or 0xAARRGGBB) in the
// machine's byte order, which is QImage::Format_RGB32's layout.
bool takesRgb32(xcb_connection_t *connection, xcb_window_t window, uint8_t &depth)
{
    const xcb_setup_t *setup = xcb_get_setup(connection);
    if (setup->image_byte_order
        != (QSysInfo::ByteOrder == QSysInfo::LittleEndian ? XCB_IMAGE_ORDER_LSB_FIRST
                                                          : XCB_IMAGE_ORDER_MSB_FIRST))
        return false;
    xcb_get_geometry_reply_t *geometry
        = xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
        connection, xcb_get_window_attributes(connection, window), nullptr);
    bool ok = geometry && attributes && (geometry->depth == 24 || geometry->depth == 32);
    if (ok) {
        depth = geometry->depth;
        bool bits32 = false;
        for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
            bits32 |= it.data->depth == depth && it.data->bits_per_pixel == 32;
        bool rgb = false;
        for (auto screen = xcb_setup_roots_iterator(setup); screen.rem; xcb_screen_next(&screen))
            for (auto d = xcb_screen_allowed_depths_iterator(screen.data); d.rem;
                 xcb_depth_next(&d))
                for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
                    rgb |= v.data->visual_id == attributes->visual && v.data->red_mask == 0xff0000
                        && v.data->green_mask == 0xff00 && v.data->blue_mask == 0xff;
        ok = bits32 && rgb;
    }
    free(geometry);
    free(attributes);
    return ok;
}

class XcbStripPainter final : public StripPainter
{
public:
    XcbStripPainter(xcb_connection_t *connection, xcb_window_t window, uint8_t depth)
        : m_connection(connection), m_window(window), m_depth(depth)
    {
        m_gc = xcb_generate_id(connection);
        // No GraphicsExpose or NoExpose event per copy: nothing comes back to wake us.
        const uint32_t noExposures = 0;
        xcb_create_gc(connection, m_gc, window, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
    }
    ~XcbStripPainter() override
    {
        freePixmap();
        xcb_free_gc(m_connection, m_gc);
        xcb_flush(m_connection);
    }

    bool paint(const StripFrame &frame, bool whole) override;

private:
    bool render(const StripFrame &frame);
    void freePixmap()
    {
        if (m_pixmap)
            xcb_free_pixmap(m_connection, m_pixmap);
        m_pixmap = 0;
    }
    void copy(int16_t fromX, int16_t toX, uint16_t width, uint16_t height)
    {
        if (width > 0)
            xcb_copy_area(m_connection, m_pixmap, m_window, m_gc, fromX, 0, toX, 0, width, height);
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_window;
    uint8_t m_depth;
    xcb_gcontext_t m_gc = 0;
    xcb_pixmap_t m_pixmap = 0;
    // What the pixmap holds: the text, padded by a container's width of
    // background on either side, so that every step is one copy.
    QString m_text;
    QColor m_background, m_color;
    QSize m_size;
    QRect m_container;
    int m_textWidth = 0;
    qreal m_labelY = 0;
};

bool XcbStripPainter::render(const StripFrame &frame)
{
    const int textWidth
        = frame.label->text().isEmpty() ? 0 : int(std::ceil(frame.label->frame().width()));
    const int pad = frame.container.width();
    const int width = textWidth + 2 * pad;
    if (width > maxPixmapWidth || frame.size.height() <= 0 || pad <= 0)
        return false;
    if (m_pixmap && m_text == frame.label->text() && m_background == frame.background
        && m_color == frame.text && m_size.height() == frame.size.height()
        && m_container == frame.container && m_labelY == frame.labelAt.y())
        return true;

    QImage image(width, frame.size.height(), QImage::Format_RGB32);
    image.fill(frame.background);
    {
        QPainter painter(&image);
        frame.label->paint(painter, QPointF(pad, frame.labelAt.y()), frame.text, 1);
    }
    freePixmap();
    m_pixmap = xcb_generate_id(m_connection);
    xcb_create_pixmap(
        m_connection, m_depth, m_pixmap, m_window, uint16_t(width), uint16_t(image.height()));
    // In bands well under the smallest maximum request size.
    const int rows = std::max(1, 60000 / int(image.bytesPerLine()));
    for (int y = 0; y < image.height(); y += rows) {
        const int band = std::min(rows, image.height() - y);
        xcb_put_image(m_connection, XCB_IMAGE_FORMAT_Z_PIXMAP, m_pixmap, m_gc, uint16_t(width),
            uint16_t(band), 0, int16_t(y), 0, m_depth, uint32_t(band * image.bytesPerLine()),
            image.constScanLine(y));
    }
    m_text = frame.label->text();
    m_background = frame.background;
    m_color = frame.text;
    m_size = frame.size;
    m_container = frame.container;
    m_textWidth = textWidth;
    m_labelY = frame.labelAt.y();
    return true;
}

bool XcbStripPainter::paint(const StripFrame &frame, bool whole)
{
    if (frame.devicePixelRatio != 1 || !render(frame))
        return false;
    const QRect &box = frame.container;
    const auto height = uint16_t(frame.size.height());
    if (whole) {
        // The insets either side of the container: background, from the padding.
        copy(0, 0, uint16_t(std::min(box.left(), box.width())), height);
        copy(0, int16_t(box.right() + 1),
            uint16_t(std::clamp(frame.size.width() - box.right() - 1, 0, box.width())), height);
    }
    // Strip column c shows pixmap column pad + c - labelX; out of range is background.
    const int from = std::clamp(
        box.width() + box.left() - int(frame.labelAt.x()), 0, box.width() + m_textWidth);
    copy(int16_t(from), int16_t(box.left()), uint16_t(box.width()), height);
    xcb_flush(m_connection);
    return true;
}

} // namespace

std::unique_ptr<StripPainter> makeXcbStripPainter(QWindow *window)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!window || !x11 || !x11->connection())
        return nullptr;
    uint8_t depth = 0;
    const auto id = xcb_window_t(window->winId());
    if (!takesRgb32(x11->connection(), id, depth))
        return nullptr;
    return std::make_unique<XcbStripPainter>(x11->connection(), id, depth);
}
