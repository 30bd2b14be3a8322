#include "crossref/markup_text.h"

#include <QHash>
#include <QSet>

namespace {

// Elements whose text is kept: face markup, JATS inline elements and MathML.
// A namespace prefix (mml:, jats:) is ignored.
const QSet<QString> &knownElements()
{
    static const QSet<QString> names {u"i"_qs, u"b"_qs, u"u"_qs, u"em"_qs, u"strong"_qs, u"sub"_qs,
        u"sup"_qs, u"sc"_qs, u"scp"_qs, u"span"_qs, u"font"_qs, u"small"_qs, u"tt"_qs, u"italic"_qs,
        u"bold"_qs, u"roman"_qs, u"monospace"_qs, u"underline"_qs, u"overline"_qs,
        u"inline-formula"_qs, u"disp-formula"_qs, u"styled-content"_qs, u"named-content"_qs,
        u"title"_qs, u"p"_qs, u"br"_qs, u"a"_qs, u"math"_qs, u"mi"_qs, u"mo"_qs, u"mn"_qs, u"ms"_qs,
        u"mtext"_qs, u"mrow"_qs, u"msub"_qs, u"msup"_qs, u"msubsup"_qs, u"mfrac"_qs, u"msqrt"_qs,
        u"mroot"_qs, u"mstyle"_qs, u"mover"_qs, u"munder"_qs, u"munderover"_qs, u"mspace"_qs,
        u"mfenced"_qs, u"mpadded"_qs, u"mphantom"_qs, u"mtable"_qs, u"mtr"_qs, u"mtd"_qs,
        u"menclose"_qs, u"mmultiscripts"_qs, u"mprescripts"_qs, u"none"_qs, u"semantics"_qs,
        u"annotation"_qs, u"annotation-xml"_qs, u"tex-math"_qs, u"alternatives"_qs, u"subtitle"_qs};
    return names;
}

// Elements whose content repeats the formula in another notation: dropped whole.
bool isAlternative(const QString &name)
{
    return name == u"annotation"_qs || name == u"annotation-xml"_qs || name == u"tex-math"_qs;
}

// Elements that separate words.
bool isBreak(const QString &name)
{
    return name == u"br"_qs || name == u"p"_qs || name == u"title"_qs;
}

// Formulas: set apart from a word they are glued to.
bool isFormula(const QString &name)
{
    return name == u"math"_qs || name == u"inline-formula"_qs || name == u"disp-formula"_qs;
}

struct Tag
{
    QString name; // lower case, without prefix
    bool closing = false;
    qsizetype end = -1; // index just past '>'
};

// The tag that starts at `at` (a '<'), if it is one of the known elements.
std::optional<Tag> tagAt(const QString &text, qsizetype at)
{
    qsizetype i = at + 1;
    Tag tag;
    if (i < text.size() && text[i] == u'/') {
        tag.closing = true;
        ++i;
    }
    const qsizetype nameStart = i;
    while (i < text.size()
        && (text[i].isLetterOrNumber() || text[i] == u':' || text[i] == u'-' || text[i] == u'_'))
        ++i;
    if (i == nameStart || i >= text.size())
        return std::nullopt;
    QString name = text.sliced(nameStart, i - nameStart).toLower();
    name = name.sliced(name.lastIndexOf(u':') + 1);
    if (!knownElements().contains(name)
        || !(text[i].isSpace() || text[i] == u'>' || text[i] == u'/'))
        return std::nullopt;
    // Attributes up to the closing '>'; quoted values may hold '>'.
    QChar quote;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'<') {
            return std::nullopt;
        } else if (c == u'>') {
            tag.name = name;
            tag.end = i + 1;
            return tag;
        }
    }
    return std::nullopt;
}

} // namespace

QString plainText(const QString &raw)
{
    // Some publishers deposit their markup escaped (&lt;i&gt;): decoded first, it
    // is markup like any other. Decoding is one pass, so "&amp;lt;" stays "&lt;".
    const QString markup = decodeEntities(raw);
    QString out;
    out.reserve(markup.size());
    int dropping = 0; // depth inside elements whose content is dropped
    bool apart = false; // a formula starts or ended here: a word beside it gets a space
    // Where each open <mmultiscripts> began in `out`, and where its prescripts did.
    QList<std::pair<qsizetype, qsizetype>> scripts;
    for (qsizetype i = 0; i < markup.size();) {
        if (markup[i] == u'<' && markup.sliced(i).startsWith(u"<!--"_qs)) {
            const qsizetype end = markup.indexOf(u"-->"_qs, i + 4);
            if (end >= 0) {
                i = end + 3;
                continue;
            }
        }
        const std::optional<Tag> tag = markup[i] == u'<' ? tagAt(markup, i) : std::nullopt;
        if (!tag) {
            if (dropping == 0) {
                if (apart && markup[i].isLetterOrNumber() && !out.isEmpty()
                    && out.back().isLetterOrNumber())
                    out += u' ';
                apart = false;
                out += markup[i];
            }
            ++i;
            continue;
        }
        const bool selfClosing = markup[tag->end - 2] == u'/';
        if (isAlternative(tag->name) && !selfClosing)
            dropping = std::max(0, dropping + (tag->closing ? -1 : 1));
        if (isBreak(tag->name))
            out += u' ';
        if (isFormula(tag->name))
            apart = true;
        if (tag->name == u"subtitle"_qs && !tag->closing) {
            while (!out.isEmpty() && out.back().isSpace())
                out.chop(1);
            if (!out.isEmpty())
                out += out.back() == u':' ? u" "_qs : u": "_qs;
        }
        // A nuclide reads 153Tb: prescripts go before their base.
        if (tag->name == u"mmultiscripts"_qs && !selfClosing) {
            if (!tag->closing) {
                scripts.append({out.size(), -1});
            } else if (!scripts.isEmpty()) {
                auto [base, pre] = scripts.takeLast();
                if (pre > out.size())
                    pre = -1; // the text shrank under it: leave the order alone
                while (pre >= 0 && base < pre && out[base].isSpace())
                    ++base; // the space before the formula stays before it
                if (pre >= 0 && base <= pre)
                    out = out.left(base) + out.sliced(pre) + out.sliced(base, pre - base);
            }
        } else if (tag->name == u"mprescripts"_qs && !scripts.isEmpty()) {
            scripts.back().second = out.size();
        }
        i = tag->end;
    }
    return out.simplified();
}

QString decodeEntities(const QString &text)
{
    static const QHash<QString, QString> named {{u"amp"_qs, u"&"_qs}, {u"lt"_qs, u"<"_qs},
        {u"gt"_qs, u">"_qs}, {u"quot"_qs, u"\""_qs}, {u"apos"_qs, u"'"_qs},
        {u"nbsp"_qs, u"\u00a0"_qs}, {u"ndash"_qs, u"\u2013"_qs}, {u"mdash"_qs, u"\u2014"_qs},
        {u"lsquo"_qs, u"\u2018"_qs}, {u"rsquo"_qs, u"\u2019"_qs}, {u"ldquo"_qs, u"\u201c"_qs},
        {u"rdquo"_qs, u"\u201d"_qs}, {u"hellip"_qs, u"\u2026"_qs}, {u"minus"_qs, u"\u2212"_qs},
        {u"times"_qs, u"\u00d7"_qs}, {u"le"_qs, u"\u2264"_qs}, {u"ge"_qs, u"\u2265"_qs},
        {u"alpha"_qs, u"\u03b1"_qs}, {u"beta"_qs, u"\u03b2"_qs}, {u"eacute"_qs, u"\u00e9"_qs},
        {u"uuml"_qs, u"\u00fc"_qs}, {u"ouml"_qs, u"\u00f6"_qs}, {u"auml"_qs, u"\u00e4"_qs}};
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype semicolon = text[i] == u'&' ? text.indexOf(u';', i + 1) : -1;
        if (semicolon < 0 || semicolon - i > 12) {
            out += text[i];
            continue;
        }
        const QString name = text.sliced(i + 1, semicolon - i - 1);
        QString decoded;
        if (name.startsWith(u'#')) {
            bool ok = false;
            const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
            const uint code = name.sliced(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
            if (ok && code > 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF))
                decoded = QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
        } else {
            decoded = named.value(name);
        }
        if (decoded.isEmpty()) {
            out += text[i];
            continue;
        }
        out += decoded;
        i = semicolon;
    }
    return out;
}
