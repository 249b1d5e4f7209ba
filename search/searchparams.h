// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>
#include <QString>

// One result column of a search: its header ("_" in front marks a hidden column), its number
// in the executed statement, and the text it holds in the row being processed.
struct ResultColumn {
    QString header;
    int column = -1;
    QString value;
};

// What is searched for at one classifier level; isMask when the text holds "%" or "_".
struct LevelFilter {
    QString text;
    bool isMask = false;
};

// Handed by the window to the search thread: the levels to search, and the result columns the
// search names.
struct SearchParams {
    static constexpr int LevelCount = 5;
    static constexpr int LocalityLevel = 3;
    static constexpr int StreetLevel = 4;

    QHash<QString, ResultColumn> columns;
    QList<LevelFilter> levels = QList<LevelFilter>()
        << LevelFilter() << LevelFilter() << LevelFilter() << LevelFilter() << LevelFilter();
    // The house on the street searched for, as typed; searched only together with a street.
    QString house;
    // The postal index as typed; when set, the search is by index, narrowed by the levels.
    QString index;

    // Out-of-range indexes yield entry 0 instead of failing.
    LevelFilter& level(int i) { return levels[i >= 0 && i < levels.size() ? i : 0]; }
    const LevelFilter& level(int i) const { return levels[i >= 0 && i < levels.size() ? i : 0]; }
};
