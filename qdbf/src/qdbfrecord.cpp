// SPDX-License-Identifier: GPL-3.0-or-later
#include "qdbfrecord_p.h"

#include <QDebug>

namespace QDbf {

QDbfRecord::QDbfRecord()
    : d(new QDbfRecordPrivate)
{
}

QDbfRecord::QDbfRecord(const QDbfRecord& other) = default;
QDbfRecord& QDbfRecord::operator=(const QDbfRecord& other) = default;
QDbfRecord::~QDbfRecord() = default;

bool QDbfRecord::operator==(const QDbfRecord& other) const
{
    return d->index == other.d->index && d->deleted == other.d->deleted && d->fields == other.d->fields;
}

void QDbfRecord::detach()
{
    d.detach();
}

int QDbfRecord::recordIndex() const
{
    return d->index;
}

void QDbfRecord::setRecordIndex(int index)
{
    d->index = index;
}

bool QDbfRecord::isDeleted() const
{
    return d->deleted;
}

void QDbfRecord::setDeleted(bool deleted)
{
    d->deleted = deleted;
}

QVariant QDbfRecord::value(int index) const
{
    if (index < 0 || index >= d->fields.size())
        return QVariant();
    return d->fields.at(index).value();
}

QVariant QDbfRecord::value(const QString& name) const
{
    return value(indexOf(name));
}

void QDbfRecord::setValue(int index, const QVariant& value)
{
    if (index < 0 || index >= d->fields.size())
        return;
    d->fields[index].setValue(value);
}

void QDbfRecord::setValue(const QString& name, const QVariant& value)
{
    setValue(indexOf(name), value);
}

bool QDbfRecord::isNull(int index) const
{
    if (index < 0 || index >= d->fields.size())
        return true;
    return d->fields.at(index).isNull();
}

bool QDbfRecord::isNull(const QString& name) const
{
    return isNull(indexOf(name));
}

void QDbfRecord::setNull(int index)
{
    if (index < 0 || index >= d->fields.size())
        return;
    d->fields[index].clear();
}

void QDbfRecord::setNull(const QString& name)
{
    setNull(indexOf(name));
}

int QDbfRecord::indexOf(const QString& name) const
{
    const QString wanted = name.toUpper();
    const QVector<QDbfField>& fields = d->fields;
    for (int i = 0; i < fields.size(); ++i) {
        if (fields.at(i).name().toUpper() == wanted)
            return i;
    }
    return -1;
}

QString QDbfRecord::fieldName(int index) const
{
    if (index < 0 || index >= d->fields.size())
        return QString();
    return d->fields.at(index).name();
}

QDbfField QDbfRecord::field(int index) const
{
    if (index < 0 || index >= d->fields.size())
        return QDbfField();
    return d->fields.at(index);
}

QDbfField QDbfRecord::field(const QString& name) const
{
    return field(indexOf(name));
}

void QDbfRecord::append(const QDbfField& field)
{
    d->fields.append(field);
}

void QDbfRecord::insert(int pos, const QDbfField& field)
{
    // Positions outside 0..count() are clamped so that a bad position never corrupts the vector.
    d->fields.insert(qBound(0, pos, d->fields.size()), field);
}

void QDbfRecord::replace(int pos, const QDbfField& field)
{
    if (pos < 0 || pos >= d->fields.size())
        return;
    d->fields[pos] = field;
}

void QDbfRecord::remove(int pos)
{
    if (pos < 0 || pos >= d->fields.size())
        return;
    d->fields.remove(pos);
}

bool QDbfRecord::isEmpty() const
{
    return d->fields.isEmpty();
}

bool QDbfRecord::contains(const QString& name) const
{
    return indexOf(name) != -1;
}

void QDbfRecord::clear()
{
    d->fields.clear();
}

void QDbfRecord::clearValues()
{
    for (QDbfField& field : d->fields)
        field.clear();
}

int QDbfRecord::count() const
{
    return d->fields.size();
}

QDebug operator<<(QDebug debug, const QDbfRecord& record)
{
    const int count = record.count();
    debug.nospace() << "QDbfRecord(" << count << ')';
    for (int i = 0; i < count; ++i) {
        debug.nospace() << '\n'
                        << QString::fromLatin1("%1:").arg(i, 2) << record.field(i)
                        << record.value(i).toString();
    }
    return debug.space();
}

} // namespace QDbf
