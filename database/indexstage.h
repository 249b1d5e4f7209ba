// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "importsession.h"

// Steps 5 to 11: the seven indexes, then the distinct-name tables (made when missing, made
// again whenever a data table was created in this run, bTableCreated) and the statistics the
// search's joins need. analyzed tells whether ANALYZE ran and succeeded.
StepOutcome buildIndexes(ImportSession& session, bool bTableCreated, bool& analyzed);
