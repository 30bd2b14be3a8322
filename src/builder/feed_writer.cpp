#include "builder/feed_writer.h"

#include "crossref/bounded_file.h"
#include "crossref/staged_file.h"

#include <QFile>
#include <QFileInfo>

namespace {

constexpr QByteArrayView kOpen = "{\"papers\": [";

QByteArray join(const QList<QByteArray> &encoded)
{
    QByteArray out(kOpen.toByteArray());
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        out += encoded[i];
    }
    out += encoded.isEmpty() ? "]}\n" : "\n]}\n";
    return out;
}

bool holds(const QString &path, const QByteArray &bytes)
{
    QFile current(path);
    return current.open(QIODevice::ReadOnly) && current.size() == bytes.size()
        && current.readAll() == bytes;
}

} // namespace

FeedWriter::Document FeedWriter::document(const QList<Paper> &papers, qint64 maxBytes)
{
    // The opening, the closing and each paper's line break and comma.
    qint64 size = kOpen.size() + 4;
    QList<QByteArray> encoded;
    for (const Paper &paper : papers) {
        QByteArray line = encodePaper(paper);
        size += line.size() + 2;
        if (size > maxBytes)
            break;
        encoded.append(std::move(line));
    }
    Document result {join(encoded), encoded.size(), {}};
    const PaperDecodeResult check = decodePaperResponse(result.bytes);
    if (!check.ok())
        result.error = u"the document fails Quillet's decoder: "_qs + check.error;
    else if (check.response->papers != papers.first(encoded.size()))
        result.error = u"the document does not decode to the papers written"_qs;
    if (!result.error.isEmpty())
        result.bytes.clear();
    return result;
}

FeedWriter::Result FeedWriter::write(const QString &path, const QByteArray &document,
    const QString &statePath, const QByteArray &state)
{
    const bool unchanged = holds(path, document);
    StagedFile out(path), stateFile(statePath);
    if (!unchanged && !out.stage(document))
        return {Outcome::Failed, out.error()};
    if (!stateFile.stage(state))
        return {Outcome::Failed, stateFile.error()};
    if (!unchanged && !out.commit())
        return {Outcome::Failed, out.error()};
    if (!stateFile.commit())
        return {Outcome::Failed,
            stateFile.error() + (unchanged ? QString() : u"; %1 was written"_qs.arg(path))};
    return {unchanged ? Outcome::Unchanged : Outcome::Written, {}};
}

bool FeedWriter::canWrite(const QString &path, QString *error)
{
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    if (info.isDir())
        *error = path + u": is a folder"_qs;
    else if (const QString odd = BoundedFile::notRegular(path); !odd.isEmpty())
        *error = odd;
    else if (!folder.isDir())
        *error = path + u": folder "_qs + folder.filePath() + u" does not exist"_qs;
    else if (!folder.isWritable())
        *error = path + u": folder "_qs + folder.filePath() + u" is not writable"_qs;
    else
        return true;
    return false;
}
