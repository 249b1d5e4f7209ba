// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <qdbf/qdbffield.h>

#include <QSharedData>

namespace QDbf {

class QDbfFieldPrivate : public QSharedData {
public:
    QDbfFieldPrivate(const QString& fieldName, QVariant::Type fieldType)
        : name(fieldName)
        , type(fieldType)
    {
    }

    bool operator==(const QDbfFieldPrivate& other) const
    {
        return name == other.name && type == other.type && dbfType == other.dbfType
            && readOnly == other.readOnly && length == other.length && precision == other.precision
            && offset == other.offset && defaultValue == other.defaultValue;
    }

    QString name;
    QVariant::Type type;
    QDbfField::QDbfType dbfType = QDbfField::UndefinedType;
    bool readOnly = false;
    int length = -1;
    int precision = -1;
    int offset = 0;
    QVariant defaultValue;
};

} // namespace QDbf
