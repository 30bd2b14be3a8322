#include "core/journal_constants.h"

#include <QSet>
#include <QTest>

#include <algorithm>

class TestJournalConstants : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fullName_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("expected");
        const QString development = u"Journal of Development Economics"_qs;
        const QString urban = u"Journal of Urban Economics"_qs;
        // The two names with two labels each.
        QTest::newRow("JDE in Press") << u"JDE in Press"_qs << development;
        QTest::newRow("JDE in Progress") << u"JDE in Progress"_qs << development;
        QTest::newRow("JUE in Press") << u"JUE in Press"_qs << urban;
        QTest::newRow("JUE in Progress") << u"JUE in Progress"_qs << urban;
        QTest::newRow("name with commas")
            << u"JLEO Advance"_qs << u"Journal of Law, Economics, & Organization"_qs;
        QTest::newRow("label with &")
            << u"JA&E in Press"_qs << u"Journal of Accounting and Economics"_qs;
        QTest::newRow("label is the name")
            << u"Annual Review of Economics"_qs << u"Annual Review of Economics"_qs;
        // Unknown labels, and near misses, stand for themselves exactly as given.
        QTest::newRow("lower case") << u"jde in press"_qs << u"jde in press"_qs;
        QTest::newRow("trailing blank") << u"JDE in Press "_qs << u"JDE in Press "_qs;
        QTest::newRow("decomposed accent")
            << u"Revue e\u0301conomique"_qs << u"Revue e\u0301conomique"_qs;
        QTest::newRow("empty") << QString() << QString();
    }
    void fullName()
    {
        QFETCH(QString, label);
        QFETCH(QString, expected);
        QCOMPARE(JournalConstants::fullName(label), expected);
    }

    // The names the filter lists: every table value once, in code-point order.
    void sortedNamesAreTheTableValuesInOrder()
    {
        QCOMPARE(JournalConstants::mapping().size(), 133);
        const QStringList &names = JournalConstants::sortedFullNames();
        QCOMPARE(names.size(), 131);
        const QList<QString> values = JournalConstants::mapping().values();
        QCOMPARE(
            QSet<QString>(names.begin(), names.end()), QSet<QString>(values.begin(), values.end()));
        for (qsizetype i = 1; i < names.size(); ++i) {
            const QList<uint> a = names[i - 1].toUcs4(), b = names[i].toUcs4();
            // Strict: a repeated name fails too.
            QVERIFY2(std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end()),
                qPrintable(names[i - 1] + u" !< "_qs + names[i]));
        }
    }
};

QTEST_GUILESS_MAIN(TestJournalConstants)
#include "test_journal_constants.moc"
