#pragma once

#include <QtGlobal>

#define QDBF_EXPORT Q_DECL_EXPORT
