#include "ui/journal_filter_window.h"

#include "core/journal_constants.h"
#include "core/preferences.h"
#include "ui/x11_window_hints.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSet>
#include <QStyle>
#include <QVBoxLayout>

namespace {

// The stored value is the real name; the checkbox text is its display form.
constexpr const char *journalNameProperty = "journalName";

QString journalName(const QCheckBox *checkbox)
{
    return checkbox->property(journalNameProperty).toString();
}

} // namespace

JournalFilterWindow &JournalFilterWindow::shared()
{
    static JournalFilterWindow window(Preferences::standard());
    return window;
}

JournalFilterWindow::JournalFilterWindow(Preferences &preferences) : m_preferences(preferences) { }

JournalFilterWindow::~JournalFilterWindow()
{
    // The panel has no parent. Take it down with us, but only while an application
    // exists: the shared instance outlives it, and widgets cannot be deleted then.
    if (m_window && QCoreApplication::instance())
        delete m_window.data();
}

void JournalFilterWindow::showWindow()
{
    if (m_window) {
        // Keep what the user sees: no rebuild, no second look at the store.
        m_window->raise();
        m_window->activateWindow();
        return;
    }
    buildWindow();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void JournalFilterWindow::buildWindow()
{
    auto *window = new QWidget(nullptr,
        Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QStringLiteral("Select Journals to Display"));
    const QSize size(panelWidth, panelHeight);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        window->setGeometry(QStyle::alignedRect(
            Qt::LeftToRight, Qt::AlignCenter, size, screen->availableGeometry()));
    else
        window->resize(size);
    window->installEventFilter(this);
    m_window = window;

    auto *mainLayout = new QVBoxLayout(window);
    mainLayout->setSpacing(10);
    mainLayout->setContentsMargins(15, 15, 15, 15);

    auto *buttons = new QHBoxLayout;
    auto *selectAll = new QPushButton(QStringLiteral("Select All"), window);
    auto *deselectAll = new QPushButton(QStringLiteral("Deselect All"), window);
    selectAll->setObjectName(QStringLiteral("selectAll"));
    deselectAll->setObjectName(QStringLiteral("deselectAll"));
    connect(selectAll, &QPushButton::clicked, this, &JournalFilterWindow::selectAllAction);
    connect(deselectAll, &QPushButton::clicked, this, &JournalFilterWindow::deselectAllAction);
    buttons->addWidget(selectAll);
    buttons->addWidget(deselectAll);
    mainLayout->addLayout(buttons);

    auto *scrollArea = new QScrollArea(window);
    scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea->setFrameShape(QFrame::StyledPanel);
    scrollArea->setFrameShadow(QFrame::Sunken);
    scrollArea->setWidgetResizable(true);
    // Tab goes from the buttons straight to the first checkbox; the area scrolls to
    // whichever box has focus by itself.
    scrollArea->setFocusPolicy(Qt::NoFocus);
    mainLayout->addWidget(scrollArea);

    auto *list = new QWidget;
    auto *listLayout = new QVBoxLayout(list);
    listLayout->setSpacing(8);
    listLayout->setContentsMargins(10, 10, 10, 10);
    listLayout->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    const QStringList hiddenList = m_preferences.hiddenJournals();
    const QSet<QString> hidden(hiddenList.cbegin(), hiddenList.cend());
    for (const QString &name : JournalConstants::sortedFullNames()) {
        // QCheckBox would take "&" as a shortcut marker and hide it.
        auto *checkbox = new QCheckBox(QString(name).replace(u'&', QStringLiteral("&&")), list);
        checkbox->setObjectName(QStringLiteral("journal:") + name);
        checkbox->setProperty(journalNameProperty, name);
        QFont font = checkbox->font();
        font.setPixelSize(13);
        checkbox->setFont(font);
        checkbox->setChecked(!hidden.contains(name));
        // clicked, not toggled: the buttons' bulk changes must store once, not per box.
        connect(checkbox, &QCheckBox::clicked, this, &JournalFilterWindow::toggleJournal);
        listLayout->addWidget(checkbox);
        m_checkboxes.append(checkbox);
    }
    listLayout->addStretch();
    scrollArea->setWidget(list);

    // The native window must exist for the hints to land before the first map.
    window->winId();
    markSkipTaskbar(window->windowHandle(), true);
}

void JournalFilterWindow::toggleJournal()
{
    updateUserDefaults();
}

void JournalFilterWindow::selectAllAction()
{
    setAllChecked(true);
    updateUserDefaults();
}

void JournalFilterWindow::deselectAllAction()
{
    setAllChecked(false);
    updateUserDefaults();
}

void JournalFilterWindow::setAllChecked(bool checked)
{
    for (QCheckBox *checkbox : std::as_const(m_checkboxes))
        checkbox->setChecked(checked);
}

void JournalFilterWindow::updateUserDefaults()
{
    QStringList hidden;
    for (const QCheckBox *checkbox : std::as_const(m_checkboxes)) {
        if (!checkbox->isChecked())
            hidden.append(journalName(checkbox));
    }
    m_preferences.setHiddenJournals(hidden);
    if (onFiltersChanged)
        onFiltersChanged();
}

void JournalFilterWindow::windowWillClose()
{
    // WA_DeleteOnClose deletes the panel and its checkboxes after this returns.
    m_window = nullptr;
    m_checkboxes.clear();
}

bool JournalFilterWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Close)
        windowWillClose();
    // Escape closes the panel, as it would a dialog.
    if (watched == m_window && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        m_window->close();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
