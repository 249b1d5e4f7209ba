// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "searchparams.h"
#include "searchresult.h"
#include "statementcache.h"

#include <QSqlDatabase>
#include <QString>

#include <functional>
#include <memory>

class KladrCodeSetCache;
struct sqlite3;

// What a kind of query is given to run: the open connection of the search worker, and the
// worker's hooks.
struct SearchContext {
    QSqlDatabase db;
    // The statements kept on db from one search to the next; none on a bare connection.
    StatementCache* statements = nullptr;
    // db's SQLite handle, to read rows through SQLite directly; none when Qt's driver must.
    sqlite3* handle = nullptr;
    // The code sets of names kept on db from one search to the next; none on a bare connection.
    KladrCodeSetCache* codeSets = nullptr;
    // Called once, when the statements are ready and the long part (running them) begins: the
    // worker then shows the busy display.
    std::function<void()> busy;
    // Asked between rows; true when the search is to stop (the window is closing).
    std::function<bool()> interrupted;
};

// One kind of query (by names, for a house, by index): how its statement is logged, what makes
// it refuse to run, and the running itself. The search worker schedules it, reports its outcome
// and composes the addresses of its rows; the kind only finds the rows.
class SearchQuery {
public:
    // At most this many rows are shown; a search that matches more says so (truncated).
    static constexpr int MaxRows = 100;

    virtual ~SearchQuery() = default;

    // The reason the search is not run, as the status log says it ("Поиск не выполнен: ...");
    // empty when it can run.
    virtual QString refusal() const { return QString(); }
    // At most this many rows are shown by this kind of query.
    virtual int rowLimit() const { return MaxRows; }
    // The statement as the status log shows it.
    virtual QString statement() const = 0;
    // Runs on context.db and fills result: columns, rows, column map, address shape, truncated,
    // executed. False with *error on a failed statement; false with *error empty when
    // interrupted.
    virtual bool run(const SearchContext& context, SearchResult* result, QString* error) = 0;

    // The levels of every field with blanks trimmed and inner runs of blanks made one, and the
    // mask flags set from the texts: what is searched for whatever the window or a file held.
    static SearchParams normalized(const SearchParams& params);
    // The reason no kind of query can take these parameters (a NUL in a text would cut the
    // statement short); empty when there is none.
    static QString inputRefusal(const SearchParams& params);
    // The kind of query the parameters ask for, built from normalized parameters.
    static std::unique_ptr<SearchQuery> create(const SearchParams& params);
};
