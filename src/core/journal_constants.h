#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The fixed table from the feed's journal labels to full journal names.
namespace JournalConstants {

// Label → full journal name; built once, on first use, and never changed.
const QHash<QString, QString> &mapping();

// The full journal name for a label, or the label itself when the table lacks it.
// Exact, case-sensitive match: no trimming or folding; canonically equivalent
// Unicode spellings count as equal.
QString fullName(const QString &label);

// The form in which names are compared: canonically equivalent texts (e.g.
// decomposed and precomposed accents) become equal. ASCII is returned as is.
QString canonical(const QString &name);

// The distinct full names, sorted ascending by code point ("Econometric Theory"
// before "Econometrica").
const QStringList &sortedFullNames();

} // namespace JournalConstants
