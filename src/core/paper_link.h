#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// The feed is untrusted and the menu never shows a paper's link, so a link is
// opened only when it is plainly a web page: http or https, with a host and no
// user information (in "https://papers.example.org@evil.example/" the host is
// evil.example).
namespace PaperLink {

// The URL to open for a paper's link: the link as written, else percent-encoded
// as a browser would. Nothing for an empty link; any other that yields no plain
// web address either way is refused with one diagnostic line.
std::optional<QUrl> resolve(const QString &link);

} // namespace PaperLink
