// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dbfblockreader.h"
#include "importsession.h"
#include "tablestep.h"

// Step 1: reads the object-type dictionary SOCRBASE.DBF of the session's source. False (with
// the reason logged) when it cannot be opened or read whole, or holds no record: without it
// every type name would be blank for good.
bool readTypeNames(ImportSession& session, TypeNames& types);

// The headers of the classifier files against the files, in one pass over the source: the
// size each header announces must be the file's, and its records must hold their fields. A
// file that does not fit, or that is missing from an archive or directory given to the
// import, is logged with what is wrong. SOCRBASE.DBF, when among them, is kept in memory for
// step 1.
bool headersFit(ImportSession& session, const QStringList& fileNames);

// Logs a header that does not fit its file, with both figures.
void logHeaderMismatch(
    ImportSession& session, const QString& path, const DbfBlockReader::HeaderCheck& header);
