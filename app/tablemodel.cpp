#include "tablemodel.h"
