#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>

// Whole-file reads and writes for tests that lay out or inspect files on disk.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Creates the folder as well; a test that cannot lay out its input stops there.
inline void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!QDir().mkpath(QFileInfo(path).path()) || !file.open(QIODevice::WriteOnly)
        || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}
