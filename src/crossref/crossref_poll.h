#pragma once

#include "core/paper_source.h"
#include "crossref/crossref_client.h"
#include "crossref/crossref_run.h"
#include "crossref/sources.h"
#include "crossref/state_store.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

// Quillet's built-in source: each poll is one Crossref run over the enabled
// journals of the built-in table, asking only for what is new since the last
// successful poll. What it has seen, and when, is kept between polls and runs
// in a state file, so a returning user sees the kept papers at once.
class CrossrefPoll : public QObject, public PaperSource
{
    Q_OBJECT

public:
    struct Config
    {
        QUrl api {QStringLiteral("https://api.crossref.org/")};
        // Named Quillet to the API whatever is set here; no e-mail is known,
        // so the public pool.
        CrossrefClient::Config client;
        QString sourcesPath = builtInSources();
        QString statePath; // empty: nothing kept between runs
        StateStore::Limits limits;
        int firstDays = 14; // how far back a new machine's first poll reaches
        // Late deposits: each poll reaches this far before the last successful one.
        int overlapDays = 1;
        int journalsPerRequest = CrossrefQuery::journalsPerRequest;
    };

    // $XDG_STATE_HOME/Quillet/papers.json, or under ~/.local/state.
    static QString defaultStatePath();

    explicit CrossrefPoll(Config config, QObject *parent = nullptr);
    ~CrossrefPoll() override;

    void poll() override;

    bool busy() const { return m_busy; }

private:
    bool prepare();
    void begin();
    void handOverEarly();
    void complete(const CrossrefRun::Outcome &outcome);
    void save();

    Config m_config;
    bool m_prepared = false;
    QList<Journal> m_journals; // tier 1 first: their titles reach the strip first
    StateStore m_state;
    bool m_onDisplay = false;
    QDateTime m_now;
    std::unique_ptr<CrossrefClient> m_client;
    std::unique_ptr<CrossrefRun> m_run;
    bool m_busy = false;
};
