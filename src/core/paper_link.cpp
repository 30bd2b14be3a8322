#include "core/paper_link.h"

#include "core/diagnostics.h"

namespace PaperLink {
namespace {

// Characters that may stay unencoded in a query, besides letters and digits.
const QByteArray QueryAllowedExtras = "-._~!$&'()*+,;=:@/?";

bool isPlainWebLink(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return (scheme == u"http" || scheme == u"https") && !url.host().isEmpty()
        && url.userInfo().isEmpty();
}

} // namespace

std::optional<QUrl> resolve(const QString &link)
{
    QUrl url(link, QUrl::StrictMode);
    if (link.isEmpty() || !url.isValid()) {
        // Not a URL as written: try it percent-encoded, as a browser would.
        const QByteArray encoded = QUrl::toPercentEncoding(link, QueryAllowedExtras);
        url = QUrl(QString::fromLatin1(encoded), QUrl::StrictMode);
        if (encoded.isEmpty() || !url.isValid())
            return std::nullopt;
    }
    if (!isPlainWebLink(url)) {
        Diagnostics::log(
            QStringLiteral("Refused to open a link that is not a web address: ") + link);
        return std::nullopt;
    }
    return url;
}

} // namespace PaperLink
