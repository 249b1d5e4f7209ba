// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "importsession.h"
#include "tablestep.h"

#include <QStringList>

// What one run did to a data table, for velmora-tool's summary and the tests.
struct TableImportReport {
    bool created = false; // built completely and renamed to its own name in this run
    qint64 rows = 0; // rows committed
    int blocks = 0; // blocks read, each committed in its own transaction
    int unreadable = 0; // records the header announces but the file does not hold
};

// Steps 2 to 4: builds one data table from its DBF file unless it is in tables (the list
// taken at the start of the run). The rows go in under the table's working name, a block per
// transaction, and the table takes its own name only in a durable commit once every record
// of the file is in; anything less leaves the working table for the next run to drop.
StepOutcome importTable(ImportSession& session, const TableStep& step, const QStringList& tables,
    const TypeNames& types, TableImportReport& report);
