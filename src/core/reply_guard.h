#pragma once

#include <QNetworkReply>

#include <chrono>
#include <cstdint>

// The transfer limits of one feed request, and how its outcome is read.
namespace ReplyGuard {

// Set on a reply that we aborted ourselves; the text becomes the logged description.
constexpr const char *abortReasonProperty = "quilletAbortReason";

struct Limits
{
    std::chrono::milliseconds idleTimeout; // no byte for this long fails the fetch
    std::chrono::milliseconds transferTimeout; // the whole transfer must finish within this
    std::int64_t maxBodyBytes; // larger bodies are refused while downloading
};

// HTTP statuses are answers, not transport faults: their bodies are decoded
// like any other. Qt reports 4xx/5xx as errors, so tell the two apart.
bool isTransportError(QNetworkReply::NetworkError error, bool hasHttpStatus);

// Enforces the limits on `reply`: an idle timeout, an overall deadline and a
// body size cap, each aborting with a readable reason.
void guard(QNetworkReply *reply, const Limits &limits);

} // namespace ReplyGuard
