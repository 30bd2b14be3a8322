// The program's paper service, on the source the build chose: the feed
// document when a feed address is compiled in, else Crossref itself.
#include "core/feed_endpoint.h"
#include "core/paper_service.h"
#include "crossref/crossref_poll.h"

#include <QCoreApplication>

PaperService &PaperService::shared()
{
    // Parented to the application object, so it goes when the event loop's owner goes.
    static PaperService *const service = [] {
        const FeedEndpoint endpoint = quilletFeedEndpoint();
        auto timers = std::make_unique<QtTimers>();
        if (!endpoint.url.isEmpty())
            return new PaperService(
                Config::fromEndpoint(endpoint), std::move(timers), QCoreApplication::instance());
        CrossrefPoll::Config config;
        config.api = QUrl(endpoint.crossrefApi, QUrl::StrictMode);
        config.client.extraCaCertificates
            = QSslCertificate::fromData(endpoint.extraCaPem, QSsl::Pem);
        config.statePath = CrossrefPoll::defaultStatePath();
        return new PaperService(std::make_unique<CrossrefPoll>(std::move(config)),
            std::move(timers), QCoreApplication::instance());
    }();
    return *service;
}
