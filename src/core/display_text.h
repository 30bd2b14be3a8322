#pragma once

#include <QString>

// Feed text is untrusted: before it is shown, invisible direction overrides and
// control characters that could disguise or garble it are taken out, and
// absurdly long text is cut. The stored records stay exactly as decoded.
namespace DisplayText {

// Longest text shown, in UTF-16 code units, before it is cut with an ellipsis.
constexpr qsizetype maxLength = 1000;

// Direction embeddings, overrides and isolates (U+202A–U+202E, U+2066–U+2069)
// and the byte order mark are removed; C0 and C1 controls and line or
// paragraph separators become spaces.
QString clean(const QString &text, qsizetype limit = maxLength);

} // namespace DisplayText
