// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

// The search's English diagnostics: statements run, errors, composed addresses
// ("velmora.search"; QT_LOGGING_RULES="velmora.search.debug=false" silences them).
Q_DECLARE_LOGGING_CATEGORY(lcSearch)
