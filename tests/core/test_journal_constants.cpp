#include "core/journal_constants.h"

#include <QSet>
#include <QTest>

#include <algorithm>

class TestJournalConstants : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sizes()
    {
        QCOMPARE(JournalConstants::mapping().size(), 133);
        QCOMPARE(JournalConstants::sortedFullNames().size(), 131);
    }

    void namesWithTwoLabels_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("development")
            << QStringLiteral("Journal of Development Economics")
            << QStringList {QStringLiteral("JDE in Press"), QStringLiteral("JDE in Progress")};
        QTest::newRow("urban") << QStringLiteral("Journal of Urban Economics")
                               << QStringList {QStringLiteral("JUE in Press"),
                                      QStringLiteral("JUE in Progress")};
    }
    void namesWithTwoLabels()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, labels);
        QStringList found = JournalConstants::mapping().keys(name);
        found.sort();
        QCOMPARE(found, labels);
        for (const QString &label : labels)
            QCOMPARE(JournalConstants::fullName(label), name);
    }

    void fullName_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("expected");
        QTest::newRow("label with comma name") << QStringLiteral(
            "JLEO Advance") << QStringLiteral("Journal of Law, Economics, & Organization");
        QTest::newRow("label with &") << QStringLiteral("JA&E in Press")
                                      << QStringLiteral("Journal of Accounting and Economics");
        QTest::newRow("label equals name") << QStringLiteral("Annual Review of Economics")
                                           << QStringLiteral("Annual Review of Economics");
        QTest::newRow("lower case")
            << QStringLiteral("jde in press") << QStringLiteral("jde in press");
        QTest::newRow("trailing blank")
            << QStringLiteral("JDE in Press ") << QStringLiteral("JDE in Press ");
        QTest::newRow("unknown") << QStringLiteral("NBER Working Papers")
                                 << QStringLiteral("NBER Working Papers");
        QTest::newRow("unknown, decomposed accent kept as given")
            << QStringLiteral("Revue e\u0301conomique") << QStringLiteral("Revue e\u0301conomique");
        QTest::newRow("empty") << QString() << QString();
    }
    void fullName()
    {
        QFETCH(QString, label);
        QFETCH(QString, expected);
        QCOMPARE(JournalConstants::fullName(label), expected);
    }

    void strictlyAscendingByCodePoint()
    {
        const QStringList &names = JournalConstants::sortedFullNames();
        for (qsizetype i = 1; i < names.size(); ++i) {
            const QList<uint> a = names.at(i - 1).toUcs4();
            const QList<uint> b = names.at(i).toUcs4();
            // Strict: also rejects a repeated name.
            QVERIFY2(std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end()),
                qPrintable(names.at(i - 1) + QLatin1String(" !< ") + names.at(i)));
        }
    }

    void sortedNamesAreExactlyTheTableValues()
    {
        const QList<QString> values = JournalConstants::mapping().values();
        const QSet<QString> fromTable(values.begin(), values.end());
        const QStringList &names = JournalConstants::sortedFullNames();
        const QSet<QString> fromList(names.begin(), names.end());
        QCOMPARE(fromList, fromTable);
        QCOMPARE(fromList.size(), names.size());
    }
};

QTEST_GUILESS_MAIN(TestJournalConstants)
#include "test_journal_constants.moc"
