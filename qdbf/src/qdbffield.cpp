// SPDX-License-Identifier: GPL-3.0-or-later
#include "qdbffield_p.h"

#include <QDebug>

namespace QDbf {

QDbfField::QDbfField(const QString& fieldName, QVariant::Type type)
    : d(new QDbfFieldPrivate(fieldName, type))
{
}

QDbfField::QDbfField(const QDbfField& other) = default;
QDbfField& QDbfField::operator=(const QDbfField& other) = default;
QDbfField::~QDbfField() = default;

bool QDbfField::operator==(const QDbfField& other) const
{
    const bool sameDefinition = d.constData() == other.d.constData() || *d == *other.d;
    return sameDefinition && m_value == other.m_value;
}

bool QDbfField::sharesDefinitionWith(const QDbfField& other) const
{
    return d.constData() == other.d.constData();
}

void QDbfField::setValue(const QVariant& value)
{
    if (d.constData()->readOnly)
        return;
    m_value = value;
}

void QDbfField::clear()
{
    if (d.constData()->readOnly)
        return;
    m_value = QVariant(d.constData()->type);
}

bool QDbfField::isNull() const
{
    return m_value.isNull();
}

void QDbfField::setName(const QString& name)
{
    d->name = name;
}

QString QDbfField::name() const
{
    return d->name;
}

void QDbfField::setType(QVariant::Type type)
{
    d->type = type;
}

QVariant::Type QDbfField::type() const
{
    return d->type;
}

void QDbfField::setQDbfType(QDbfType type)
{
    d->dbfType = type;
}

QDbfField::QDbfType QDbfField::dbfType() const
{
    return d->dbfType;
}

void QDbfField::setReadOnly(bool readOnly)
{
    d->readOnly = readOnly;
}

bool QDbfField::isReadOnly() const
{
    return d->readOnly;
}

void QDbfField::setLength(int length)
{
    d->length = length;
}

int QDbfField::length() const
{
    return d->length;
}

void QDbfField::setPrecision(int precision)
{
    d->precision = precision;
}

int QDbfField::precision() const
{
    return d->precision;
}

void QDbfField::setOffset(int offset)
{
    d->offset = offset;
}

int QDbfField::offset() const
{
    return d->offset;
}

void QDbfField::setDefaultValue(const QVariant& value)
{
    d->defaultValue = value;
}

QVariant QDbfField::defaultValue() const
{
    return d->defaultValue;
}

void QDbfField::detach()
{
    d.detach();
}

QDebug operator<<(QDebug debug, const QDbfField& field)
{
    const char* typeName = QVariant::typeToName(field.type());
    debug.nospace() << "QDbfField(" << field.name() << ", " << (typeName ? typeName : "");
    if (field.length() >= 0)
        debug << ", length: " << field.length();
    if (field.precision() >= 0)
        debug << ", precision: " << field.precision();
    if (!field.defaultValue().isNull())
        debug << ", auto-value: \"" << field.defaultValue() << '"';
    debug << ')';
    return debug.space();
}

} // namespace QDbf
