// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <qdbf/qdbfrecord.h>

#include <QSharedData>
#include <QVector>

namespace QDbf {

class QDbfRecordPrivate : public QSharedData {
public:
    int index = -1;
    bool deleted = false;
    QVector<QDbfField> fields;
};

} // namespace QDbf
