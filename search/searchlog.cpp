// SPDX-License-Identifier: GPL-3.0-or-later
#include "searchlog.h"

Q_LOGGING_CATEGORY(lcSearch, "velmora.search")
