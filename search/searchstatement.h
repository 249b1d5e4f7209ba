// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "searchparams.h"

#include <QHash>
#include <QStringList>

// Statement text of the searches, built from the levels alone: no database, no state, so every
// piece is tested as text. User text enters only as an SQL literal (SqlText::literal), joined by
// concatenation, never through a format string.
namespace SearchStatement {

// "= 'TEXT' " or "LIKE 'MASK' ": the level's text upper-cased (name_upper was built with the same
// Unicode upper-casing) and quoted.
QString condition(const LevelFilter& level);

// The condition on a name column that the search runs: as condition() for a text without Е or
// Ё; otherwise Е and Ё match each other both ways, still found through the column's index (every
// spelling of the text, or of a mask's fixed beginning, as its own index probe), with the rest of
// a mask compared on the spelling with Е. Ends in a blank.
QString matches(const QString& column, const LevelFilter& level);
// The same as a condition to follow the column: "= 'TEXT'", "IN ('ТЕКСТ', 'ТЁКСТ')". Only for
// a level that is no mask.
QString exactMatch(const LevelFilter& level);
// Every spelling of text with each Е or Ё as either letter; the first MaxFoldedLetters such letters
// (past them the letters are left as written).
constexpr int MaxFoldedLetters = 8;
QStringList spellings(const QString& text);

// The result columns of a search by these levels, by key: header and column number.
QHash<QString, ResultColumn> columnMap(bool bLocality, bool bStreet);

// A mask that begins with a wildcard and holds a letter: it cannot use the name indexes, and is
// matched against the distinct names instead.
bool matchesDistinctNames(const LevelFilter& level);

// The search by names: the statement as it is logged, and the statements run in its place (the
// halves of a search by both levels one after another, masks that begin with a wildcard matched
// against the distinct-name tables that nameTables lists; no LIMIT, the fetch stops at 100 rows).
struct NameStatements {
    QString logged;
    QStringList executed;
};
NameStatements names(const LevelFilter& locality, const LevelFilter& street, const QStringList& nameTables);
// Either of them alone.
QString loggedNames(const LevelFilter& locality, const LevelFilter& street);
QStringList executedNames(
    const LevelFilter& locality, const LevelFilter& street, const QStringList& nameTables);

// A statement with its string literals taken out as parameters: the same text for every name
// searched, so that it is compiled once and kept, the names bound. Values in the order of the
// parameters.
struct Bound {
    QString text;
    QStringList values;
};
Bound bound(const QString& statement);

// The columns of the house search's street statement, and the statement as logged and as run.
QString houseStreetColumns();
QString houseStreets(const LevelFilter& locality, const LevelFilter& street);
QString houseStreetsExecuted(const LevelFilter& locality, const LevelFilter& street);

} // namespace SearchStatement
