#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class Preferences;
class QCheckBox;

// The panel in which the user picks the journals whose papers the strip shows:
// one checkbox per full journal name, checked unless the name is hidden. Every
// change is stored at once and reported through onFiltersChanged. At most one
// panel is open; it is rebuilt from the stored list each time it opens.
class JournalFilterWindow : public QObject
{
    Q_OBJECT

public:
    static JournalFilterWindow &shared();

    explicit JournalFilterWindow(Preferences &preferences);
    ~JournalFilterWindow() override;

    // Set by the owner; called after each stored change, synchronously.
    std::function<void()> onFiltersChanged;

    // Opens the panel, or brings the open one to the front as it is.
    void showWindow();

    // What the checkboxes and the two buttons run.
    void toggleJournal();
    void selectAllAction();
    void deselectAllAction();

    // The open panel, or null.
    QWidget *window() const { return m_window; }
    // In display order; empty while no panel is open.
    const QList<QCheckBox *> &checkboxes() const { return m_checkboxes; }

    static constexpr int panelWidth = 380;
    static constexpr int panelHeight = 500;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWindow();
    void setAllChecked(bool checked);
    void updateUserDefaults();
    void windowWillClose();

    Preferences &m_preferences;
    QPointer<QWidget> m_window;
    QList<QCheckBox *> m_checkboxes;
};
