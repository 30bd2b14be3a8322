#include "core/diagnostics.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstdio>

namespace Diagnostics {

void log(QStringView text)
{
    QByteArray line = QByteArrayLiteral("[Quillet] ");
    line += text.toUtf8();
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
