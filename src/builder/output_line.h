#pragma once

#include "core/diagnostics.h"

#include <QString>
#include <QTextStream>

// One line of the builder's output. Labels, server replies and paths come from
// outside: escaped as the program's diagnostics are, so a line stays one line
// and nothing in it reaches a terminal as a control sequence.
inline void writeLine(QTextStream &out, const QString &line)
{
    out << Diagnostics::escaped(line) << Qt::endl;
}
