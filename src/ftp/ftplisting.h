#pragma once

#include "ftp/ftpclient.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

namespace tobra {

// A listing larger than this is refused (kErrListing) rather than held.
constexpr qsizetype kMaxListingBytes = qsizetype(64) * 1024 * 1024;
// Lines longer than this cannot be a sane entry and are skipped.
constexpr qsizetype kMaxListingLineBytes = 8192;

// Parsers of a folder listing as the server sent it. Entries for the folder
// itself and its parent are left out, and so is every line that does not
// parse. Control, line-separator and bidirectional-format characters are
// removed from names (isUnsafeTextChar). Both raise
// FtpError(kErrListing) when text is larger than kMaxListingBytes.

// MLSD: "fact=value;fact=value; name". DateTime is "yyyy-MM-dd HH:mm:ss"
// (the server's modify fact, UTC) or empty.
QList<FtpListEntry> parseMlsd(const QByteArray &text);
// LIST in Unix "ls -l" style or DOS/IIS style. DateTime is the listing's
// date and time columns: "Jan 02 12:34", "Jan 02 2025", "01-02-26 03:04PM".
QList<FtpListEntry> parseList(const QByteArray &text);

// The time of a DateTime of either parser, taken as UTC as servers list by
// default; a date without a time ("Jan 02 2025") is midnight local time. A
// listing without the year ("Jan 02 12:34") means the latest such time not
// more than a day after nowUtc. Invalid when the text is none of the forms.
QDateTime listingTime(const QString &dateTime, const QDateTime &nowUtc);
// The grids' one date format: that time as local time, "yyyy-MM-dd HH:mm:ss";
// the text itself when it is none of the forms.
QString listingTimeText(const QString &dateTime, const QDateTime &nowUtc);

}  // namespace tobra
