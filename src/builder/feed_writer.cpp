#include "builder/feed_writer.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

QByteArray FeedWriter::document(const QList<Paper> &papers)
{
    QByteArray out("{\"papers\": [");
    for (qsizetype i = 0; i < papers.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        out += encodePaper(papers[i]);
    }
    out += papers.isEmpty() ? "]}\n" : "\n]}\n";
    return out;
}

FeedWriter::Result FeedWriter::write(const QString &path, const QList<Paper> &papers)
{
    const QByteArray bytes = document(papers);
    const PaperDecodeResult check = decodePaperResponse(bytes);
    if (!check.ok())
        return {Outcome::Failed, u"the document fails Quillet's decoder: "_qs + check.error};
    if (check.response->papers != papers)
        return {Outcome::Failed, u"the document does not decode to the papers written"_qs};

    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.size() == bytes.size()
        && current.readAll() == bytes)
        return {Outcome::Unchanged, {}};

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return {Outcome::Failed, path + u": "_qs + file.errorString()};
    return {Outcome::Written, {}};
}

bool FeedWriter::canWrite(const QString &path, QString *error)
{
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    if (info.isDir())
        *error = path + u": is a folder"_qs;
    else if (!folder.isDir())
        *error = path + u": folder "_qs + folder.filePath() + u" does not exist"_qs;
    else if (!folder.isWritable())
        *error = path + u": folder "_qs + folder.filePath() + u" is not writable"_qs;
    else
        return true;
    return false;
}
