#include "support/stdout_capture.h"

#include <QFile>

#include <cstdio>
#include <unistd.h>

StdoutCapture::StdoutCapture()
{
    std::fflush(stdout);
    if (!m_file.open())
        qFatal("StdoutCapture: cannot open a temporary file");
    m_savedStdout = ::dup(STDOUT_FILENO);
    ::dup2(m_file.handle(), STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture()
{
    std::fflush(stdout);
    ::dup2(m_savedStdout, STDOUT_FILENO);
    ::close(m_savedStdout);
    for (const QString &line : lines()) {
        if (!line.startsWith(QLatin1String("[Quillet] ")))
            std::printf("%s\n", qPrintable(line));
    }
    std::fflush(stdout);
}

QByteArray StdoutCapture::bytes() const
{
    std::fflush(stdout);
    QFile file(m_file.fileName());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QStringList StdoutCapture::lines() const
{
    const QByteArray all = bytes();
    const qsizetype end = all.lastIndexOf('\n');
    if (end < 0)
        return {};
    return QString::fromUtf8(all.left(end)).split(u'\n');
}

QStringList StdoutCapture::linesStartingWith(const QString &prefix) const
{
    QStringList matching;
    for (const QString &line : lines())
        if (line.startsWith(prefix))
            matching.append(line);
    return matching;
}
