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

    // What to run in place of the statement's halves on db: one SELECT of the same rows, or none
    // when a level matches too many names or its names cannot be listed. nameTables: the
    // distinct-name tables db holds, which list the names of a mask that begins with a wildcard.
    static QStringList statements(const QSqlDatabase& db, const LevelFilter& locality,
        const LevelFilter& street, const QStringList& nameTables);
    // The pairs the levels match, found the way statements() finds them; empty when left to SQLite.
    static Pairs pairs(const QSqlDatabase& db, const LevelFilter& locality, const LevelFilter& street,
        const QStringList& nameTables);

    // The SELECT for these names (upper case, as name_upper holds them), led by lead.
    static QStringList statementsFor(
        Lead lead, const QStringList& localityNames, const QStringList& streetNames);
    static Pairs pairsFor(Lead lead, const QStringList& localityNames, const QStringList& streetNames);

    // The names of table's name_upper the level matches: at most MaxNames + 1, so that too many
    // shows. False when they cannot be listed. nameTables as for statements().
    static bool names(const QSqlDatabase& db, const char* table, const char* namesTable,
        const LevelFilter& level, const QStringList& nameTables, QStringList* found);
};
