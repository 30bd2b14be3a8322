// The menu a tray host is given over D-Bus, and when a host's menu pauses the
// ticker: only between its own "opened" and "closed", never for good.
#include "core/host_menu_pause.h"
#include "core/label_pages.h"
#include "core/menu_description.h"
#include "core/ticker_model.h"
#include "support/fake_timers.h"
#include "ui/dbus_menu_layout.h"

#include <QTest>

class TestTrayMenu : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void labelPages_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QStringList>("pages");
        const QString e(QChar(0x2026));
        QTest::newRow("fits") << u"Tolls and Wages"_qs << 20 << QStringList {u"Tolls and Wages"_qs};
        QTest::newRow("between words")
            << u"Harbour Tolls and  Inland Warehousing"_qs << 16
            << QStringList {u"Harbour Tolls"_qs + e, u"and Inland"_qs + e, u"Warehousing"_qs};
        QTest::newRow("a word longer than a page")
            << u"Supercalifragilistic"_qs << 10
            << QStringList {u"Supercali"_qs + e, u"fragilist"_qs + e, u"ic"_qs};
        QTest::newRow("never narrower than the minimum")
            << u"Credit Cycles"_qs << 0 << QStringList {u"Credit"_qs + e, u"Cycles"_qs};
    }
    void labelPages()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QStringList, pages);
        QCOMPARE(LabelPages::split(text, width), pages);
        for (const QString &page : pages)
            QVERIFY(page.size() <= std::max(width, LabelPages::minimumWidth));
        // Seconds apart at the default speed and at the fastest: a host redraws at each change.
        QCOMPARE(LabelPages::dwell(0.8), std::chrono::milliseconds(3500));
        QCOMPARE(LabelPages::dwell(5.0), std::chrono::milliseconds(3000));
    }

    void pausesOnlyWhileAHostShowsTheMenu()
    {
        FakeTimers timers;
        HostMenuPause pause(timers);
        QList<bool> changes;
        pause.onPausedChanged = [&changes](bool paused) { changes.append(paused); };
        const QString panel = QStringLiteral(":1.7"), shell = QStringLiteral(":1.9");

        pause.opened(panel, 0);
        pause.opened(panel, 12); // a submenu inside it
        pause.closed(panel, 12);
        QVERIFY(pause.isPaused());
        pause.opened(shell, 0);
        pause.closed(panel, 0);
        QVERIFY(pause.isPaused()); // the other host still shows it
        pause.hostGone(shell); // killed while its menu was open
        QCOMPARE(changes, (QList<bool> {true, false}));

        pause.opened(panel, 0); // and never says "closed"
        timers.advance(HostMenuPause::longestPause - std::chrono::seconds(1));
        QVERIFY(pause.isPaused());
        timers.advance(std::chrono::seconds(1));
        QVERIFY(!pause.isPaused());
        pause.opened(panel, 0);
        pause.reset(); // the item registered anew
        QCOMPARE(changes, (QList<bool> {true, false, true, false, true, false}));
        QCOMPARE(timers.activeCount(), 0);
    }

    void layoutKeepsIdsAndShowsEveryRow()
    {
        TickerModel model([](const QString &text) { return double(text.size()); });
        const auto papers = [&model](const QString &title) {
            model.setAllPapers({Paper {title, QStringLiteral("https://papers.example.org/1"),
                QStringLiteral("AER"), QStringLiteral("1"), QStringLiteral("Ana Ortiz"),
                QStringLiteral("2026-12-01")}});
            model.applyFilters({});
            return MenuDescription::describe(model, {250, 0.8, true});
        };
        DBusMenuLayout layout;
        QVERIFY(layout.update(papers(QStringLiteral("Ports_and Wages"))));
        const DBusMenuLayoutItem title = layout.root().children.at(1);
        QCOMPARE(
            title.properties.value(QStringLiteral("label")), QStringLiteral("Ports__and Wages"));
        QVERIFY(!layout.update(papers(QStringLiteral("Ports_and Wages"))));
        QVERIFY(layout.update(papers(QStringLiteral("Tolls"))));
        QCOMPARE(layout.root().children.at(1).id,
            title.id); // a click on the old layout still means the title
        QCOMPARE(layout.target(title.id)->command, MenuRow::Command::OpenPaper);

        int checked = 0;
        for (const DBusMenuLayoutItem &row : layout.root().children) {
            const QVariantMap &p = row.properties;
            QVERIFY(p.value(QStringLiteral("type")) == QStringLiteral("separator")
                || !p.value(QStringLiteral("label")).toString().isEmpty());
            if (p.value(QStringLiteral("toggle-type")) == QStringLiteral("checkmark"))
                QCOMPARE(layout.target(row.id)->checkedAfter, std::optional(false));
            for (const DBusMenuLayoutItem &value : row.children)
                if (value.properties.value(QStringLiteral("toggle-state")) == 1)
                    checked += 1;
        }
        QCOMPARE(checked, 2); // one width, one speed; 250 is among the widths offered
    }
};

QTEST_GUILESS_MAIN(TestTrayMenu)
#include "test_tray_menu.moc"
