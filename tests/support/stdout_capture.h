#pragma once

#include <QByteArray>
#include <QStringList>
#include <QTemporaryFile>

// Redirects the process's standard output (file descriptor 1) into a temporary
// file for the capture's lifetime, so tests can read the program's log lines.
// Lines that are not the program's own (e.g. the test runner's failure
// messages) are echoed to the real output when the capture ends.
class StdoutCapture
{
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture &) = delete;
    StdoutCapture &operator=(const StdoutCapture &) = delete;

    QByteArray bytes() const;
    // Complete lines written so far, without their newlines.
    QStringList lines() const;
    // Complete lines that start with `prefix`.
    QStringList linesStartingWith(const QString &prefix) const;

private:
    QTemporaryFile m_file;
    int m_savedStdout = -1;
};
