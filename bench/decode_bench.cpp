// Decoding throughput as the program decodes: decodePaperBody, which is handed
// the reply's buffer and parses it in place, against a bare simdjson parse of
// the same bytes in place with a parser that keeps its buffers (the floor:
// whatever decoding costs beyond it is our own code). The copying entry point,
// decodePaperResponse, is timed beside them.
//
// Warm: rounds in one process, the steady state. Cold: the first decode in a
// fresh process (this program run again on the feed written to a file), as
// the program's first decode after launch is; medians over several processes.
//
// Usage: bench_decode [--quick] [--papers N]
//   --quick     fewer, shorter rounds; for smoke runs, not for figures.
//   --papers N  only the feed of N papers (100, 1000 or 100000).
//        bench_decode --cold body|raw FILE   (one cold call; used by the above)

#include "sample_feed.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryFile>

#include <simdjson.h>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Written after every call so the compiler cannot drop the work.
volatile size_t g_sink = 0;

[[noreturn]] void fail(const char *what, size_t papers)
{
    std::fprintf(stderr, "bench_decode: %s (feed of %zu papers)\n", what, papers);
    std::exit(1);
}

long minorFaultsSoFar()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// Every call is checked, so a decode that silently fails cannot look fast. The
// result is destroyed inside the timed call: freeing it is part of its cost.
void check(const PaperDecodeResult &result, size_t expected)
{
    if (!result.ok())
        fail(qPrintable(QStringLiteral("decode failed: %1").arg(result.error)), expected);
    if (size_t(result.response->papers.size()) != expected)
        fail("decode returned the wrong paper count", expected);
    g_sink = g_sink + size_t(result.response->papers.size());
}

// A reply's buffer of its own, as the network hands it over (not timed).
// QIODevice::readAll on a sequential device leaves room past the end (measured
// on Qt 6.4: 524 272 bytes of capacity for a 270 950-byte read); a little of it
// is enough for the decoder's padding.
QByteArray replyBuffer(const QByteArray &bytes)
{
    QByteArray body;
    body.reserve(bytes.size() + 4096);
    body.append(bytes);
    return body;
}

simdjson::dom::parser &rawParser()
{
    static simdjson::dom::parser parser;
    return parser;
}

// One call of `kind` on `bytes` (`padded` holds them followed by zeroed
// padding); nanoseconds, and the page faults in `faults`, preparation excluded.
qint64 timedCall(
    char kind, const QByteArray &bytes, const QByteArray &padded, size_t expected, long &faults)
{
    QByteArray body = kind == 'b' ? replyBuffer(bytes) : QByteArray();
    const long faultsBefore = minorFaultsSoFar();
    const auto start = Clock::now();
    if (kind == 'b') {
        check(decodePaperBody(std::move(body)), expected);
    } else if (kind == 'c') {
        check(decodePaperResponse(bytes), expected);
    } else {
        simdjson::dom::element root;
        if (rawParser().parse(padded.constData(), size_t(bytes.size()), false).get(root))
            fail("raw parse failed", expected);
        g_sink = g_sink + size_t(root.is_object());
    }
    const auto ns = std::chrono::nanoseconds(Clock::now() - start).count();
    faults += minorFaultsSoFar() - faultsBefore;
    return ns;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t mid = v.size() / 2;
    return v.size() % 2 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
}

struct Contender
{
    char kind;
    std::vector<double> mbps;
    long faults = 0;
    size_t calls = 0;
};

QByteArray paddedCopy(const QByteArray &bytes)
{
    QByteArray padded = bytes;
    padded.append(QByteArray(qsizetype(simdjson::SIMDJSON_PADDING), '\0'));
    return padded;
}

constexpr int kAloneCalls = 30;

// In this fresh process: the feed read from a file, one cold call, then the
// steady state of this contender alone (the median of the next calls).
int coldCall(char kind, const char *path, size_t expected)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly))
        return 2;
    const QByteArray bytes = file.readAll();
    const QByteArray padded = kind == 'r' ? paddedCopy(bytes) : QByteArray();
    long faults = 0;
    const qint64 ns = timedCall(kind, bytes, padded, expected, faults);
    long aloneFaults = 0;
    std::vector<double> alone;
    for (int i = 0; i < kAloneCalls; ++i)
        alone.push_back(double(timedCall(kind, bytes, padded, expected, aloneFaults)));
    std::printf("%lld %ld %.0f %.1f\n", static_cast<long long>(ns), faults, median(alone),
        double(aloneFaults) / kAloneCalls);
    return 0;
}

// Runs `kind` until `seconds` have passed; adds its throughput and faults.
void timeBlock(Contender &c, const QByteArray &bytes, const QByteArray &padded, size_t expected,
    double seconds, bool record)
{
    long faults = 0;
    const auto start = Clock::now();
    qint64 ns = 0;
    size_t calls = 0;
    do {
        ns += timedCall(c.kind, bytes, padded, expected, faults);
        ++calls;
    } while (std::chrono::duration<double>(Clock::now() - start).count() < seconds);
    if (!record)
        return;
    c.mbps.push_back(double(bytes.size()) * double(calls) / (double(ns) / 1e9) / 1e6);
    c.faults += faults;
    c.calls += calls;
}

// Medians over `runs` fresh processes of: one cold call's nanoseconds and
// faults, and the steady state's nanoseconds and faults per call.
std::array<double, 4> cold(const char *self, char kind, const QString &path, size_t count, int runs)
{
    std::array<std::vector<double>, 4> figures;
    for (int i = 0; i < runs; ++i) {
        QProcess child;
        child.start(QString::fromLocal8Bit(self),
            {QStringLiteral("--cold"), QString(QChar::fromLatin1(kind)), path,
                QString::number(count)});
        if (!child.waitForFinished(60000) || child.exitCode() != 0)
            fail("a cold run failed", count);
        const QList<QByteArray> cells = child.readAllStandardOutput().simplified().split(' ');
        if (cells.size() != 4)
            fail("a cold run printed no figures", count);
        for (size_t k = 0; k < figures.size(); ++k)
            figures[k].push_back(cells[qsizetype(k)].toDouble());
    }
    return {median(figures[0]), median(figures[1]), median(figures[2]), median(figures[3])};
}

} // namespace

int main(int argc, char **argv)
{
    bool quick = false;
    size_t only = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strcmp(argv[i], "--papers") == 0 && i + 1 < argc) {
            only = size_t(std::strtoull(argv[++i], nullptr, 10));
        } else if (std::strcmp(argv[i], "--cold") == 0 && i + 3 < argc) {
            return coldCall(
                argv[i + 1][0], argv[i + 2], size_t(std::strtoull(argv[i + 3], nullptr, 10)));
        } else {
            std::fprintf(stderr, "usage: %s [--quick] [--papers N]\n", argv[0]);
            return 2;
        }
    }
    const int rounds = quick ? 3 : 7;
    const double roundSeconds = quick ? 0.02 : 0.2;
    const int coldRuns = quick ? 3 : 7;

    std::printf("warm: rounds=%d, >=%.2f s per contender per round, alternating, median "
                "throughput (MB = 1e6 bytes); in place: decodePaperBody, copying: "
                "decodePaperResponse, raw: simdjson in place\n",
        rounds, roundSeconds);
    std::printf("%8s %10s %12s %12s %8s %12s %8s %10s %10s\n", "papers", "bytes", "in-place MB/s",
        "raw MB/s", "ratio", "copying MB/s", "ratio", "dec flt/it", "raw flt/it");
    std::vector<std::pair<size_t, double>> warmNs; // per size: in-place ns per call
    std::vector<std::pair<size_t, QByteArray>> feeds;
    for (const size_t count : {size_t(100), size_t(1000), size_t(100000)}) {
        if (only != 0 && count != only)
            continue;
        const PaperResponse feed = makeFeed(count);
        const QByteArray bytes = encodePaperResponse(feed);
        const QByteArray padded = paddedCopy(bytes);
        // The timed decode must do the real job: check the round trip once in full.
        const PaperDecodeResult result = decodePaperBody(replyBuffer(bytes));
        if (!result.ok() || !(*result.response == feed))
            fail("decoded feed differs from the generated one", count);

        std::vector<Contender> contenders {{'b', {}}, {'r', {}}, {'c', {}}};
        for (Contender &c : contenders)
            timeBlock(c, bytes, padded, count, roundSeconds / 4, false);
        for (int round = 0; round < rounds; ++round) {
            // Rotate who goes first so drift and other load hit every contender alike.
            for (size_t k = 0; k < contenders.size(); ++k)
                timeBlock(contenders[(k + size_t(round)) % contenders.size()], bytes, padded, count,
                    roundSeconds, true);
        }
        const double body = median(contenders[0].mbps), raw = median(contenders[1].mbps),
                     copying = median(contenders[2].mbps);
        std::printf("%8zu %10lld %12.1f %12.1f %8.3f %12.1f %8.3f %10.1f %10.1f\n", count,
            static_cast<long long>(bytes.size()), body, raw, body / raw, copying, copying / raw,
            double(contenders[0].faults) / double(contenders[0].calls),
            double(contenders[1].faults) / double(contenders[1].calls));
        std::fflush(stdout);
        warmNs.emplace_back(count, double(bytes.size()) / body * 1e3);
        if (count <= 1000)
            feeds.emplace_back(count, bytes);
    }

    std::printf("\ncold: the first call in a fresh process; alone: the next %d calls there "
                "(median); medians of %d processes each\n",
        kAloneCalls, coldRuns);
    std::printf("%5s %8s %12s %10s %8s %10s %10s %14s\n", "", "papers", "in-place us", "raw us",
        "ratio", "dec flt", "raw flt", "cold/warm dec");
    for (const auto &[count, bytes] : feeds) {
        QTemporaryFile file;
        if (!file.open() || file.write(bytes) != bytes.size() || !file.flush())
            fail("cannot write the feed for the cold runs", count);
        const auto body = cold(argv[0], 'b', file.fileName(), count, coldRuns);
        const auto raw = cold(argv[0], 'r', file.fileName(), count, coldRuns);
        double warm = 0;
        for (const auto &[size, ns] : warmNs)
            warm = size == count ? ns : warm;
        std::printf("%5s %8zu %12.1f %10.1f %8.3f %10.0f %10.0f %14.2f\n", "cold", count,
            body[0] / 1e3, raw[0] / 1e3, raw[0] / body[0], body[1], raw[1], body[0] / warm);
        std::printf("%5s %8zu %12.1f %10.1f %8.3f %10.1f %10.1f\n", "alone", count, body[2] / 1e3,
            raw[2] / 1e3, raw[2] / body[2], body[3], raw[3]);
    }

    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    // Linux reports ru_maxrss in KiB.
    std::printf("peak RSS: %.1f MiB\n", double(usage.ru_maxrss) / 1024.0);
    return 0;
}
