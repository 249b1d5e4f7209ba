// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// Default visibility in both directions: the library is linked statically into the
// velmora executable, which re-exports the QDbf classes from its dynamic symbol table.
#define QDBF_EXPORT Q_DECL_EXPORT
