// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "houselist.h"
#include "searchparams.h"
#include "searchresult.h"

#include <QHash>
#include <QString>

class QSqlDatabase;

// The search for one house on the streets that a street search (with or without a locality)
// finds. One statement lists the streets; every house group of each street is then read by its
// code, bound, and the house is matched in code, so a long street is searched whole and the typed
// house never enters SQL text. The rows have the columns of the search by both levels: the index
// the house gets, the locality, the street and the list of the group that answers ("---" when the
// street itself does).
class HouseSearch {
public:
    static constexpr int MaxRows = 100;

    HouseSearch(const LevelFilter& locality, const LevelFilter& street, const QString& house);

    const HouseNumber& house() const { return m_House; }
    // The statement that lists the streets, as it is logged.
    const QString& statement() const { return m_Statement; }

    // Runs on the open connection db. Refills columns as the search by both levels names them and
    // returns at most MaxRows rows, identical rows once; on a failed statement returns false with
    // its error in *error.
    bool run(const QSqlDatabase& db, QHash<QString, ResultColumn>& columns, SearchResult* result,
        QString* error) const;

private:
    HouseNumber m_House;
    LevelFilter m_Locality;
    LevelFilter m_Street;
    QString m_Statement;
};
