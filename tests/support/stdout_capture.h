#pragma once

#include <QRegularExpression>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

// Redirects standard output (file descriptor 1) into a temporary file for the
// capture's lifetime, so tests can read the program's log lines. Other lines
// (the test runner's own) reach the real output when the capture ends.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        std::fflush(stdout);
        if (!m_file.open())
            qFatal("StdoutCapture: cannot open a temporary file");
        ::dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture()
    {
        std::fflush(stdout);
        ::dup2(m_savedStdout, STDOUT_FILENO);
        ::close(m_savedStdout);
        for (const QString &line : lines())
            if (!line.startsWith(QLatin1String("[Quillet] ")))
                std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
    }

    // Complete lines written so far, without their newlines.
    QStringList lines() const
    {
        std::fflush(stdout);
        QFile file(m_file.fileName());
        const QByteArray all = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const qsizetype end = all.lastIndexOf('\n');
        return end < 0 ? QStringList() : QString::fromUtf8(all.left(end)).split(u'\n');
    }
    QStringList linesStartingWith(const QString &prefix) const
    {
        return lines().filter(QRegularExpression(u'^' + QRegularExpression::escape(prefix)));
    }

private:
    QTemporaryFile m_file;
    const int m_savedStdout = ::dup(STDOUT_FILENO);
};
