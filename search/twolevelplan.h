// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "searchparams.h"

#include <QStringList>

class KladrCodeSetCache;
class QSqlDatabase;
class StatementCache;

// Another way to run a search by both levels, for when each level matches only a few distinct
// names: the level with fewer records to try leads, and every record of the other level is found
// by name and code in one index probe per name. A locality's or a street's record is read only
// once a pair has matched. The rows are the statement's rows.
//
// With the code sets of the names at hand (kept from earlier searches), only the localities that
// bear a name of both levels are tried: a common street name lies in ten thousand localities and
// a common locality name is borne by a thousand, yet the pairs of both are a few dozen.
//
// Left to itself SQLite cannot tell a name borne by a thousand localities from one borne by a
// single village, and on a common name it may read a record for every locality and every street
// there before testing a single name.
class TwoLevelPlan {
public:
    // More names than this and a level is left to SQLite: probing every one of them would cost
    // more than the statement.
    static constexpr int MaxNames = 100;

    enum Lead { LocalityLeads, StreetLeads };

    // The FROM and WHERE clauses of the pairs of a locality (k) and a street (s) the levels match.
    struct Pairs {
        QString from;
        QString where;
        bool isEmpty() const { return from.isEmpty(); }
    };

    // The distinct-name tables a database holds: all of them, and those that count the records
    // of each name (databases of earlier versions hold the names alone).
    struct NameTables {
        QStringList tables;
        QStringList counted;
    };

    // The names a level matches: the condition on name_upper that finds exactly them, one name
    // at a time ("= 'NAME'", or "IN (SELECT name_upper FROM ...)"), how many there are (at most
    // MaxNames + 1, so that too many shows), and how many records bear them (-1 when not known).
    struct LevelNames {
        QString condition;
        int count = 0;
        qint64 records = -1;
    };

    // The distinct-name tables db holds; none when they cannot be listed. With cache, the
    // statements that do not change from one search to the next are kept there (so for every
    // function below).
    static NameTables nameTablesOf(const QSqlDatabase& db, StatementCache* cache = nullptr);

    // What to run in place of the statement's halves on db: one SELECT of the same rows, or none
    // when a level matches too many names or its names cannot be listed. The names of a mask
    // that begins with a wildcard come from the distinct-name tables. With codeSets, the code sets
    // of the names are read and kept there where they cost less than the probes they spare.
    static QStringList statements(const QSqlDatabase& db, const LevelFilter& locality,
        const LevelFilter& street, const NameTables& nameTables, StatementCache* cache = nullptr,
        KladrCodeSetCache* codeSets = nullptr);
    // The pairs the levels match, found the way statements() finds them; empty when left to SQLite.
    static Pairs pairs(const QSqlDatabase& db, const LevelFilter& locality, const LevelFilter& street,
        const NameTables& nameTables, StatementCache* cache = nullptr, KladrCodeSetCache* codeSets = nullptr);

    // The SELECT for these names, led by lead; with codes, only the localities of those codes are
    // tried (the rows and their order are the same when codes holds every one that has both).
    static QStringList statementsFor(Lead lead, const LevelNames& localityNames,
        const LevelNames& streetNames, const QStringList* codes = nullptr);
    static Pairs pairsFor(Lead lead, const LevelNames& localityNames, const LevelNames& streetNames,
        const QStringList* codes = nullptr);

    // The codes, ascending, of the localities that bear one of the locality names and have a
    // street of one of the street names: the intersection of the names' code sets, each read
    // from its name index unless codeSets keeps it, and kept there. False when a set cannot be
    // read or holds something that is no locality code.
    static bool commonCodes(const QSqlDatabase& db, const LevelNames& localityNames,
        const LevelNames& streetNames, KladrCodeSetCache* codeSets, QStringList* codes,
        StatementCache* cache = nullptr);

    // The names of table's name_upper the level matches, counted with their records when
    // namesTable counts them. False when they cannot be listed. Exact text counted by the names
    // table keeps only the spellings (Е or Ё) that some record bears.
    static bool names(const QSqlDatabase& db, const char* table, const char* namesTable,
        const LevelFilter& level, const NameTables& nameTables, LevelNames* found,
        StatementCache* cache = nullptr);
};
