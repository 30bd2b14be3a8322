#pragma once

#include "core/paper.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Makes the feed document, exactly as Quillet decodes it, and writes it together
// with the builder's state.
namespace FeedWriter {

enum class Outcome { Written, Unchanged, Failed };

struct Result
{
    Outcome outcome = Outcome::Failed;
    QString error;
};

struct Document
{
    QByteArray bytes; // empty when the check failed
    qsizetype papers = 0; // how many of those given it holds
    QString error;
};

// The paper with its title and authors cut as Quillet cuts the text it shows:
// longer ones could never be read in a menu.

// The document, one paper a line so a host's diffs stay readable, checked with
// the program's own decoder. Papers are left out from the end (the oldest) while
// it would be larger than `maxBytes`, so Quillet never refuses it.
Document document(const QList<Paper> &papers, qint64 maxBytes = maxDocumentBytes);
// Writes the document to `path`, unless the file already holds exactly these
// bytes, and then the state to `statePath`, each atomically. Both are written out
// in full before either replaces its file, so a full disk leaves both as they
// were; the state goes last, so it moves on only once the document is in place.
Result write(const QString &path, const QByteArray &document, const QString &statePath,
    const QByteArray &state);
// Whether a file can be written at `path` (its folder exists and is writable).
bool canWrite(const QString &path, QString *error);

} // namespace FeedWriter
