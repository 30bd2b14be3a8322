#include "core/diagnostics.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdio>

namespace Diagnostics {

namespace {
constexpr char Hex[] = "0123456789ABCDEF";

// Marks, embeddings, overrides and isolates: they can make a line read backwards.
bool isBidiControl(char16_t u)
{
    return u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E)
        || (u >= 0x2066 && u <= 0x2069);
}
} // namespace

QString escaped(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\')
            out += QLatin1String("\\\\");
        else if (u == u'\n')
            out += QLatin1String("\\n");
        else if (u == u'\r')
            out += QLatin1String("\\r");
        else if (u == u'\t')
            out += QLatin1String("\\t");
        else if (u < 0x20 || (u >= 0x7F && u <= 0x9F)) {
            out += QLatin1String("\\x");
            out += QLatin1Char(Hex[u >> 4]);
            out += QLatin1Char(Hex[u & 0xF]);
        } else if (u == 0x2028 || u == 0x2029 || isBidiControl(u)) {
            out += QLatin1String("\\u");
            for (int shift = 12; shift >= 0; shift -= 4)
                out += QLatin1Char(Hex[(u >> shift) & 0xF]);
        } else
            out += c;
    }
    return out;
}

void log(QStringView text)
{
    QByteArray line = QByteArrayLiteral("[Quillet] ");
    line += escaped(text).toUtf8();
    line += '\n';
    // The whole line and its flush under one stream lock: a single write(2) that
    // no other thread's line can split or join.
#ifdef Q_OS_UNIX
    flockfile(stdout);
#endif
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
#ifdef Q_OS_UNIX
    funlockfile(stdout);
#endif
}

} // namespace Diagnostics
