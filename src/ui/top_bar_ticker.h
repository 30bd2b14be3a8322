#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

class TickerModel;

// The ticker where the tray host draws the item's label: the model's text (a
// title or a message) in pages, each shown for a while, then the next paper's.
// Same order, filters, messages and pauses as the strip; the controller starts
// and stops it where it would start and stop the strip's frame driver.
class TopBarTicker : public QObject
{
    Q_OBJECT

public:
    // Shows a page, with the widest label the pages can make.
    using Show = std::function<void(const QString &page, const QString &guide)>;

    TopBarTicker(TickerModel &model, Show show, std::function<double()> speed);

    // How many characters of the desktop's font fit in a width in pixels: hosts
    // draw the label in their own font, which the program's usually follows.
    static int charactersIn(double width);

    // How many characters the label holds; re-pages what is on display.
    void setWidth(int characters);
    // Shows the model's text from its first page and goes on to the next papers.
    void start();
    // Keeps the page on display, and changes nothing more until started.
    void stop();
    bool isRunning() const { return m_timer.isActive(); }

private:
    void showPage();
    void turnPage();

    TickerModel &m_model;
    Show m_show;
    std::function<double()> m_speed;
    int m_width = 0;
    QStringList m_pages;
    qsizetype m_page = 0;
    QTimer m_timer;
};
