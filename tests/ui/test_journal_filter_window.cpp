// The journal panel as a user drives it: real clicks on checkboxes and buttons,
// with what reaches the store and the owner's callback checked after each.
#include "core/journal_constants.h"
#include "core/preferences.h"
#include "ui/journal_filter_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QScrollArea>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>

const QString Aos = QStringLiteral("Accounting, Organizations and Society");
const QString Banking = QStringLiteral("Journal of Banking & Finance");
const QString LawEcon = QStringLiteral("Journal of Law, Economics, & Organization");
const QString DevEcon = QStringLiteral("Journal of Development Economics");
const QString WorldEconomy = QStringLiteral("World Economy");

struct Fixture
{
    QTemporaryDir dir;
    Preferences preferences {dir.filePath(u"prefs.conf"_qs)};
    JournalFilterWindow filter {preferences};
    int changes = 0;
    QStringList atCallback; // what the store held when the callback ran

    Fixture()
    {
        filter.onFiltersChanged = [this] { atCallback = preferences.hiddenJournals(), ++changes; };
    }
    // A button by its text, or a journal's box: a press and release on its
    // indicator, scrolled into view first as a user would.
    void click(const QString &name) const
    {
        for (QPushButton *button : filter.window()->findChildren<QPushButton *>())
            if (button->text() == name)
                return QTest::mouseClick(button, Qt::LeftButton);
        auto *checkbox = filter.window()->findChild<QCheckBox *>(u"journal:"_qs + name);
        QVERIFY(checkbox);
        filter.window()->findChild<QScrollArea *>()->ensureWidgetVisible(checkbox);
        QStyleOptionButton option;
        option.initFrom(checkbox);
        const QRect indicator
            = checkbox->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, checkbox);
        QTest::mouseClick(checkbox, Qt::LeftButton, {}, indicator.center());
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

class TestJournalFilterWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What is stored first, the boxes clicked or buttons pressed, what is stored after.
    void eachChangeIsStoredBeforeTheCallback_data()
    {
        const QStringList all = JournalConstants::sortedFullNames();
        QTest::addColumn<QStringList>("storedFirst");
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<QStringList>("stored");
        const auto row
            = [](const char *name, QStringList first, QStringList actions, QStringList stored) {
                  QTest::newRow(name) << first << actions << stored;
              };
        row("one", {}, {DevEcon}, {DevEcon});
        row("display order, not click order", {}, {WorldEconomy, Aos}, {Aos, WorldEconomy});
        row("unchecked then checked again", {}, {DevEcon, DevEcon}, {});
        row("ampersand names, unescaped", {}, {LawEcon, Banking}, {Banking, LawEcon});
        row("deselect, all on", {}, {u"Deselect All"_qs}, all);
        row("deselect, all already off", all, {u"Deselect All"_qs}, all);
        row("deselect, some off out of order", {WorldEconomy, Aos}, {u"Deselect All"_qs}, all);
        row("select, some off", {Banking, DevEcon}, {u"Select All"_qs}, {});
        row("select, nothing hidden", {}, {u"Select All"_qs}, {});
    }
    void eachChangeIsStoredBeforeTheCallback()
    {
        QFETCH(QStringList, storedFirst);
        QFETCH(QStringList, actions);
        QFETCH(QStringList, stored);
        Fixture f;
        if (!storedFirst.isEmpty())
            f.preferences.setHiddenJournals(storedFirst);
        f.filter.showWindow();
        for (const QString &action : std::as_const(actions))
            f.click(action);
        QCOMPARE(f.unchecked(), stored);
        // Once per action, even when nothing changed; the owner re-filters from
        // the store, so it must already hold the change.
        QCOMPARE(f.changes, actions.size());
        QCOMPARE(f.atCallback, stored);
        // On disk too: "none hidden" must be present and empty, not absent.
        f.preferences.sync();
        Preferences reread(f.dir.filePath(u"prefs.conf"_qs));
        QVERIFY(reread.contains(Preferences::hiddenJournalsKey));
        QCOMPARE(reread.hiddenJournals(), stored);
    }

    void closingStoresNothingAndReopeningRereads()
    {
        Fixture f;
        f.preferences.setHiddenJournals({WorldEconomy});
        f.filter.showWindow();
        const QPointer<QWidget> panel = f.filter.window();
        QVERIFY(panel->close());
        QTRY_VERIFY(!panel); // deleted, not merely hidden
        QCOMPARE(f.preferences.hiddenJournals(), QStringList {WorldEconomy});
        QCOMPARE(f.changes, 0);

        f.preferences.setHiddenJournals({WorldEconomy, u"No Such Journal"_qs, Banking});
        f.filter.showWindow();
        QVERIFY(f.filter.window() && f.filter.window()->isVisible());
        QCOMPARE(f.unchecked(), (QStringList {Banking, WorldEconomy}));
        // The next change rewrites the list from the boxes: unknown names drop out.
        f.click(Aos);
        QCOMPARE(f.preferences.hiddenJournals(), (QStringList {Aos, Banking, WorldEconomy}));
        QCOMPARE(f.changes, 1);
    }

    // Tab from the buttons to the boxes, Space toggles and stores, Escape closes.
    void keyboardAlone()
    {
        Fixture f;
        f.filter.showWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.filter.window()));
        f.filter.window()->findChild<QPushButton *>(QStringLiteral("deselectAll"))->setFocus();
        const auto key = [](Qt::Key k) { QTest::keyClick(QApplication::focusWidget(), k); };

        key(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), f.filter.checkboxes().at(0));
        key(Qt::Key_Space);
        QCOMPARE(f.preferences.hiddenJournals(), QStringList {Aos});
        // Far down the list, the box with focus has been scrolled into view.
        for (int i = 1; i <= 40; ++i)
            key(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), f.filter.checkboxes().at(40));
        QVERIFY(!QApplication::focusWidget()->visibleRegion().isEmpty());
        key(Qt::Key_Space);
        key(Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), f.filter.checkboxes().at(39));

        key(Qt::Key_Escape);
        QTRY_VERIFY(!f.filter.window());
        QCOMPARE(f.changes, 2);
    }
};

QTEST_MAIN(TestJournalFilterWindow)
#include "test_journal_filter_window.moc"
