#include "ui/status_item.h"

#include "ui/x11_window_hints.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

int pixelWidth(double length)
{
    return std::max(1, int(std::lround(length)));
}

// What screen readers see of the strip: a button named after the title on
// display, which opens the menu when pressed.
class StripAccessible : public QAccessibleObject, public QAccessibleActionInterface
{
public:
    explicit StripAccessible(StatusItem *item) : QAccessibleObject(item) { }

    StatusItem *item() const { return static_cast<StatusItem *>(object()); }

    QWindow *window() const override { return item(); }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(qApp);
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.invisible = !item()->isVisible();
        return state;
    }
    QRect rect() const override { return QRect(item()->mapToGlobal(QPoint()), item()->size()); }
    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            return item()->label().text().isEmpty() ? QStringLiteral("Quillet")
                                                    : item()->label().text();
        case QAccessible::Description:
            return QStringLiteral("Quillet: new papers. Press for the menu.");
        default:
            return {};
        }
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface
            ? static_cast<QAccessibleActionInterface *>(this)
            : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (name == pressAction())
            item()->popUpMenu();
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }
};

QAccessibleInterface *stripAccessibleFactory(const QString &, QObject *object)
{
    if (auto *item = qobject_cast<StatusItem *>(object))
        return new StripAccessible(item);
    return nullptr;
}

} // namespace

bool StatusItem::platformHasButton()
{
    return QGuiApplication::primaryScreen() != nullptr;
}

StatusItem::StatusItem(double length) : m_length(length), m_backingStore(this)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(stripAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
        | Qt::WindowDoesNotAcceptFocus);
    setTitle(QStringLiteral("Quillet"));
    resize(pixelWidth(length), stripHeight);
    placeOnScreen();
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, [this](QScreen *screen) {
        setScreen(screen);
        placeOnScreen();
    });
    if (QScreen *screen = QGuiApplication::primaryScreen())
        connect(screen, &QScreen::availableGeometryChanged, this, &StatusItem::placeOnScreen);
    create();
    markSkipTaskbar();
    show();
    ensureTrayIcon();
}

StatusItem::~StatusItem() = default;

void StatusItem::setLength(double length)
{
    m_length = length;
    resize(pixelWidth(length), stripHeight);
    placeOnScreen();
}

void StatusItem::setContainerFrame(const QRectF &frame)
{
    m_container = frame;
    paint(true);
}

void StatusItem::setMenu(std::unique_ptr<QMenu> menu)
{
    m_menu = std::move(menu);
    // Nothing at all runs while the menu is open: the look for a tray waits too.
    connect(m_menu.get(), &QMenu::aboutToShow, this, [this] {
        if (m_trayWatch)
            m_trayWatch->stop();
    });
    connect(m_menu.get(), &QMenu::aboutToHide, this, [this] {
        if (m_trayWatch)
            m_trayWatch->start();
    });
    if (m_trayIcon)
        m_trayIcon->setContextMenu(m_menu.get());
}

void StatusItem::labelChanged()
{
    if (m_label.text() != m_describedText)
        describeCurrentText();
    paint(false);
}

QString StatusItem::description() const
{
    return m_label.text().isEmpty() ? QStringLiteral("Quillet")
                                    : QStringLiteral("Quillet: ") + m_label.text();
}

void StatusItem::describeCurrentText()
{
    // Once per text, not per frame.
    m_describedText = m_label.text();
    if (m_trayIcon)
        m_trayIcon->setToolTip(description());
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

bool StatusItem::event(QEvent *event)
{
    if (event->type() == QEvent::UpdateRequest) {
        paint(true);
        return true;
    }
    return QWindow::event(event);
}

void StatusItem::exposeEvent(QExposeEvent *)
{
    paint(true);
}

void StatusItem::resizeEvent(QResizeEvent *)
{
    m_backingStore.resize(size());
    paint(true);
}

void StatusItem::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
        popUpMenu();
}

void StatusItem::placeOnScreen()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    setPosition(area.x() + area.width() - width(), area.y());
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

    const QRect region = force ? QRect(QPoint(0, 0), size()) : container;
    m_backingStore.beginPaint(region);
    {
        QPainter painter(m_backingStore.paintDevice());
        const QPalette palette = QGuiApplication::palette();
        painter.fillRect(region, palette.color(QPalette::Window));
        painter.setClipRect(container);
        if (visible)
            m_label.paint(
                painter, drawn.topLeft(), palette.color(QPalette::WindowText), devicePixelRatio());
    }
    m_backingStore.endPaint();
    m_backingStore.flush(region);
    m_paintedX = x;
    m_paintedText = m_label.text();
    ++m_paintCount;
}

void StatusItem::popUpMenu()
{
    if (!m_menu)
        return;
    if (m_menu->isVisible()) {
        m_menu->hide();
        return;
    }
    m_menu->popup(mapToGlobal(QPoint(0, height())));
}

void StatusItem::ensureTrayIcon()
{
    if (m_trayIcon)
        return;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // Trays often start after us at login: look again now and then; never fatal.
        if (!m_trayWatch) {
            m_trayWatch = new QTimer(this);
            m_trayWatch->setTimerType(Qt::VeryCoarseTimer);
            connect(m_trayWatch, &QTimer::timeout, this, &StatusItem::ensureTrayIcon);
            m_trayWatch->start(std::chrono::seconds(10));
        }
        return;
    }
    if (m_trayWatch) {
        m_trayWatch->deleteLater();
        m_trayWatch = nullptr;
    }
    m_trayIcon
        = std::make_unique<QSystemTrayIcon>(QIcon(QStringLiteral(":/quillet/quillet-tray.svg")));
    m_describedText.clear();
    m_trayIcon->setContextMenu(m_menu.get());
    connect(m_trayIcon.get(), &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger && m_menu && !m_menu->isVisible())
                m_menu->popup(QCursor::pos());
        });
    describeCurrentText();
    m_trayIcon->show();
}

void StatusItem::markSkipTaskbar()
{
    // A top-bar fixture: no taskbar or pager entry, above everything, on every desktop.
    ::markSkipTaskbar(this, true);
}
