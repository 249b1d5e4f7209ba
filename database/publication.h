// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "importsession.h"

// Offers a freshly built database to other installations: stamps it with a version (the
// table info, committed durably), then writes Velmora.ini and update.info into appDir where
// they are missing (an empty appDir writes no file). Run only after a run in which every step succeeded.
// published tells whether the stamp went in; files that cannot be written only keep the database from being
// offered, and are logged.
StepOutcome publish(ImportSession& session, const QString& appDir, bool& published);

// A stamped database whose publication was cut short (the run was killed after the stamp)
// still gets the files that are missing, with the version it carries: whether they are
// written depends on whether they exist, not on whether the stamp did.
void completePublication(ImportSession& session, const QString& appDir);
