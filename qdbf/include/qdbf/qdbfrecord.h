// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <qdbf/qdbffield.h>

#include <QSharedDataPointer>
#include <QString>
#include <QVariant>

QT_BEGIN_NAMESPACE
class QDebug;
QT_END_NAMESPACE

namespace QDbf {

class QDbfRecordPrivate;
class QDbfTablePrivate;

class QDBF_EXPORT QDbfRecord {
public:
    QDbfRecord();
    QDbfRecord(const QDbfRecord& other);
    QDbfRecord& operator=(const QDbfRecord& other);
    ~QDbfRecord();

    bool operator==(const QDbfRecord& other) const;
    bool operator!=(const QDbfRecord& other) const { return !operator==(other); }

    void detach();

    int recordIndex() const;
    void setRecordIndex(int index);
    bool isDeleted() const;
    void setDeleted(bool deleted);

    QVariant value(int index) const;
    QVariant value(const QString& name) const;
    void setValue(int index, const QVariant& value);
    void setValue(const QString& name, const QVariant& value);

    bool isNull(int index) const;
    bool isNull(const QString& name) const;
    void setNull(int index);
    void setNull(const QString& name);

    int indexOf(const QString& name) const;
    QString fieldName(int index) const;

    QDbfField field(int index) const;
    QDbfField field(const QString& name) const;

    void append(const QDbfField& field);
    void insert(int pos, const QDbfField& field);
    void replace(int pos, const QDbfField& field);
    void remove(int pos);

    bool isEmpty() const;
    bool contains(const QString& name) const;
    void clear();
    void clearValues();
    int count() const;

private:
    friend class QDbfTablePrivate;
    QSharedDataPointer<QDbfRecordPrivate> d;
};

QDBF_EXPORT QDebug operator<<(QDebug debug, const QDbfRecord& record);

} // namespace QDbf

Q_DECLARE_TYPEINFO(QDbf::QDbfRecord, Q_MOVABLE_TYPE);
