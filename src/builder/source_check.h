#pragma once

#include "builder/crossref_client.h"
#include "builder/sources.h"

#include <QObject>
#include <QTextStream>
#include <QUrl>

#include <functional>

// --check: asks for each journal's most recent work and lists the labels whose
// ISSNs answer nothing, so a wrong or retired ISSN shows before it costs papers.
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

    QList<Journal> m_journals;
    QUrl m_api;
    QTextStream &m_out;
    QString m_mailto;
    CrossrefClient m_client;
    qsizetype m_next = 0;
    int m_silent = 0;
    int m_failed = 0;
};
