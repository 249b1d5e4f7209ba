// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// Velmora is built with hidden visibility; the QDbf classes alone keep the default one. The
// library is linked statically into the velmora executable, which exports them from its
// dynamic symbol table.
#define QDBF_EXPORT Q_DECL_EXPORT
