// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "searchparams.h"

#include <QStringList>

class QSqlDatabase;

// Another way to run a search by both levels, for when each level matches only a few distinct
// names: the names are listed first, then the level with fewer records to try leads, and every
// record of the other level is found by name and code in one index probe. A locality's or a
// street's record is read only once a pair has matched. The rows are the statement's rows.
//
// Left to itself SQLite cannot tell a name borne by a thousand localities from one borne by a
// single village, and on a common name it may read a record for every locality and every street
// there before testing a single name.
class TwoLevelPlan {
public:
    // More names than this and a level is left to SQLite: listing and probing them would cost
    // more than the statement.
    static constexpr int MaxNames = 100;

    enum Lead { LocalityLeads, StreetLeads };

    // The FROM and WHERE clauses of the pairs of a locality (k) and a street (s) the levels match.
    struct Pairs {
        QString from;
        QString where;
        bool isEmpty() const { return from.isEmpty(); }
    };

    // The names a level matches, and how many records bear them (-1 when the names tables of
    // the database hold no counts).
    struct LevelNames {
        QStringList names;
        qint64 records = -1;
    };

    // The distinct-name tables a database holds: all of them, and those that count the records
    // of each name.
    struct NameTables {
        QStringList tables;
        QStringList counted;
    };

    // The distinct-name tables db holds; none when they cannot be listed.
    static NameTables nameTablesOf(const QSqlDatabase& db);

    // What to run in place of the statement's halves on db: one SELECT of the same rows, or none
    // when a level matches too many names or its names cannot be listed. The names of a mask
    // that begins with a wildcard come from the distinct-name tables.
    static QStringList statements(const QSqlDatabase& db, const LevelFilter& locality,
        const LevelFilter& street, const NameTables& nameTables);
    // The pairs the levels match, found the way statements() finds them; empty when left to SQLite.
    static Pairs pairs(const QSqlDatabase& db, const LevelFilter& locality, const LevelFilter& street,
        const NameTables& nameTables);

    // The SELECT for these names (upper case, as name_upper holds them), led by lead.
    static QStringList statementsFor(
        Lead lead, const QStringList& localityNames, const QStringList& streetNames);
    static Pairs pairsFor(Lead lead, const QStringList& localityNames, const QStringList& streetNames);

    // The names of table's name_upper the level matches: at most MaxNames + 1, so that too many
    // shows, with their records when namesTable counts them. False when they cannot be listed.
    static bool names(const QSqlDatabase& db, const char* table, const char* namesTable,
        const LevelFilter& level, const NameTables& nameTables, LevelNames* found);
};
