#include "app/app_delegate.h"

#include "core/diagnostics.h"
#include "core/paper_service.h"
#include "core/preferences.h"

#include <QApplication>

using namespace std::chrono_literals;

AppDelegate::AppDelegate() : m_ticker(TickerController::Environment::standard()) { }

void AppDelegate::applicationDidFinishLaunching()
{
    // An accessory program: no main window, and closing a panel never quits.
    QApplication::setQuitOnLastWindowClosed(false);
    m_ticker.setup();
    PaperService::shared().startPolling(1800s);
    Diagnostics::log(QStringLiteral("App launched \u2014 polling every 30 min"));
}
