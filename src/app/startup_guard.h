#pragma once

#include <QString>

class QLockFile;

// Checks made at the top of main, before the application object exists: the
// environment a launcher hands over can break the program before Qt would say why.
namespace StartupGuard {

// Opens /dev/null on whichever of descriptors 0-2 is closed. Otherwise the
// first file or socket opened takes its number, and a log line written to
// "standard output" lands in, say, the X protocol stream.
void reopenClosedStandardStreams();

struct Display
{
    QString name; // which display the strip will be on, e.g. "x11:0"; empty when none answers
    QString problem; // why none answers: the text for the line that says so
};

// The display the platform Qt is about to load (QT_QPA_PLATFORM, else the
// default with Qt's Wayland preference) would show the strip on. Platforms that
// need no display server (offscreen, for tests) count as their own display.
Display findDisplay();

// Between these two calls (around the application object's construction), a
// fatal message from Qt, which there means the platform plugin is missing or
// cannot start, ends the program with status 1 and one line saying so, instead
// of an abort.
void reportUnusablePlatform();
void endPlatformReport();

// Takes the lock that allows one strip per user and display, kept in the
// user's runtime folder. Only a lock whose owner is alive on this host counts:
// one left by a process that is gone, emptied, unreadable or written on another
// host is taken over. False only when a running Quillet holds it; when no lock
// can be made at all, starting is not refused.
bool claimDisplay(QLockFile &lock);
QString lockPath(const Display &display);

} // namespace StartupGuard
