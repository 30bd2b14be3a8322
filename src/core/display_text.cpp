#include "core/display_text.h"

#include <algorithm>

namespace DisplayText {
namespace {

enum class Action { Keep, Drop, Space };

Action actionFor(char16_t c)
{
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029)
        return Action::Space;
    if ((c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF)
        return Action::Drop;
    return Action::Keep;
}

} // namespace

QString clean(const QString &text, qsizetype limit)
{
    bool plain = text.size() <= limit;
    for (qsizetype i = 0; plain && i < text.size(); ++i)
        plain = actionFor(text[i].unicode()) == Action::Keep;
    if (plain)
        return text; // the common case: shared, not copied

    QString out;
    out.reserve(std::min(text.size(), limit + 1));
    for (const QChar c : text) {
        if (out.size() >= limit) {
            // Never split a surrogate pair.
            if (out.back().isHighSurrogate())
                out.chop(1);
            out.append(QChar(0x2026));
            break;
        }
        switch (actionFor(c.unicode())) {
        case Action::Keep:
            out.append(c);
            break;
        case Action::Space:
            out.append(u' ');
            break;
        case Action::Drop:
            break;
        }
    }
    return out;
}

} // namespace DisplayText
