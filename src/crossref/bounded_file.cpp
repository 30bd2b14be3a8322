#include "crossref/bounded_file.h"

#include <QFile>
#include <QFileInfo>

namespace BoundedFile {

QString notRegular(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isFile() ? path + u": not a regular file"_qs : QString();
}

Read read(const QString &path, qint64 maxBytes)
{
    if (QString error = notRegular(path); !error.isEmpty())
        return {std::nullopt, error};
    const QString tooLarge = path + u": larger than %1 KiB"_qs.arg(maxBytes / 1024);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, path + u": "_qs + file.errorString()};
    if (file.size() > maxBytes)
        return {std::nullopt, tooLarge};
    // Read one byte past the cap: the file may have grown since it was measured.
    QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return {std::nullopt, path + u": "_qs + file.errorString()};
    if (bytes.size() > maxBytes)
        return {std::nullopt, tooLarge};
    return {std::move(bytes), QString()};
}

} // namespace BoundedFile
