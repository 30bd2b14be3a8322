#pragma once

#include "core/menu_description.h"
#include "core/ticker_model.h"

#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class FrameClock;
class FrameDriver;
class LoginItem;
class Preferences;
class QAction;
class StatusItem;
class TopBarTicker;

// The object behind the top-bar presence: drives the ticker's model with a
// frame driver and shows it on the strip, restarts it when the papers, the
// filter or the menu change, and answers the status menu. What lies outside
// (fetching, the filter panel, the browser, quitting) it asks for by signal.
class TickerController : public QObject
{
    Q_OBJECT

public:
    // Without a clock the controller keeps its own on the real time.
    TickerController(Preferences &preferences, StatusItem &strip, LoginItem &loginItem,
        FrameClock *clock = nullptr);
    ~TickerController() override;

    // "Loading..." just beyond the right edge; starts nothing.
    void setup();

    // The feed's callbacks.
    void onUpdate(const QList<Paper> &papers);
    void showErrorMessage(const QString &message);
    // Re-filters the feed's list by the hidden journals and restarts from the first paper.
    void applyFiltersAndRestart();

    // The frame driver's action: `frames` steps left, the next title once this one
    // has left; answers how many steps leave the strip's picture as it is.
    std::int64_t advance(std::int64_t frames);

    // Status menu: pause while open, restart the current paper when closed.
    void menuWillOpen();
    void menuDidClose();
    // What the menu shows now; remembers the paper it describes.
    QList<MenuRow> menuNeedsUpdate();
    // A menu row was chosen (its action, for the check row's new state).
    void perform(MenuRow::Command command, QAction *action);

    // Slider actions.
    void widthChanged(double value);
    void speedChanged(double value);

    // Menu actions.
    void openCurrentPaper();
    void openFilterWindow() { Q_EMIT filterWindowRequested(); }
    void refreshPapers();
    void toggleLaunchAtLogin(QAction *item);
    // Stores and applies the switch; answers the state it now has.
    bool setLaunchAtLogin(bool on);
    void quitApp() { Q_EMIT quitRequested(); }

    // Where the host draws the item's label, the ticker shows there and the strip
    // hides; `characters` tells how many characters a width in pixels holds.
    // Elsewhere the strip shows it: the strip appears only once one is chosen.
    void showInTopBar(std::function<void(const QString &page, const QString &guide)> label,
        std::function<int(double width)> characters);
    void showOnStrip();
    bool isInTopBar() const { return m_topBar != nullptr; }

    const TickerModel &model() const { return m_model; }
    bool isFrameDriverRunning() const;

Q_SIGNALS:
    void fetchRequested();
    void filterWindowRequested();
    void openUrlRequested(const QUrl &url);
    void quitRequested();

private:
    void stopTicker();
    void startTicker();
    void show();
    MenuDescription::Settings menuSettings() const;

    Preferences &m_preferences;
    StatusItem &m_strip;
    LoginItem &m_loginItem;
    TickerModel m_model;
    std::unique_ptr<FrameClock> m_ownClock;
    FrameClock &m_clock;
    double m_speed;
    std::unique_ptr<FrameDriver> m_frameDriver;
    std::unique_ptr<TopBarTicker> m_topBar;
    std::function<int(double width)> m_labelCharacters;
    // The paper the menu last described: the title line opens this one, even
    // if a fetch has replaced the list since.
    std::optional<Paper> m_describedPaper;
};
