// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// Text that the search and the address lookup put into SQL statements.
namespace SqlText {

// The SQL string literal of text: apostrophes doubled, so no text can end the literal.
QString literal(const QString& text);

// True for a LIKE wildcard: "%" for any number of letters, "_" for exactly one.
bool isWildcard(QChar c);

// True when text holds a LIKE wildcard.
bool isMask(const QString& text);

// A JSON array of the texts as strings, for json_each: quotes, backslashes and control
// characters escaped, so no text can end its string.
QString jsonArray(const QStringList& texts);

} // namespace SqlText
