#pragma once

#include "ui/scrolling_label.h"

#include <QBackingStore>
#include <QRectF>
#include <QWindow>

#include <climits>
#include <memory>

class QMenu;
class QSystemTrayIcon;
class QTimer;

// The strip in the top bar: a frameless, always-on-top tool window at the top
// right of the primary screen, as wide as the item's length, with no taskbar
// entry. It holds the clipping container and paints the scrolling label inside
// it, only when the label's drawn pixel has changed. Clicking it opens the menu
// under it; where a system tray exists, a tray icon offers the same menu.
class StatusItem : public QWindow
{
    Q_OBJECT

public:
    static constexpr int stripHeight = 22;

    // No primary screen means there is nowhere to show the item: no button.
    static bool platformHasButton();

    explicit StatusItem(double length);
    ~StatusItem() override;

    double length() const { return m_length; }
    void setLength(double length);

    // The clipping container, in the item's coordinates.
    QRectF containerFrame() const { return m_container; }
    void setContainerFrame(const QRectF &frame);

    ScrollingLabel &label() { return m_label; }
    const ScrollingLabel &label() const { return m_label; }

    // The item owns its menu.
    void setMenu(std::unique_ptr<QMenu> menu);
    QMenu *menu() const { return m_menu.get(); }

    // Paints the label now if anything visible changed since the last paint.
    void labelChanged();
    // What the strip shows, as the tray icon's tooltip gives it.
    QString description() const;
    // Opens the menu under the strip, or closes it if open.
    void popUpMenu();
    // Times the strip was actually painted (for tests and benchmarks).
    int paintCount() const { return m_paintCount; }

protected:
    bool event(QEvent *event) override;
    void exposeEvent(QExposeEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void placeOnScreen();
    void paint(bool force);
    void ensureTrayIcon();
    void markSkipTaskbar();
    void describeCurrentText();

    double m_length;
    QRectF m_container;
    ScrollingLabel m_label;
    QBackingStore m_backingStore;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
    QTimer *m_trayWatch = nullptr;

    // What the last paint drew: repaint only when one of these changes.
    int m_paintedX = INT_MIN;
    QString m_paintedText;
    QString m_describedText;
    int m_paintCount = 0;
};
