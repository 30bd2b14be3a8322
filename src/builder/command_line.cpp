#include "builder/command_line.h"

#include "crossref/crossref_client.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSslCertificate>

namespace {

const char *const kDescription = R"(Builds Quillet's feed document from Crossref's metadata for the
journals of a sources file: asks for the journal articles first deposited since
the last successful run (less two days), keeps the papers first seen in the last
--days days and writes the feed, atomically and only when it changed.

Exit status: 0 written (or unchanged); 1 written, but some sources failed;
2 usage error (arguments, sources or state file); 3 nothing fetched (or another
run is on), output left alone; 4 could not write the output or state (both are
then left as they were, byte for byte).)";

CommandLine failure(QString error)
{
    CommandLine line;
    line.error = std::move(error);
    return line;
}

} // namespace

CommandLine CommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    const QCommandLineOption help({u"h"_qs, u"help"_qs}, u"Show this help and exit."_qs);
    const QCommandLineOption sources(u"sources"_qs,
        u"The journals to follow (default: the table built into the program, as Quillet's)."_qs,
        u"FILE"_qs, builtInSources());
    const QCommandLineOption state(
        u"state"_qs, u"What earlier runs saw; created if missing."_qs, u"FILE"_qs);
    const QCommandLineOption out(u"out"_qs, u"The feed document to write."_qs, u"FILE"_qs);
    const QCommandLineOption mailto(u"mailto"_qs,
        u"Your e-mail address, sent to Crossref (its polite pool)."_qs, u"ADDRESS"_qs);
    const QCommandLineOption days(u"days"_qs,
        u"Keep papers first seen in the last N days (1-365, default 30)."_qs, u"N"_qs, u"30"_qs);
    const QCommandLineOption api(
        u"api"_qs, u"Crossref's address (default https://api.crossref.org/)."_qs, u"URL"_qs);
    const QCommandLineOption ca(
        u"ca"_qs, u"Extra CA certificates (PEM) to trust for --api."_qs, u"FILE"_qs);
    const QCommandLineOption interval(u"interval"_qs,
        u"Milliseconds between requests (default 1000; lower only with --api)."_qs, u"MS"_qs);
    const QCommandLineOption check(
        u"check"_qs, u"List the labels whose ISSNs answer nothing, and exit."_qs);
    const QCommandLineOption dryRun(
        u"dry-run"_qs, u"Fetch and print the document; write neither it nor the state."_qs);
    parser.addOptions({help, sources, state, out, mailto, days, api, ca, interval, check, dryRun});
    if (!parser.parse(arguments))
        return failure(parser.errorText());
    if (parser.isSet(help)) {
        CommandLine line;
        line.action = Action::Help;
        line.help = parser.helpText();
        return line;
    }
    if (!parser.positionalArguments().isEmpty())
        return failure(
            u"unexpected argument '%1'"_qs.arg(parser.positionalArguments().constFirst()));

    CommandLine line;
    line.action = parser.isSet(check) ? Action::Check : Action::Build;
    FeedBuild::Options &options = line.options;
    const bool building = line.action == Action::Build;
    QStringList required {u"mailto"_qs};
    if (building)
        required << u"state"_qs << u"out"_qs;
    for (const QString &name : std::as_const(required)) {
        if (parser.value(name).isEmpty())
            return failure(u"--%1 is required (see --help)"_qs.arg(name));
    }
    options.sourcesPath = parser.value(sources);
    options.statePath = parser.value(state);
    options.outPath = parser.value(out);
    options.dryRun = parser.isSet(dryRun);
    options.client.mailto = parser.value(mailto);
    if (!CrossrefClient::validMailto(options.client.mailto))
        return failure(
            u"--mailto needs an e-mail address: one @, no space or control character"_qs);
    bool ok = false;
    options.limits.days = parser.value(days).toInt(&ok);
    if (!ok || options.limits.days < 1 || options.limits.days > 365)
        return failure(
            u"--days must be a whole number from 1 to 365, got '%1'"_qs.arg(parser.value(days)));
    if (parser.isSet(api)) {
        options.api = QUrl(parser.value(api), QUrl::StrictMode);
        if (!options.api.isValid() || options.api.scheme() != u"https"_qs
            || options.api.host().isEmpty())
            return failure(u"--api must be an https:// URL, got '%1'"_qs.arg(parser.value(api)));
        if (!options.api.path().endsWith(u'/'))
            options.api.setPath(options.api.path() + u'/');
    }
    if (parser.isSet(ca)) {
        options.client.extraCaCertificates = QSslCertificate::fromPath(parser.value(ca), QSsl::Pem);
        if (options.client.extraCaCertificates.isEmpty())
            return failure(u"--ca: no PEM certificate in '%1'"_qs.arg(parser.value(ca)));
    }
    if (parser.isSet(interval)) {
        const int ms = parser.value(interval).toInt(&ok);
        // Crossref's own pace is not the user's to speed up; a private mirror's is.
        const int floor = parser.isSet(api) ? 0 : 1000;
        if (!ok || ms < floor || ms > 60000)
            return failure(u"--interval must be from %1 to 60000 ms, got '%2'"_qs.arg(floor).arg(
                parser.value(interval)));
        options.client.interval = std::chrono::milliseconds(ms);
    }
    return line;
}
