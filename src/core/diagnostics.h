#pragma once

#include <QString>
#include <QStringView>

namespace Diagnostics {

// Writes "[Quillet] " + escaped(text) + "\n" to standard output as UTF-8 in one
// write, flushed at once. Safe to call from any thread: lines never interleave.
// Links, titles and error texts come from outside: escaping the whole line keeps
// one event on one line and leaves nothing for a terminal to interpret.
void log(QStringView text);

// Control characters (C0, DEL, C1), line or paragraph separators and
// bidirectional controls written as visible escapes (\n, \r, \t, \xHH, \uHHHH),
// and a backslash as \\, so an escape in the text cannot pass for one made here.
QString escaped(QStringView text);

} // namespace Diagnostics
