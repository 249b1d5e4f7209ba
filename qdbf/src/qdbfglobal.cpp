#include "qdbf/qdbfglobal.h"
