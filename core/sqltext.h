// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Text that the search and the address lookup put into SQL statements.
namespace SqlText {

// The SQL string literal of text: apostrophes doubled, so no text can end the literal.
QString literal(const QString& text);

// True for a LIKE wildcard: "%" for any number of letters, "_" for exactly one.
bool isWildcard(QChar c);

// True when text holds a LIKE wildcard.
bool isMask(const QString& text);

} // namespace SqlText
