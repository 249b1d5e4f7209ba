#pragma once
#include <QAbstractTableModel>
