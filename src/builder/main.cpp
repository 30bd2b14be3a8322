// quillet-feed: builds Quillet's feed document from Crossref (see --help).
#include "builder/command_line.h"
#include "builder/feed_build.h"
#include "builder/output_line.h"
#include "builder/source_check.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"quillet-feed"_qs);
    QTextStream err(stderr);
    const CommandLine line = CommandLine::parse(QCoreApplication::arguments());
    switch (line.action) {
    case CommandLine::Action::Help:
        QTextStream(stdout) << line.help;
        return 0;
    case CommandLine::Action::Error:
        writeLine(err, u"quillet-feed: "_qs + line.error);
        return FeedBuild::UsageError;
    case CommandLine::Action::Check: {
        const SourcesResult sources = readSources(line.options.sourcesPath);
        if (!sources.error.isEmpty()) {
            writeLine(err, u"quillet-feed: "_qs + sources.error);
            return FeedBuild::UsageError;
        }
        QTextStream out(stdout);
        SourceCheck check(sources.sources, line.options.api, line.options.client, out);
        check.onFinished = [](int code) { QCoreApplication::exit(code); };
        check.start();
        return QCoreApplication::exec();
    }
    case CommandLine::Action::Build:
        break;
    }
    FeedBuild build(line.options, err);
    build.onFinished = [](int code) { QCoreApplication::exit(code); };
    build.start();
    return QCoreApplication::exec();
}
