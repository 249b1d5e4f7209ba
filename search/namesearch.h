// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "searchquery.h"

// The search by the names of a locality, a street or both (the statement of the two levels with
// its UNION). The halves of a search by both levels are made distinct; a search by one level
// gives the statement's rows as they come, identical ones included.
class NameSearch : public SearchQuery {
public:
    NameSearch(const LevelFilter& locality, const LevelFilter& street);

    QString refusal() const override;
    QString statement() const override;
    bool run(const SearchContext& context, SearchResult* result, QString* error) override;

private:
    LevelFilter m_Locality;
    LevelFilter m_Street;
    // The logged statement, built once: the worker logs it, the result carries it.
    mutable QString m_Statement;
};
