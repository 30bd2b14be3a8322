#pragma once

#include "crossref/crossref_client.h"
#include "crossref/sources.h"

#include <QObject>
#include <QTextStream>
#include <QUrl>

#include <functional>

// --check: asks for the most recent work of each ISSN of each journal and lists
// the labels with an ISSN that answers nothing, or whose ISSNs answer with works
// of different journals, so a wrong or retired ISSN shows before it costs papers.
class SourceCheck : public QObject
{
    Q_OBJECT

public:
    SourceCheck(QList<Source> sources, QUrl api, CrossrefClient::Config client, QTextStream &out,
        QObject *parent = nullptr);

    // `onFinished` gets 0 when every journal answered with a work, 1 when some
    // did not, 3 when none could be asked.
    void start();
    std::function<void(int exitCode)> onFinished;

private:
    void checkNext();
    void finishJournal(const Journal &journal);

    QList<Journal> m_journals;
    QUrl m_api;
    QTextStream &m_out;
    QString m_mailto;
    CrossrefClient m_client;
    qsizetype m_next = 0; // the journal being asked
    qsizetype m_issn = 0; // its ISSN being asked
    QStringList m_silentIssns; // its ISSNs that answered nothing so far
    QList<std::pair<QString, QString>> m_answers; // its other ISSNs, each with its work's journal
    QString m_error; // why one of its ISSNs could not be asked
    int m_silent = 0;
    int m_failed = 0;
};
