// The upper part of the status menu: the paper on display, rebuilt at every opening.
#include "ui/ticker_controller.h"

#include "core/journal_constants.h"
#include "core/paper_link.h"
#include "ui/menu_text.h"

#include <QGuiApplication>
#include <QMenu>
#include <QPalette>

QString TickerController::getFullName(const Paper &paper)
{
    return JournalConstants::fullName(paper.journal());
}

void TickerController::menuNeedsUpdate(QMenu *menu)
{
    menu->clear();

    if (m_displayPapers.isEmpty()) {
        QAction *placeholder = menu->addAction(m_allPapers.isEmpty()
                ? QStringLiteral("No papers loaded yet")
                : QStringLiteral("All papers hidden by filter"));
        placeholder->setEnabled(false);
        placeholder->setObjectName(QStringLiteral("placeholder"));
        addBottomControls(menu);
        return;
    }
    if (m_currentIndex < 0 || m_currentIndex >= m_displayPapers.size()) {
        // The list shrank under the index: describe paper 0 next time.
        m_currentIndex = 0;
        addBottomControls(menu);
        return;
    }

    const Paper &paper = m_displayPapers[qsizetype(m_currentIndex)];
    const QPalette palette = QGuiApplication::palette();
    MenuText::addStyledLine(menu, getFullName(paper), MenuText::font(12, true),
        palette.color(QPalette::Link), QStringLiteral("journalLine"));

    const QFont titleFont = MenuText::font(13, true);
    QAction *title
        = menu->addAction(MenuText::escapeMnemonic(MenuText::elided(paper.title(), titleFont)));
    title->setFont(titleFont);
    title->setObjectName(QStringLiteral("titleLine"));
    title->setToolTip({});
    connect(title, &QAction::triggered, this, &TickerController::openCurrentPaper);

    MenuText::addStyledLine(menu, paper.author(), MenuText::font(12, false),
        palette.color(QPalette::WindowText), QStringLiteral("authorLine"));
    if (!paper.utf8(Paper::Date).isEmpty())
        MenuText::addStyledLine(menu, paper.date(), MenuText::font(11, false),
            palette.color(QPalette::PlaceholderText), QStringLiteral("dateLine"));
    menu->addSeparator();
    addBottomControls(menu);
}

void TickerController::openCurrentPaper()
{
    if (m_currentIndex < 0 || m_currentIndex >= m_displayPapers.size())
        return;
    if (const auto url = PaperLink::resolve(m_displayPapers[qsizetype(m_currentIndex)].link()))
        m_env.openUrl(*url);
}
