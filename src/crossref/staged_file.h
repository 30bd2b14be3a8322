#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

// A file's new content written out in full beside it, and put in its place only
// by commit(): until then, and whenever a write fails, the file keeps its old bytes.
class StagedFile
{
public:
    explicit StagedFile(const QString &path) : m_file(path) { }

    // Writes `bytes` to a temporary file beside the target and makes sure they
    // reached the disk; false (with error()) on any failure, a full disk included.
    bool stage(const QByteArray &bytes);
    // Replaces the target with what was staged.
    bool commit();
    QString error() const { return m_error; }

private:
    bool fail();

    QSaveFile m_file;
    QString m_error;
};
