#include "core/reply_guard.h"

#include <QNetworkRequest>
#include <QTimer>

namespace ReplyGuard {

bool isTransportError(QNetworkReply::NetworkError error, bool hasHttpStatus)
{
    if (error == QNetworkReply::NoError)
        return false;
    const bool statusError = (error >= QNetworkReply::ContentAccessDenied
                                 && error <= QNetworkReply::UnknownContentError)
        || (error >= QNetworkReply::InternalServerError
            && error <= QNetworkReply::UnknownServerError);
    return !(statusError && hasHttpStatus);
}

namespace {

QString formatMiB(std::int64_t bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'g', 4);
}

} // namespace

void guard(QNetworkReply *reply, const Limits &config)
{
    auto abortWith = [reply](const QString &reason) {
        if (reply->isFinished())
            return;
        reply->setProperty(abortReasonProperty, reason);
        reply->abort();
    };

    auto *idle = new QTimer(reply);
    idle->setSingleShot(true);
    idle->setInterval(config.idleTimeout);
    QObject::connect(idle, &QTimer::timeout, reply, [abortWith, config] {
        abortWith(QStringLiteral("Timed out: nothing received for %1 ms")
                      .arg(config.idleTimeout.count()));
    });
    idle->start();

    auto *deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    deadline->setInterval(config.transferTimeout);
    QObject::connect(deadline, &QTimer::timeout, reply, [abortWith, config] {
        abortWith(QStringLiteral("Timed out: the transfer took longer than %1 ms")
                      .arg(config.transferTimeout.count()));
    });
    deadline->start();

    const std::int64_t cap = config.maxBodyBytes;
    const QString tooLarge
        = QStringLiteral("Response larger than the %1 MiB limit").arg(formatMiB(cap));
    QObject::connect(
        reply, &QNetworkReply::metaDataChanged, reply, [reply, idle, abortWith, cap, tooLarge] {
            idle->start();
            const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            if (length.isValid() && length.toLongLong() > cap)
                abortWith(tooLarge);
        });
    // readyRead, not downloadProgress: progress signals are rate-limited and can
    // miss data that arrives in quick bursts.
    QObject::connect(
        reply, &QNetworkReply::readyRead, reply, [reply, idle, abortWith, cap, tooLarge] {
            idle->start();
            if (reply->bytesAvailable() > cap)
                abortWith(tooLarge);
        });
}

} // namespace ReplyGuard
