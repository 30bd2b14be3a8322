#pragma once

#include "ui/ticker_controller.h"

// Owns the ticker for the life of the process and runs the launch sequence.
class AppDelegate
{
public:
    AppDelegate();

    // Once the event loop runs: no taskbar presence, the ticker, polling, the launch line.
    void applicationDidFinishLaunching();

    TickerController &ticker() { return m_ticker; }

private:
    TickerController m_ticker;
};
