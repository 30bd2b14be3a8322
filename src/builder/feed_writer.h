#pragma once

#include "core/paper.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Writes the feed document, exactly as Quillet decodes it, and only when it changed.
namespace FeedWriter {

enum class Outcome { Written, Unchanged, Failed };

struct Result
{
    Outcome outcome = Outcome::Failed;
    QString error;
};

// The document: one paper a line, so a host's diffs stay readable.
QByteArray document(const QList<Paper> &papers);
// Checks the document with the program's own decoder, then replaces `path`
// atomically; leaves the file untouched, byte for byte, when it already holds
// the same document.
Result write(const QString &path, const QList<Paper> &papers);
// Whether a file can be written at `path` (its folder exists and is writable).
bool canWrite(const QString &path, QString *error);

} // namespace FeedWriter
