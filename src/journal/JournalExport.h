#pragma once

#include "journal/Exchange.h"

#include <QByteArray>
#include <QString>

#include <functional>

class Journal;

// The journal as a spreadsheet in a Russian locale opens it: UTF-8 with a byte-order mark, fields
// separated by ";" and all quoted, amounts with a decimal comma, local times as dd.MM.yyyy HH:mm:ss,
// lines ended by CR LF.
// The header line comes after the byte-order mark, which the writer puts first.
QByteArray JournalCsvHeader();
QByteArray JournalCsvRow(const ExchangeRecord& record);

// Every exchange of `filter`, newest first, a page at a time: only one page is ever in memory.
void ForEachExchange(const Journal& journal, const JournalFilter& filter,
                     const std::function<void(const QList<ExchangeRecord>& page)>& visit);

// Writes the filtered exchanges to `fileName` as above, replacing it atomically; their count.
qint64 ExportJournalCsv(const Journal& journal, const JournalFilter& filter, const QString& fileName);

// An amount of kopecks as roubles ("1234.50"), empty when unknown.
QString JournalAmountText(const std::optional<qint64>& kopecks);
// The bill of a payment, or the order of a notification: what a row of a list is about.
QString JournalSubjectText(const ExchangeRecord& record);
// A moment of the journal in local time, as lists show it.
QString JournalTimeText(const QDateTime& time);
