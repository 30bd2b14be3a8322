// The journal panel as a user drives it: real clicks on checkboxes and buttons,
// with what reaches the store and the owner's callback checked after each.
#include "core/journal_constants.h"
#include "core/preferences.h"
#include "ui/journal_filter_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QKeySequence>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Aos = QStringLiteral("Accounting, Organizations and Society");
const QString Banking = QStringLiteral("Journal of Banking & Finance");
const QString LawEcon = QStringLiteral("Journal of Law, Economics, & Organization");
const QString DevEcon = QStringLiteral("Journal of Development Economics");
const QString WorldEconomy = QStringLiteral("World Economy");

struct Fixture
{
    QTemporaryDir dir;
    QString file = dir.filePath(QStringLiteral("prefs.conf"));
    Preferences preferences {file};
    JournalFilterWindow filter {preferences};
    int changes = 0;
    QStringList storedAtCallback;

    Fixture()
    {
        filter.onFiltersChanged = [this] {
            ++changes;
            storedAtCallback = preferences.hiddenJournals();
        };
    }
    QCheckBox *box(const QString &name) const
    {
        return filter.window()->findChild<QCheckBox *>(QStringLiteral("journal:") + name);
    }
    // A press and release on the box's indicator, scrolled into view first as a user would.
    void click(const QString &name) const
    {
        QCheckBox *checkbox = box(name);
        QVERIFY(checkbox);
        filter.window()->findChild<QScrollArea *>()->ensureWidgetVisible(checkbox);
        QStyleOptionButton option;
        option.initFrom(checkbox);
        const QRect indicator
            = checkbox->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, checkbox);
        QTest::mouseClick(checkbox, Qt::LeftButton, {}, indicator.center());
    }
    void press(const QString &buttonText) const
    {
        for (QPushButton *button : filter.window()->findChildren<QPushButton *>()) {
            if (button->text() == buttonText)
                return QTest::mouseClick(button, Qt::LeftButton);
        }
        QFAIL("no such button");
    }
    QStringList unchecked() const
    {
        QStringList names;
        for (const QCheckBox *checkbox : filter.checkboxes())
            if (!checkbox->isChecked())
                names.append(checkbox->property("journalName").toString());
        return names;
    }
};

} // namespace

class TestJournalFilterWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void eachChangeIsStoredBeforeTheCallback_data();
    void eachChangeIsStoredBeforeTheCallback();
    void closingStoresNothingAndReopeningRereads();
    void keyboardAlone();
};

void TestJournalFilterWindow::eachChangeIsStoredBeforeTheCallback_data()
{
    const QStringList all = JournalConstants::sortedFullNames();
    // Clicks on the named boxes, or presses of the named buttons.
    QTest::addColumn<QStringList>("storedFirst");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QStringList>("stored");

    QTest::addRow("one") << QStringList {} << QStringList {DevEcon} << QStringList {DevEcon};
    QTest::addRow("display order, not click order")
        << QStringList {} << QStringList {WorldEconomy, Aos} << QStringList {Aos, WorldEconomy};
    QTest::addRow("unchecked then checked again")
        << QStringList {} << QStringList {DevEcon, DevEcon} << QStringList {};
    QTest::addRow("ampersand names, unescaped")
        << QStringList {} << QStringList {LawEcon, Banking} << QStringList {Banking, LawEcon};
    QTest::addRow("deselect, all on") << QStringList {} << QStringList {u"Deselect All"_qs} << all;
    QTest::addRow("deselect, all already off") << all << QStringList {u"Deselect All"_qs} << all;
    QTest::addRow("deselect, some off out of order")
        << QStringList {WorldEconomy, Aos} << QStringList {u"Deselect All"_qs} << all;
    QTest::addRow("select, some off")
        << QStringList {Banking, DevEcon} << QStringList {u"Select All"_qs} << QStringList {};
    QTest::addRow("select, nothing hidden")
        << QStringList {} << QStringList {u"Select All"_qs} << QStringList {};
}

void TestJournalFilterWindow::eachChangeIsStoredBeforeTheCallback()
{
    QFETCH(QStringList, storedFirst);
    QFETCH(QStringList, actions);
    QFETCH(QStringList, stored);

    Fixture f;
    if (!storedFirst.isEmpty())
        f.preferences.setHiddenJournals(storedFirst);
    f.filter.showWindow();
    for (const QString &action : std::as_const(actions)) {
        if (action.endsWith(u" All"_qs))
            f.press(action);
        else
            f.click(action);
    }
    QCOMPARE(f.unchecked(), stored);
    // Once per action, even when nothing changed; the owner re-filters from
    // the store, so it must already hold the change.
    QCOMPARE(f.changes, actions.size());
    QCOMPARE(f.storedAtCallback, stored);
    // On disk too: "none hidden" must be present and empty, not absent.
    f.preferences.sync();
    Preferences reread(f.file);
    QVERIFY(reread.contains(Preferences::HiddenJournals));
    QCOMPARE(reread.hiddenJournals(), stored);
}

void TestJournalFilterWindow::closingStoresNothingAndReopeningRereads()
{
    Fixture f;
    f.preferences.setHiddenJournals({WorldEconomy});
    f.filter.showWindow();
    const QPointer<QWidget> panel = f.filter.window();
    QVERIFY(panel->close());
    QVERIFY(!f.filter.window());
    QVERIFY(f.filter.checkboxes().isEmpty());
    QTRY_VERIFY(!panel); // deleted, not merely hidden
    QCOMPARE(f.preferences.hiddenJournals(), QStringList {WorldEconomy});
    QCOMPARE(f.changes, 0);

    const QString unknown = QStringLiteral("No Such Journal");
    f.preferences.setHiddenJournals({WorldEconomy, unknown, Banking});
    f.filter.showWindow();
    QVERIFY(f.filter.window() && f.filter.window()->isVisible());
    QCOMPARE(f.unchecked(), (QStringList {Banking, WorldEconomy}));

    // The next change rewrites the list from the boxes: unknown names drop out.
    f.click(Aos);
    QCOMPARE(f.preferences.hiddenJournals(), (QStringList {Aos, Banking, WorldEconomy}));
    QCOMPARE(f.changes, 1);
}

// Tab from the buttons to the boxes, Space toggles and stores, Escape closes.
void TestJournalFilterWindow::keyboardAlone()
{
    Fixture f;
    f.filter.showWindow();
    QWidget *window = f.filter.window();
    QVERIFY(QTest::qWaitForWindowActive(window));
    f.filter.window()->findChild<QPushButton *>(QStringLiteral("deselectAll"))->setFocus();
    auto key = [](Qt::Key k, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(QApplication::focusWidget(), k, modifiers);
    };

    key(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), f.box(Aos));
    key(Qt::Key_Space);
    QCOMPARE(f.preferences.hiddenJournals(), QStringList {Aos});
    QCOMPARE(f.changes, 1);
    key(Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), f.filter.checkboxes().at(1));
    // Far down the list, the box with focus has been scrolled into view.
    for (int i = 2; i <= 40; ++i)
        key(Qt::Key_Tab);
    QCheckBox *far = f.filter.checkboxes().at(40);
    QCOMPARE(QApplication::focusWidget(), far);
    QVERIFY(!far->visibleRegion().isEmpty());
    key(Qt::Key_Space);
    QCOMPARE(f.changes, 2);
    key(Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), f.filter.checkboxes().at(39));

    key(Qt::Key_Escape);
    QTRY_VERIFY(!f.filter.window());
    QCOMPARE(f.changes, 2);
}

QTEST_MAIN(TestJournalFilterWindow)
#include "test_journal_filter_window.moc"
