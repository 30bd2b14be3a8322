#pragma once

#include "ui/dbus_types.h"

#include <QDBusConnection>
#include <QObject>
#include <QPoint>
#include <QTimer>

class QDBusServiceWatcher;

// Quillet's item on StatusNotifierItem hosts (KDE Plasma, Xfce's panel, GNOME
// with the AppIndicator extension, Ayatana panels): icon, tooltip, the menu
// at DBusMenuExporter::objectPath(), and the Ayatana label that hosts which
// draw labels show beside the icon. Registered with the watcher, and again
// whenever a watcher appears.
class StatusNotifierItem : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category SCRIPTABLE true)
    Q_PROPERTY(QString Id READ id SCRIPTABLE true)
    Q_PROPERTY(QString Title READ title SCRIPTABLE true)
    Q_PROPERTY(QString Status READ status SCRIPTABLE true)
    Q_PROPERTY(int WindowId READ windowId SCRIPTABLE true)
    Q_PROPERTY(QString IconName READ iconName SCRIPTABLE true)
    Q_PROPERTY(QList<DBusImage> IconPixmap READ iconPixmap SCRIPTABLE true)
    Q_PROPERTY(QString OverlayIconName READ emptyName SCRIPTABLE true)
    Q_PROPERTY(QList<DBusImage> OverlayIconPixmap READ noPixmap SCRIPTABLE true)
    Q_PROPERTY(QString AttentionIconName READ emptyName SCRIPTABLE true)
    Q_PROPERTY(QList<DBusImage> AttentionIconPixmap READ noPixmap SCRIPTABLE true)
    Q_PROPERTY(QString AttentionMovieName READ emptyName SCRIPTABLE true)
    Q_PROPERTY(DBusToolTip ToolTip READ toolTip SCRIPTABLE true)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu SCRIPTABLE true)
    Q_PROPERTY(QDBusObjectPath Menu READ menu SCRIPTABLE true)
    Q_PROPERTY(QString XAyatanaLabel READ label SCRIPTABLE true)
    Q_PROPERTY(QString XAyatanaLabelGuide READ labelGuide SCRIPTABLE true)

public:
    static QString watcherService() { return QStringLiteral("org.kde.StatusNotifierWatcher"); }
    // Whether a host is there to show an item at all.
    static bool watcherPresent(const QDBusConnection &bus);

    explicit StatusNotifierItem(QDBusConnection bus, QObject *parent = nullptr);
    ~StatusNotifierItem() override;

    // Exports the item and registers it; false when the bus refused the names.
    bool start();
    // True when the host that watches items draws their labels.
    bool hostDrawsLabels() const;

    void setToolTip(const QString &description);
    // The label beside the icon, and the widest it will be, so that hosts keep its width steady.
    void setLabel(const QString &label, const QString &guide);

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return QStringLiteral("quillet"); }
    QString title() const { return QStringLiteral("Quillet"); }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString iconName() const { return m_iconName; }
    QList<DBusImage> iconPixmap() const { return m_pixmaps; }
    QString emptyName() const { return {}; }
    QList<DBusImage> noPixmap() const { return {}; }
    DBusToolTip toolTip() const;
    bool itemIsMenu() const { return true; }
    QDBusObjectPath menu() const;
    QString label() const { return m_label; }
    QString labelGuide() const { return m_labelGuide; }

public Q_SLOTS:
    Q_SCRIPTABLE void Activate(int x, int y);
    Q_SCRIPTABLE void SecondaryActivate(int x, int y);
    Q_SCRIPTABLE void ContextMenu(int x, int y);
    Q_SCRIPTABLE void Scroll(int delta, const QString &orientation);

Q_SIGNALS:
    Q_SCRIPTABLE void NewTitle();
    Q_SCRIPTABLE void NewIcon();
    Q_SCRIPTABLE void NewAttentionIcon();
    Q_SCRIPTABLE void NewOverlayIcon();
    Q_SCRIPTABLE void NewToolTip();
    Q_SCRIPTABLE void NewStatus(const QString &status);
    Q_SCRIPTABLE void XAyatanaNewLabel(const QString &label, const QString &guide);

    // A host asked for the menu at a point of the screen, not through the exported menu.
    void menuRequested(QPoint position);
    // Registered with a (new) watcher: no host shows the menu yet, and the host may differ.
    void registered();

private:
    // Tries to register, and to be listed, before giving up until a watcher appears anew.
    static constexpr int registrationTries = 10;

    void registerWithWatcher();
    void askWatcher();
    void confirmListed();

    QDBusConnection m_bus;
    QString m_service;
    QString m_iconName;
    QList<DBusImage> m_pixmaps;
    QString m_toolTip;
    QString m_label;
    QString m_labelGuide;
    QDBusServiceWatcher *m_watcher;
    int m_tries = 0;
    QTimer m_confirm;
};
