#pragma once

#include "builder/feed_build.h"

#include <QString>
#include <QStringList>

// The builder's command line.
struct CommandLine
{
    enum class Action { Build, Check, Help, Error };

    Action action = Action::Error;
    FeedBuild::Options options;
    QString error; // one line, for Action::Error
    QString help; // the usage text, for Action::Help

    // `arguments` as from QCoreApplication::arguments(), program name first.
    static CommandLine parse(const QStringList &arguments);
};
