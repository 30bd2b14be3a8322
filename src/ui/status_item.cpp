#include "ui/status_item.h"

#include "ui/strip_accessible.h"
#include "ui/x11_window_hints.h"

#include <QAccessible>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPalette>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {

int pixelWidth(double length)
{
    return std::max(1, int(std::lround(length)));
}

} // namespace

bool StatusItem::platformHasButton()
{
    return QGuiApplication::primaryScreen() != nullptr;
}

StatusItem::StatusItem(double length) : m_length(length), m_qtPainter(this)
{
    takePalette();
    StripAccessible::install();
    m_label.setFrame(QRectF(0, labelY, 0, 0));
    // On X11 Qt makes a tool window transient for the program's leader window,
    // and KWin keeps such a window on one desktop; there the dock type keeps
    // the strip off taskbars instead.
    setFlags((onX11() ? Qt::Window : Qt::Tool) | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
        | Qt::WindowDoesNotAcceptFocus);
    setTitle(QStringLiteral("Quillet"));
    resize(pixelWidth(length), stripHeight);
    followPrimaryScreen(QGuiApplication::primaryScreen());
    connect(
        qGuiApp, &QGuiApplication::primaryScreenChanged, this, &StatusItem::followPrimaryScreen);
    create();
    // A top-bar fixture: no taskbar or pager entry, above everything, on every desktop.
    markSkipTaskbar(this, true);
    markDock(this);
#ifndef QUILLET_QT_PAINT_ONLY
    m_serverPainter = makeXcbStripPainter(this);
#endif
}

StatusItem::~StatusItem() = default;

void StatusItem::setLength(double length)
{
    m_length = length;
    resize(pixelWidth(length), stripHeight);
    placeOnScreen();
}

int StatusItem::screenWidth() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry().width() : 0;
}

void StatusItem::setContainerFrame(const QRectF &frame)
{
    m_container = frame;
    paint(true);
}

double StatusItem::measure(const QString &text)
{
    m_label.setText(text);
    m_label.sizeToFit();
    return m_label.frame().width();
}

void StatusItem::showLabel(const QString &text, double x)
{
    if (text != m_label.text())
        measure(text);
    m_label.setX(x);
    if (m_label.text() != m_describedText) {
        // Once per text, not per frame.
        m_describedText = m_label.text();
        Q_EMIT descriptionChanged(description());
        StripAccessible::nameChanged(this);
    }
    paint(false);
}

QString StatusItem::description() const
{
    return m_label.text().isEmpty() ? QStringLiteral("Quillet")
                                    : QStringLiteral("Quillet: ") + m_label.text();
}

QAccessibleInterface *StatusItem::accessibleRoot() const
{
    return QAccessible::queryAccessibleInterface(const_cast<StatusItem *>(this));
}

bool StatusItem::event(QEvent *event)
{
    if (event->type() == QEvent::UpdateRequest) {
        paint(true);
        return true;
    }
    // The desktop switched between light and dark: the margins, not only the
    // moving text, take the new colours.
    if (event->type() == QEvent::ApplicationPaletteChange) {
        takePalette();
        paint(true);
    }
    return QWindow::event(event);
}

void StatusItem::exposeEvent(QExposeEvent *)
{
    paint(true);
}

void StatusItem::resizeEvent(QResizeEvent *)
{
    m_qtPainter.resize(size());
    paint(true);
}

void StatusItem::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
        Q_EMIT activated();
}

void StatusItem::showEvent(QShowEvent *event)
{
    // Before the window is mapped, so the window manager reads it as it takes the window.
    m_shown = true;
    updateReservation();
    QWindow::showEvent(event);
}

void StatusItem::hideEvent(QHideEvent *event)
{
    m_shown = false;
    updateReservation();
    QWindow::hideEvent(event);
}

void StatusItem::followPrimaryScreen(QScreen *screen)
{
    disconnect(m_areaConnection);
    if (screen) {
        setScreen(screen);
        m_areaConnection
            = connect(screen, &QScreen::availableGeometryChanged, this, &StatusItem::placeOnScreen);
    }
    placeOnScreen();
}

void StatusItem::placeOnScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect area = screen->availableGeometry();
    // A free area starting within our own band was moved there by our reservation.
    if (!m_reserved.isEmpty() && area.top() >= m_reserved.top()
        && area.top() <= m_reserved.bottom() + 1)
        area.setTop(m_freeTop);
    m_freeTop = area.top();
    setPosition(area.x() + area.width() - width(), area.y());
    updateReservation();
}

void StatusItem::updateReservation()
{
    const QRect band = m_shown ? QRect(position(), size()) : QRect();
    if (band == m_reserved)
        return;
    if (band.isEmpty() || !reserveTopBand(this, band)) {
        dropReservation(this);
        m_reserved = QRect();
        return;
    }
    m_reserved = band;
}

void StatusItem::takePalette()
{
    // Kept, not looked up per frame: the application palette is copied on every call.
    const QPalette palette = QGuiApplication::palette();
    m_background = palette.color(QPalette::Window);
    m_textColor = palette.color(QPalette::WindowText);
}

void StatusItem::paint(bool force)
{
    if (!isExposed())
        return;
    const QRect container = m_container.toAlignedRect().intersected(QRect(QPoint(0, 0), size()));
    const int x = int(std::lround(m_container.x() + m_label.x()));
    const QRectF drawn(QPointF(x, m_container.y() + m_label.frame().y()), m_label.frame().size());
    const bool visible = drawn.intersects(container);
    const bool paintedVisible = m_paintedX != INT_MIN
        && QRectF(QPointF(m_paintedX, drawn.y()), drawn.size()).intersects(container);
    if (!force && m_paintedText == m_label.text()
        && (x == m_paintedX || (!visible && !paintedVisible)))
        return;

    const StripFrame frame {size(), container, drawn.topLeft(), &m_label, visible, m_background,
        m_textColor, devicePixelRatio()};
    if (!m_serverPainter || !m_serverPainter->paint(frame, force))
        m_qtPainter.paint(frame, force);
    m_paintedX = x;
    m_paintedText = m_label.text();
}
