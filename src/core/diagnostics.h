#pragma once

#include <QStringView>

namespace Diagnostics {

// Writes "[Quillet] " + text + "\n" to standard output as UTF-8 in one write,
// flushed at once. Safe to call from any thread: lines never interleave.
void log(QStringView text);

} // namespace Diagnostics
