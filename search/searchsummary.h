// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "searchresult.h"

#include <QString>

// The status-log line that follows every finished search: how many variants were found, that
// nothing was found (with what to try), or that only the first rows are shown (with how many
// there are, when the search counted them).
QString searchSummary(const SearchResult& result);
