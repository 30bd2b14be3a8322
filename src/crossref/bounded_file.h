#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Whole-file reads of the files the builder is pointed at. A device, a pipe or a
// folder given by mistake fails with one line instead of blocking or filling memory.
namespace BoundedFile {

struct Read
{
    std::optional<QByteArray> bytes;
    QString error; // one line naming the path, when !bytes
};

// An error when `path` exists and is not a regular file (a symbolic link to
// one is fine); empty otherwise.
QString notRegular(const QString &path);
// The file's bytes, refused past `maxBytes`.
Read read(const QString &path, qint64 maxBytes);

} // namespace BoundedFile
