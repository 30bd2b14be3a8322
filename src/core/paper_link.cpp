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
    // A paper without a link is not a refusal: there is nothing to open.
    if (link.isEmpty())
        return std::nullopt;
    QUrl url(link, QUrl::StrictMode);
    if (!url.isValid()) {
        // Not a URL as written: try it percent-encoded, as a browser would.
        url = QUrl(QString::fromLatin1(QUrl::toPercentEncoding(link, QueryAllowedExtras)),
            QUrl::StrictMode);
    }
    // A link that is no URL even encoded ("%40" in a host, a tab inside a
    // scheme) is refused like any other that is not a web page.
    if (!url.isValid() || !isPlainWebLink(url)) {
        Diagnostics::log(
            QStringLiteral("Refused to open a link that is not a web address: ") + link);
        return std::nullopt;
    }
    return url;
}

} // namespace PaperLink
