// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "importsession.h"
#include "tableimport.h"

#include <QStringList>

// The post's reference file of post offices among fileNames: PIndx<N>.dbf in any letter case;
// the highest N (the latest edition) when there are several. Empty without one.
QString latestPostOfficeFile(const QStringList& fileNames);

// Loads the post offices into POST_OFFICES unless the table is in tables (the list taken at the
// start of the run). The file is read from the session's source (BASE/, or the archive or
// directory imported from, where a source without one falls back to BASE/), streamed as the
// classifier's files are. It is optional: without it this does nothing and says nothing. With
// it, the same rules as a classifier table: header checked, rows under a working name, the table
// named POST_OFFICES only once every record is in; a file that cannot be read whole fails the step.
// The fields are found by name (INDEX, OPSNAME, OPSTYPE, OPSSUBM, REGION, AUTONOM, AREA, CITY,
// CITY_1, ACTDATE, INDEXOLD), whatever their order and widths; INDEX and OPSNAME are required.
StepOutcome importPostOffices(ImportSession& session, const QStringList& tables, TableImportReport& report);
