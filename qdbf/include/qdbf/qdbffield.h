// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <qdbf/qdbfglobal.h>

#include <QSharedDataPointer>
#include <QString>
#include <QVariant>

QT_BEGIN_NAMESPACE
class QDebug;
QT_END_NAMESPACE

namespace QDbf {

class QDbfFieldPrivate;
class QDbfTablePrivate;

class QDBF_EXPORT QDbfField {
public:
    enum QDbfType { UndefinedType = -1, Character = 0, Date = 1, Float = 2, Logical = 3, Numeric = 4 };

    explicit QDbfField(const QString& fieldName = QString(), QVariant::Type type = QVariant::Invalid);
    QDbfField(const QDbfField& other);
    QDbfField& operator=(const QDbfField& other);
    ~QDbfField();

    bool operator==(const QDbfField& other) const;
    bool operator!=(const QDbfField& other) const { return !operator==(other); }

    void setValue(const QVariant& value);
    QVariant value() const { return m_value; }
    void clear();
    bool isNull() const;

    void setName(const QString& name);
    QString name() const;
    void setType(QVariant::Type type);
    QVariant::Type type() const;
    void setQDbfType(QDbfType type);
    QDbfType dbfType() const;
    void setReadOnly(bool readOnly);
    bool isReadOnly() const;
    void setLength(int length);
    int length() const;
    void setPrecision(int precision);
    int precision() const;
    void setOffset(int offset);
    int offset() const;
    void setDefaultValue(const QVariant& value);
    QVariant defaultValue() const;

    void detach();

private:
    friend class QDbfTablePrivate;
    // Whether both fields hold the very same definition object (not merely equal ones).
    bool sharesDefinitionWith(const QDbfField& other) const;

    QSharedDataPointer<QDbfFieldPrivate> d;
    QVariant m_value;
};

QDBF_EXPORT QDebug operator<<(QDebug debug, const QDbfField& field);

} // namespace QDbf

Q_DECLARE_TYPEINFO(QDbf::QDbfField, Q_MOVABLE_TYPE);
