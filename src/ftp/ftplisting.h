#pragma once

#include "ftp/ftpclient.h"

#include <QByteArray>
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

}  // namespace tobra
