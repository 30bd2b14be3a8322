#pragma once

#include "crossref/sources.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// The requests made of Crossref's /works endpoint.
namespace CrossrefQuery {

// Journals asked for in one request: every ISSN of each is OR'd into one filter.
constexpr int journalsPerRequest = 10;
constexpr int rowsPerPage = 1000;

// Journal articles of `issns` first deposited on or after `from`, one page from `cursor`.
QUrl works(const QUrl &api, const QStringList &issns, QDate from, int rows, const QString &cursor,
    const QString &mailto);
// The most recently deposited journal article of `issns`, if any, with its journal's name.
QUrl latest(const QUrl &api, const QStringList &issns, const QString &mailto);
// Journals in groups of at most `size`, in order.
QList<QList<Journal>> batches(const QList<Journal> &journals, int size);

} // namespace CrossrefQuery
