#pragma once

#include "core/paper.h"

#include <QList>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>

class FrameDriver;
class JournalFilterWindow;
class LoginItem;
class PaperService;
class Preferences;
class QAction;
class QMenu;
class QUrl;
class ScrollingLabel;
class StatusItem;

// The object behind the top-bar presence: owns the status item with its
// clipping container and scrolling label, keeps the feed's last list and the
// filtered list on display, scrolls one title after another, and answers the
// status menu.
class TickerController : public QObject
{
    Q_OBJECT

public:
    static constexpr double containerInset = 5;
    static constexpr double labelY = 2;

    // What the controller reaches outside itself; the program's defaults are the
    // shared instances, the browser and the application's quit.
    struct Environment
    {
        Preferences &preferences;
        std::function<PaperService &()> service;
        std::function<JournalFilterWindow &()> filterWindow;
        std::function<LoginItem &()> loginItem;
        std::function<void(const QUrl &)> openUrl;
        std::function<void()> quit;

        static Environment standard();
    };

    explicit TickerController(Environment environment);
    ~TickerController() override;

    // Builds the status item, its container, label and menu, and registers the
    // feed callbacks. Starts nothing.
    void setup();
    // Re-filters the feed's list by the hidden journals and restarts from the first paper.
    void applyFiltersAndRestart();

    // The frame driver's action: one step left, and the next title once this one has left.
    void tick();

    // Status menu: pause while open, restart the current paper when closed.
    void menuWillOpen();
    void menuDidClose();
    void menuNeedsUpdate(QMenu *menu);

    // Slider actions.
    void widthChanged(double value);
    void speedChanged(double value);

    // Menu actions.
    void openCurrentPaper();
    void openFilterWindow();
    void refreshPapers();
    void toggleLaunchAtLogin(QAction *item);
    void quitApp();

    // The full journal name of a paper's label.
    static QString getFullName(const Paper &paper);

    const QList<Paper> &allPapers() const { return m_allPapers; }
    const QList<Paper> &displayPapers() const { return m_displayPapers; }
    std::int64_t currentIndex() const { return m_currentIndex; }
    bool isTickerPaused() const { return m_isTickerPaused; }
    bool isFrameDriverRunning() const;
    StatusItem *statusItem() const { return m_statusItem.get(); }

private:
    void showErrorMessage(const QString &message);
    void stopTicker();
    void startTicker();
    void setupLabelForCurrentPaper();
    void putMessageOnLabel(const QString &message);
    void addBottomControls(QMenu *menu);
    ScrollingLabel &label() const;
    double containerWidth() const;

    Environment m_env;
    Preferences &m_preferences;

    std::unique_ptr<StatusItem> m_statusItem;
    std::unique_ptr<FrameDriver> m_frameDriver;
    QList<Paper> m_allPapers;
    QList<Paper> m_displayPapers;
    std::int64_t m_currentIndex = 0;
    bool m_isTickerPaused = false;
    // True once a message has left the strip with no paper to follow it.
    bool m_driverIdle = false;
};
