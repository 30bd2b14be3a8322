#pragma once

// The program as main() wires it, on a private store, a private autostart
// folder and a loopback feed, with the poll timer in virtual time.
#include "app/app_delegate.h"
#include "core/login_item.h"
#include "core/paper_service.h"
#include "core/preferences.h"
#include "support/fake_timers.h"
#include "support/test_https_server.h"
#include "ui/journal_filter_window.h"
#include "ui/status_item.h"
#include "ui/ticker_controller.h"

#include <QMenu>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

struct AppFixture
{
    QTemporaryDir dir;
    // The store and the autostart folder live here: a temporary folder unless given.
    QString folder;
    QString store = folder + QStringLiteral("/Quillet.conf");
    TestHttpsServer server;
    Preferences preferences {store};
    std::unique_ptr<PaperService> service;
    JournalFilterWindow filterWindow {preferences};
    LoginItem loginItem {folder + QStringLiteral("/config"), QStringLiteral("/usr/bin/quillet")};
    std::unique_ptr<AppDelegate> app;

    // Launches once the store holds `width` (0: nothing stored) and the first
    // fetch, of an empty feed, has landed.
    explicit AppFixture(double width = 0, const QString &in = {})
        : folder(in.isEmpty() ? dir.path() : in)
    {
        if (width != 0)
            preferences.setTickerWidth(width);
        if (!server.start())
            qFatal("cannot start the test server");
        PaperService::Config config;
        config.apiURL = server.url();
        config.extraCaCertificates = TestHttpsServer::caCertificates();
        service = std::make_unique<PaperService>(config, std::make_unique<FakeTimers>());
        app = std::make_unique<AppDelegate>(
            AppDelegate::Services {preferences, *service, filterWindow, loginItem});
        app->applicationDidFinishLaunching();
        if (!QTest::qWaitFor([this] { return label().text() == u"No papers today"; }, 20000))
            qFatal("the first fetch never landed");
    }

    TickerController &ticker() const { return *app->ticker(); }
    StatusItem &strip() const { return *app->strip(); }
    const ScrollingLabel &label() const { return app->strip()->label(); }
    QMenu *menu() const { return app->menu(); }
    void openMenu(QMenu *which = nullptr) const { Q_EMIT(which ? which : menu())->aboutToShow(); }
    void closeMenu(QMenu *which = nullptr) const { Q_EMIT(which ? which : menu())->aboutToHide(); }
    QAction *action(const char *name, QMenu *which = nullptr) const
    {
        return (which ? which : menu())->findChild<QAction *>(QLatin1String(name));
    }
    QSlider *slider(const char *name) const
    {
        return menu()->findChild<QSlider *>(QLatin1String(name));
    }
};

inline Paper testPaper(const QString &title, const QString &link = {})
{
    return Paper {title,
        link.isEmpty() ? QStringLiteral("https://papers.example.org/") + title : link,
        QStringLiteral("JPE Just Accepted"), QStringLiteral("1"), QStringLiteral("A. Author"),
        QStringLiteral("2026-12-01")};
}
