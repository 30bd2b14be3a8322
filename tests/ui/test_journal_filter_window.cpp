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
    void clicksStoreUncheckedNamesInDisplayOrder_data();
    void clicksStoreUncheckedNamesInDisplayOrder();
    void bulkButtonsStoreOnce_data();
    void bulkButtonsStoreOnce();
    void closingStoresNothingAndReopeningRereads();
    void keyboardAlone();
};

void TestJournalFilterWindow::clicksStoreUncheckedNamesInDisplayOrder_data()
{
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<QStringList>("stored");
    QTest::addRow("one") << QStringList {DevEcon} << QStringList {DevEcon};
    QTest::addRow("display order, not click order")
        << QStringList {WorldEconomy, Aos} << QStringList {Aos, WorldEconomy};
    QTest::addRow("unchecked then checked again")
        << QStringList {DevEcon, DevEcon} << QStringList {};
    QTest::addRow("ampersand names, unescaped")
        << QStringList {LawEcon, Banking} << QStringList {Banking, LawEcon};
}

void TestJournalFilterWindow::clicksStoreUncheckedNamesInDisplayOrder()
{
    QFETCH(QStringList, clicks);
    QFETCH(QStringList, stored);
    Fixture f;
    f.filter.showWindow();
    for (const QString &name : std::as_const(clicks))
        f.click(name);
    QCOMPARE(f.preferences.hiddenJournals(), stored);
    QVERIFY(f.preferences.contains(Preferences::HiddenJournals));
    QCOMPARE(f.changes, clicks.size());
    // The owner re-filters from the store, so it must already hold the change.
    QCOMPARE(f.storedAtCallback, stored);
    QCOMPARE(f.unchecked(), stored);
}

void TestJournalFilterWindow::bulkButtonsStoreOnce_data()
{
    const QStringList all = JournalConstants::sortedFullNames();
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("storeFirst");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    QTest::addRow("deselect, all on") << u"Deselect All"_qs << false << QStringList {} << all;
    QTest::addRow("deselect, all already off") << u"Deselect All"_qs << true << all << all;
    QTest::addRow("deselect, some off out of order")
        << u"Deselect All"_qs << true << QStringList {WorldEconomy, Aos} << all;
    QTest::addRow("select, some off")
        << u"Select All"_qs << true << QStringList {Banking, DevEcon} << QStringList {};
    QTest::addRow("select, nothing stored")
        << u"Select All"_qs << false << QStringList {} << QStringList {};
}

void TestJournalFilterWindow::bulkButtonsStoreOnce()
{
    QFETCH(QString, button);
    QFETCH(bool, storeFirst);
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    Fixture f;
    if (storeFirst)
        f.preferences.setHiddenJournals(before);
    f.filter.showWindow();
    f.press(button);
    QCOMPARE(f.unchecked(), after);
    QCOMPARE(f.preferences.hiddenJournals(), after);
    QCOMPARE(f.changes, 1); // once for the whole change, even when nothing changed
    QCOMPARE(f.storedAtCallback, after);

    // On disk too: "none hidden" must be present and empty, not absent.
    f.preferences.sync();
    Preferences reread(f.file);
    QVERIFY(reread.contains(Preferences::HiddenJournals));
    QCOMPARE(reread.hiddenJournals(), after);
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
