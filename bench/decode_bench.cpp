// Throughput of decodePaperResponse against a bare simdjson DOM parse of the
// same bytes. The bare parse is the floor: whatever decode costs beyond it is
// our own code (field lookup, copying the strings, allocation).
//
// Usage: bench_decode [--quick] [--papers N]
//   --quick     fewer, shorter rounds; for smoke runs, not for figures.
//   --papers N  only the feed of N papers (100, 1000 or 100000); keeps a
//               profile focused on one size.

#include "core/paper.h"

#include <QByteArray>
#include <QString>

#include <simdjson.h>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Deterministic sample feed
// ---------------------------------------------------------------------------

// splitmix64: tiny and fully defined, so the same seed gives the same feed
// with any standard library (std::uniform_int_distribution does not).
struct Rng
{
    uint64_t state;

    uint64_t next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Slight modulo bias is irrelevant for sample data.
    size_t below(size_t n) { return size_t(next() % n); }
    template<size_t N> const char *pick(const std::array<const char *, N> &list)
    {
        return list[below(N)];
    }
};

constexpr uint64_t kSeed = 20261103;

// Invented vocabulary. The shortest title makeTitle can build is over 40 code
// points and it never grows one past 160; makeFeed checks both.
constexpr std::array<const char *, 24> kAdjectives {"Dynamic", "Stochastic", "Regional", "Informal",
    "Optimal", "Strategic", "Sticky", "Persistent", "Seasonal", "Latent", "Endogenous",
    "Fragmented", "Shadow", "Frictional", "Local", "Aggregate", "Misallocated", "Durable",
    "Volatile", "Recurrent", "Cooperative", "Lumpy", "Tacit", "Uneven"};
constexpr std::array<const char *, 30> kNouns {"Credit", "Wages", "Tariffs", "Migration", "Savings",
    "Lending", "Markups", "Auctions", "Contracts", "Remittances", "Subsidies", "Pensions",
    "Inflation", "Land Tenure", "Cartels", "Rents", "Liquidity", "Insurance", "Matching",
    "Procurement", "Exports", "Schooling", "Fisheries", "Harvests", "Dividends", "Mortgages",
    "Vouchers", "Guilds", "Ferries", "Tolls"};
constexpr std::array<const char *, 12> kJoins {"and", "under", "with", "without", "across",
    "versus", "in", "after", "before", "beyond", "among", "through"};
constexpr std::array<const char *, 10> kPlacesAscii {"Valdoria", "Kestrel Bay", "Ostmark Flats",
    "Lower Bramholt", "Tessaly Reach", "Quorn Valley", "Marrowick", "Sandpoint Isles", "Ulverhaven",
    "Corvel"};
// Accented, typographic, Greek and CJK pieces; one goes into every fourth title.
constexpr std::array<const char *, 12> kTitleUnicode {"Pécorène", "Müllerstadt", "Brønvik",
    "“Sticky” Prices", "1990–2020", "α-Stable Shocks", "Σ-Bundles", "渭水 Basin", "青柳 Markets",
    "Ærøholm Ports", "Città Nuova", "Łódzkie Mills"};
constexpr std::array<const char *, 6> kTitleTails {": Evidence from", ": A Field Experiment in",
    ": Theory and Evidence from", ": Lessons from", ": Structural Estimates for",
    ": New Data from"};

constexpr std::array<const char *, 16> kGivenAscii {"Amara", "Tobin", "Lisbet", "Oren", "Priya",
    "Calder", "Nadia", "Ivo", "Rosalind", "Teodor", "Wren", "Mateus", "Ines", "Kofi", "Hanne",
    "Sefa"};
constexpr std::array<const char *, 16> kFamilyAscii {"Varnholt", "Quessel", "Dremmon", "Ashgrove",
    "Pellwick", "Marrin", "Okonta", "Strand", "Fenwright", "Holloway", "Tarvin", "Ebbesen",
    "Lindqvar", "Morrow", "Castellan", "Reyne"};
constexpr std::array<const char *, 10> kNamesUnicode {"Élodie Brunvère", "Jürgen Höltzmark",
    "Søren Dalgø", "Zoë Kerwán", "Ørjan Fjeldså", "Θεανώ Παλλά", "李 静怡", "Radosław Węglarz",
    "Agnès Théveny", "Ömer Çakırlı"};

constexpr std::array<const char *, 5> kJournals {"JPE Just Accepted", "AER Forthcoming",
    "JDE in Press", "Econometrica Forthcoming", "JF Early View"};
constexpr std::array<const char *, 3> kTiers {"1", "2", "3"};

// Code points, not bytes, so the 40..160 bound reads the way a person counts.
size_t codePoints(std::string_view s)
{
    return size_t(
        std::count_if(s.begin(), s.end(), [](char c) { return (uint8_t(c) & 0xC0) != 0x80; }));
}

std::string makeTitle(Rng &rng, bool unicode)
{
    // "<Adj> <Noun> <join> <Noun>[ <join> <Adj> <Noun>]...: <tail> <Place>",
    // lengthened in the middle until it reaches a random target length.
    std::string head = rng.pick(kAdjectives);
    head += ' ';
    head += rng.pick(kNouns);
    head += ' ';
    head += rng.pick(kJoins);
    head += ' ';
    head += unicode ? rng.pick(kTitleUnicode) : rng.pick(kNouns);
    std::string tail = rng.pick(kTitleTails);
    tail += ' ';
    tail += rng.pick(kPlacesAscii);

    const size_t target = 40 + rng.below(121);
    while (codePoints(head) + codePoints(tail) < target) {
        std::string piece = " ";
        piece += rng.pick(kJoins);
        piece += ' ';
        piece += rng.pick(kAdjectives);
        piece += ' ';
        piece += rng.pick(kNouns);
        if (codePoints(head) + codePoints(piece) + codePoints(tail) > 160)
            break;
        head += piece;
    }
    return head + tail;
}

std::string makeAuthors(Rng &rng, bool unicode)
{
    const size_t count = 1 + rng.below(4);
    const size_t unicodeSlot = unicode ? rng.below(count) : count;
    std::string out;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            out += (i + 1 == count) ? " and " : ", ";
        if (i == unicodeSlot) {
            out += rng.pick(kNamesUnicode);
        } else {
            out += rng.pick(kGivenAscii);
            out += ' ';
            out += rng.pick(kFamilyAscii);
        }
    }
    return out;
}

QString utf8(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

PaperResponse makeFeed(size_t count)
{
    Rng rng {kSeed + count};
    PaperResponse response;
    response.papers.reserve(qsizetype(count));
    for (size_t i = 0; i < count; ++i) {
        // Exactly one paper in four carries non-ASCII text.
        const bool unicode = (i % 4) == 3;
        const std::string title = makeTitle(rng, unicode);
        if (codePoints(title) < 40 || codePoints(title) > 160) {
            std::fprintf(stderr, "bench_decode: generated title out of range: %s\n", title.c_str());
            std::exit(1);
        }
        const QString link = QStringLiteral("https://example.org/paper/%1").arg(i + 1);
        const QString journal = QString::fromUtf8(rng.pick(kJournals));
        const QString tier = QString::fromUtf8(rng.pick(kTiers));
        const QString authors = utf8(makeAuthors(rng, unicode));
        char date[16];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", int(2024 + rng.below(3)),
            int(1 + rng.below(12)), int(1 + rng.below(28)));
        response.papers.push_back(
            Paper(utf8(title), link, journal, tier, authors, QString::fromLatin1(date)));
    }
    return response;
}

// ---------------------------------------------------------------------------
// Timing
// ---------------------------------------------------------------------------

using Clock = std::chrono::steady_clock;

// Written after every call so the compiler cannot drop the work.
volatile size_t g_sink = 0;

[[noreturn]] void fail(const char *what, size_t papers)
{
    std::fprintf(stderr, "bench_decode: %s (feed of %zu papers)\n", what, papers);
    std::exit(1);
}

// Every call is checked, so a decode that silently fails cannot look fast. The
// result is destroyed inside the timed call: freeing the strings is part of
// what a caller pays for a decoded feed.
void checkResult(const PaperDecodeResult &result, size_t expected)
{
    if (!result.ok())
        fail(qPrintable(QStringLiteral("decode failed: %1").arg(result.error)), expected);
    if (size_t(result.response->papers.size()) != expected)
        fail("decode returned the wrong paper count", expected);
    g_sink = g_sink + size_t(result.response->papers.size());
}

void runDecode(const QByteArray &bytes, size_t expected)
{
    checkResult(decodePaperResponse(bytes), expected);
}

void runRawParse(const QByteArray &bytes, size_t expected)
{
    // Same call shape as the decoder: fresh parser, padded copy made by simdjson.
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (parser.parse(bytes.constData(), size_t(bytes.size())).get(root) != simdjson::SUCCESS)
        fail("raw parse failed", expected);
    g_sink = g_sink + size_t(root.is_object());
}

using Variant = void (*)(const QByteArray &, size_t);

struct Block
{
    size_t iterations;
    double seconds;
    long minorFaults;
};

long minorFaultsSoFar()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// Repeats `fn` until at least `minSeconds` have passed; a clock read per call
// is noise next to even the smallest feed.
Block timeBlock(Variant fn, const QByteArray &bytes, size_t expected, double minSeconds)
{
    // Minor faults are counted because a fresh parser per call can mean fresh
    // pages per call; on big feeds that, not parsing, sets the pace.
    const long faultsBefore = minorFaultsSoFar();
    const auto start = Clock::now();
    Block block {0, 0.0, 0};
    do {
        fn(bytes, expected);
        ++block.iterations;
        block.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    } while (block.seconds < minSeconds);
    block.minorFaults = minorFaultsSoFar() - faultsBefore;
    return block;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t mid = v.size() / 2;
    return v.size() % 2 ? v[mid] : (v[mid - 1] + v[mid]) / 2;
}

struct Contender
{
    const char *name;
    Variant fn;
    std::vector<double> mbps;
    std::vector<size_t> iterations;
    long minorFaults = 0;
    size_t calls = 0;

    double faultsPerCall() const { return double(minorFaults) / double(calls); }
    double medianMbps() const { return median(mbps); }
    size_t fewestIterations() const
    {
        return *std::min_element(iterations.begin(), iterations.end());
    }
};

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
        } else {
            std::fprintf(stderr, "usage: %s [--quick] [--papers N]\n", argv[0]);
            return 2;
        }
    }
    const int rounds = quick ? 3 : 7;
    const double roundSeconds = quick ? 0.02 : 0.2;

    std::printf("rounds=%d, >=%.2f s per contender per round, alternating, median throughput (MB = "
                "1e6 bytes)\n",
        rounds, roundSeconds);
    std::printf("%8s %10s %12s %12s %8s %12s %12s %10s %10s\n", "papers", "bytes", "decode MB/s",
        "raw MB/s", "ratio", "dec it/round", "raw it/round", "dec flt/it", "raw flt/it");

    for (const size_t count : {size_t(100), size_t(1000), size_t(100000)}) {
        if (only != 0 && count != only)
            continue;
        const PaperResponse feed = makeFeed(count);
        const QByteArray bytes = encodePaperResponse(feed);

        // The timed decode must do the real job: check the round trip once in full.
        const PaperDecodeResult check = decodePaperResponse(bytes);
        if (!check.ok() || !(*check.response == feed))
            fail("decoded feed differs from the generated one", count);

        std::vector<Contender> contenders {
            Contender {"decode", runDecode, {}, {}}, Contender {"raw", runRawParse, {}, {}}};
        // Warm-up: first-touch page faults and allocator growth stay out of the rounds.
        for (Contender &c : contenders)
            timeBlock(c.fn, bytes, count, roundSeconds / 4);

        for (int round = 0; round < rounds; ++round) {
            // Rotate who goes first each round so drift (thermal, other load)
            // lands on every contender equally.
            for (size_t k = 0; k < contenders.size(); ++k) {
                Contender &c = contenders[(k + size_t(round)) % contenders.size()];
                const Block b = timeBlock(c.fn, bytes, count, roundSeconds);
                c.mbps.push_back(double(bytes.size()) * double(b.iterations) / b.seconds / 1e6);
                c.iterations.push_back(b.iterations);
                c.minorFaults += b.minorFaults;
                c.calls += b.iterations;
            }
        }

        const double decode = contenders[0].medianMbps();
        const double raw = contenders[1].medianMbps();
        // Ratio of the medians: decode throughput over raw parse throughput.
        std::printf("%8zu %10lld %12.1f %12.1f %8.3f %12zu %12zu %10.1f %10.1f\n", count,
            static_cast<long long>(bytes.size()), decode, raw, decode / raw,
            contenders[0].fewestIterations(), contenders[1].fewestIterations(),
            contenders[0].faultsPerCall(), contenders[1].faultsPerCall());
        std::fflush(stdout);
    }

    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    // Linux reports ru_maxrss in KiB.
    std::printf("peak RSS: %.1f MiB\n", double(usage.ru_maxrss) / 1024.0);
    return 0;
}
