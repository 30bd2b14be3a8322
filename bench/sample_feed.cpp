// The invented sample feed the decoding benchmark runs on.
#include "sample_feed.h"

#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

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

} // namespace

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
