#include "crossref/sources.h"

#include "crossref/bounded_file.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

namespace {

constexpr int supportedVersion = 1;

SourcesResult failure(const QString &name, const QString &what)
{
    return SourcesResult {{}, name + QStringLiteral(": ") + what};
}

// NNNN-NNNC, where C is the check digit: a mistyped ISSN fails here, not at Crossref.
bool validIssn(const QString &issn)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9]{4}-[0-9]{3}[0-9X]$"));
    if (!pattern.match(issn).hasMatch())
        return false;
    const QString digits = QString(issn).remove(u'-');
    int sum = 0;
    for (int i = 0; i < 7; ++i)
        sum += digits[i].digitValue() * (8 - i);
    const int check = (11 - sum % 11) % 11;
    return digits[7] == (check == 10 ? QChar(u'X') : QChar(char16_t(u'0' + check)));
}

// The ISSNs of a journal as one comparable key.
QString issnKey(QStringList issns)
{
    issns.sort();
    return issns.join(u',');
}

// The first key of `object` not in `known`, if any: a misspelt key must not pass
// for an absent one ("enabeld": false would leave the journal enabled).
std::optional<QString> unknownKey(const QJsonObject &object, const QStringList &known)
{
    for (const QString &key : object.keys()) {
        if (!known.contains(key))
            return u"unknown key \"%1\""_qs.arg(key);
    }
    return std::nullopt;
}

std::optional<QString> readSource(const QJsonObject &object, Source &source)
{
    static const QStringList known {
        u"label"_qs, u"tier"_qs, u"issn"_qs, u"enabled"_qs, u"volume"_qs, u"unconfirmed"_qs};
    if (auto error = unknownKey(object, known))
        return error;
    const QJsonValue label = object.value(u"label"_qs);
    if (!label.isString() || label.toString().isEmpty())
        return u"\"label\" must be a non-empty string"_qs;
    source.label = label.toString();
    const QJsonValue tier = object.value(u"tier"_qs);
    if (!tier.isString())
        return u"\"tier\" must be a string"_qs;
    source.tier = tier.toString();
    const QJsonArray issns = object.value(u"issn"_qs).toArray();
    if (issns.isEmpty())
        return u"\"issn\" must be a non-empty array"_qs;
    for (const QJsonValue &issn : issns) {
        const QString text = issn.toString().toUpper();
        if (!validIssn(text))
            return u"\"issn\": %1 is not an ISSN (NNNN-NNNC, with its check digit)"_qs.arg(text);
        source.issns.append(text);
    }
    const QJsonValue enabled = object.value(u"enabled"_qs);
    if (!enabled.isUndefined() && !enabled.isBool())
        return u"\"enabled\" must be true or false"_qs;
    source.enabled = enabled.toBool(true);
    const QJsonValue volume = object.value(u"volume"_qs);
    if (volume == u"absent"_qs)
        source.volume = Source::Volume::Absent;
    else if (volume == u"present"_qs)
        source.volume = Source::Volume::Present;
    else if (!volume.isUndefined())
        return u"\"volume\" must be \"absent\" or \"present\""_qs;
    for (const QJsonValue &issn : object.value(u"unconfirmed"_qs).toArray())
        source.unconfirmed.append(issn.toString().toUpper());
    return std::nullopt;
}

} // namespace

SourcesResult readSources(const QString &path)
{
    // A sources file of every journal there is would be a few hundred KiB.
    const BoundedFile::Read file = BoundedFile::read(path, 1024 * 1024);
    if (!file.bytes)
        return SourcesResult {{}, file.error};
    return parseSources(*file.bytes, path);
}

SourcesResult parseSources(const QByteArray &bytes, const QString &name)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (document.isNull())
        return failure(name, u"not JSON: "_qs + parseError.errorString());
    const QJsonObject root = document.object();
    if (const auto error = unknownKey(root, {u"version"_qs, u"journals"_qs}))
        return failure(name, *error);
    // Files written before the format had a version are of the first.
    const QJsonValue version = root.value(u"version"_qs);
    if (!version.isUndefined() && version != QJsonValue(supportedVersion))
        return failure(
            name, u"\"version\" must be %1, the one this program reads"_qs.arg(supportedVersion));
    const QJsonValue list = root.value(u"journals"_qs);
    if (!list.isArray())
        return failure(name, u"no \"journals\" array"_qs);

    SourcesResult result;
    QSet<QString> labels;
    QHash<QString, QString> keyOfIssn; // every ISSN belongs to exactly one journal
    QHash<QString, QList<Source::Volume>> rulesOfJournal;
    const QJsonArray array = list.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QString place = u"journals[%1]"_qs.arg(i);
        Source source;
        if (!array.at(i).isObject())
            return failure(name, place + u": not an object"_qs);
        if (const auto error = readSource(array.at(i).toObject(), source))
            return failure(name, place + u": "_qs + *error);
        if (labels.contains(source.label))
            return failure(name, place + u": label \"%1\" appears twice"_qs.arg(source.label));
        labels.insert(source.label);
        const QString key = issnKey(source.issns);
        for (const QString &issn : std::as_const(source.issns)) {
            if (keyOfIssn.value(issn, key) != key)
                return failure(
                    name, place + u": ISSN %1 also belongs to another journal"_qs.arg(issn));
            keyOfIssn.insert(issn, key);
        }
        QList<Source::Volume> &rules = rulesOfJournal[key];
        if (!rules.isEmpty()
            && (source.volume == Source::Volume::Any || rules.contains(Source::Volume::Any)
                || rules.contains(source.volume)))
            return failure(name,
                place
                    + u": shares its ISSNs with another label; give both a different \"volume\""_qs);
        rules.append(source.volume);
        result.sources.append(source);
    }
    return result;
}

QList<Journal> journalsOf(const QList<Source> &sources)
{
    QList<Journal> journals;
    QHash<QString, qsizetype> indexOfKey;
    for (const Source &source : sources) {
        if (!source.enabled)
            continue;
        const QString key = issnKey(source.issns);
        const auto found = indexOfKey.constFind(key);
        if (found != indexOfKey.constEnd()) {
            journals[*found].sources.append(source);
            continue;
        }
        indexOfKey.insert(key, journals.size());
        journals.append(Journal {source.issns, {source}});
    }
    return journals;
}
