#include "ui/strip_accessible.h"

#include "ui/status_item.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QGuiApplication>
#include <QWindow>

namespace {

class StripInterface : public QAccessibleObject, public QAccessibleActionInterface
{
public:
    explicit StripInterface(StatusItem *item) : QAccessibleObject(item) { }

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
        state.hasPopup = true;
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
            Q_EMIT item()->activated();
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }
};

// Qt's application node lists top-level windows but leaves popups out, so a
// screen reader walking the tree would never find the open menu. List the open
// popups after the windows; their own parent is already the application.
QList<QAccessibleInterface *> openPopups()
{
    QList<QAccessibleInterface *> popups;
    for (QWindow *window : QGuiApplication::topLevelWindows()) {
        if (window->type() == Qt::Popup && window->isVisible()) {
            if (QAccessibleInterface *root = window->accessibleRoot())
                popups.append(root);
        }
    }
    return popups;
}

class ApplicationInterface : public QAccessibleApplication
{
public:
    int childCount() const override
    {
        return QAccessibleApplication::childCount() + int(openPopups().size());
    }
    QAccessibleInterface *child(int index) const override
    {
        const int windows = QAccessibleApplication::childCount();
        if (index < windows)
            return QAccessibleApplication::child(index);
        return openPopups().value(index - windows);
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (const int index = QAccessibleApplication::indexOfChild(child); index >= 0)
            return index;
        const auto popup = openPopups().indexOf(const_cast<QAccessibleInterface *>(child));
        return popup < 0 ? -1 : QAccessibleApplication::childCount() + int(popup);
    }
};

QAccessibleInterface *factory(const QString &, QObject *object)
{
    if (object == qApp)
        return new ApplicationInterface;
    if (auto *item = qobject_cast<StatusItem *>(object))
        return new StripInterface(item);
    return nullptr;
}

} // namespace

namespace StripAccessible {

void install()
{
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

void nameChanged(StatusItem *item)
{
    if (QAccessible::isActive()) {
        QAccessibleEvent event(item, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

} // namespace StripAccessible
