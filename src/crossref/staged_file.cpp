#include "crossref/staged_file.h"

#include <cerrno>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

bool StagedFile::stage(const QByteArray &bytes)
{
    if (!m_file.open(QIODevice::WriteOnly) || m_file.write(bytes) != bytes.size() || !m_file.flush()
        || m_file.error() != QFileDevice::NoError)
        return fail();
#ifdef Q_OS_UNIX
    // QSaveFile ignores a failed sync; a file system that allocates late reports a
    // full disk only here.
    if (::fsync(m_file.handle()) != 0) {
        m_error = m_file.fileName() + u": "_qs + qt_error_string(errno);
        m_file.cancelWriting();
        return false;
    }
#endif
    return true;
}

bool StagedFile::commit()
{
    return m_file.commit() || fail();
}

bool StagedFile::fail()
{
    m_error = m_file.fileName() + u": "_qs + m_file.errorString();
    m_file.cancelWriting();
    return false;
}
