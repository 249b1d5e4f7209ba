// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "importsession.h"
#include "tablestep.h"

// Step 1: reads the object-type dictionary SOCRBASE.DBF of the local database directory.
// False (with the reason logged) when it cannot be opened or read whole, or holds no
// record: without it every type name would be blank for good.
bool readTypeNames(ImportSession& session, TypeNames& types);

// The header's record count of a classifier file against what the file can hold; a count
// that does not fit is logged with both figures.
bool recordCountFits(ImportSession& session, const QString& path);
