// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "indexquery.h"
#include "searchquery.h"

#include <QString>

// The search by postal index: every locality, street and house group the index serves, narrowed
// by the ticked locality and street texts, with the lines about the index's post office (none
// when the database has no post's reference). Up to IndexQuery::RowLimit rows; the statement
// counts them all, so the result says how many there are.
class IndexSearch : public SearchQuery {
public:
    // typed: the index as typed (blanks are dropped); locality and street: the ticked texts
    // (empty: not ticked).
    IndexSearch(const QString& typed, const LevelFilter& locality, const LevelFilter& street);

    // Anything but six digits.
    QString refusal() const override { return m_Input.refusal; }
    int rowLimit() const override { return IndexQuery::RowLimit; }
    QString statement() const override { return m_Statement.sql; }
    bool run(const SearchContext& context, SearchResult* result, QString* error) override;

private:
    IndexQuery::Input m_Input;
    IndexQuery::Statement m_Statement;
};
