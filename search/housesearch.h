// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "houselist.h"
#include "searchquery.h"

#include <QString>

// The search for one house on the streets that a street search (with or without a locality)
// finds. One statement lists the streets; every house group of each street is then read by its
// code, bound, and the house is matched in code, so a long street is searched whole and the typed
// house never enters SQL text. The rows have the columns of the search by both levels: the index
// the house gets, the locality, the street and the list of the group that answers ("---" when the
// street itself does).
class HouseSearch : public SearchQuery {
public:
    HouseSearch(const LevelFilter& locality, const LevelFilter& street, const QString& house);

    const HouseNumber& house() const { return m_House; }
    // Without a digit no list can hold the house; searching would only list every group.
    QString refusal() const override;
    // The statement that lists the streets, as it is logged.
    QString statement() const override { return m_Statement; }

    // The columns as the search by both levels names them, at most rowLimit() rows, identical rows
    // once.
    bool run(const SearchContext& context, SearchResult* result, QString* error) override;

private:
    HouseNumber m_House;
    QString m_TypedHouse;
    LevelFilter m_Locality;
    LevelFilter m_Street;
    QString m_Statement;
};
