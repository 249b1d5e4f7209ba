// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqliterows.h"

#include <QCoreApplication>
#include <QSqlField>

#include <sqlite3.h>

#include <cstring>

SqliteRows::SqliteRows(sqlite3* handle)
    : m_pHandle(handle)
{
}

SqliteRows::~SqliteRows()
{
    sqlite3_finalize(m_pStatement);
}

void SqliteRows::setError(const char* text, QSqlError::ErrorType type, int code)
{
    // As Qt's driver words it: SQLite's message, the driver's text, the result code.
    m_Error = QSqlError(QCoreApplication::translate("QSQLiteResult", text),
        QString::fromUtf8(sqlite3_errmsg(m_pHandle)), type, QString::number(code));
}

bool SqliteRows::prepare(const QString& sql)
{
    sqlite3_finalize(m_pStatement);
    m_pStatement = nullptr;
    m_bPending = false;
    m_Values.clear();
    m_Texts.clear();
    m_Error = QSqlError();
    const QByteArray text = sql.toUtf8();
    const int result
        = sqlite3_prepare_v2(m_pHandle, text.constData(), text.size() + 1, &m_pStatement, nullptr);
    if (result != SQLITE_OK) {
        setError("Unable to execute statement", QSqlError::StatementError, result);
        sqlite3_finalize(m_pStatement);
        m_pStatement = nullptr;
        return false;
    }
    const int count = sqlite3_column_count(m_pStatement);
    m_Values.resize(count);
    m_Texts.resize(count);
    return true;
}

bool SqliteRows::exec(const QStringList& values)
{
    m_Error = QSqlError();
    m_bPending = false;
    if (!m_pStatement) {
        m_Error = QSqlError(QString(), QStringLiteral("No statement prepared"), QSqlError::StatementError);
        return false;
    }
    sqlite3_reset(m_pStatement);
    for (int i = 0; i < values.size(); ++i) {
        const QByteArray value = values.at(i).toUtf8();
        const int result
            = sqlite3_bind_text(m_pStatement, i + 1, value.constData(), value.size(), SQLITE_TRANSIENT);
        if (result != SQLITE_OK) {
            setError("Unable to bind parameters", QSqlError::StatementError, result);
            return false;
        }
    }
    if (!step())
        return !m_Error.isValid();
    m_bPending = true;
    return true;
}

bool SqliteRows::next()
{
    if (m_bPending) {
        m_bPending = false;
        return true;
    }
    return m_pStatement && step();
}

bool SqliteRows::step()
{
    const int result = sqlite3_step(m_pStatement);
    if (result == SQLITE_DONE) {
        sqlite3_reset(m_pStatement);
        return false;
    }
    if (result != SQLITE_ROW) {
        // The step's own code; reset gives the extended one in older releases.
        sqlite3_reset(m_pStatement);
        setError("Unable to fetch row", QSqlError::ConnectionError, result);
        return false;
    }
    for (int column = 0; column < m_Values.size(); ++column) {
        switch (sqlite3_column_type(m_pStatement, column)) {
        case SQLITE_NULL:
            m_Values[column] = QVariant(QVariant::String);
            m_Texts[column] = QByteArray();
            break;
        case SQLITE_INTEGER:
            m_Values[column] = qlonglong(sqlite3_column_int64(m_pStatement, column));
            break;
        case SQLITE_FLOAT:
            m_Values[column] = sqlite3_column_double(m_pStatement, column);
            break;
        case SQLITE_BLOB:
            m_Values[column] = QByteArray(static_cast<const char*>(sqlite3_column_blob(m_pStatement, column)),
                sqlite3_column_bytes(m_pStatement, column));
            break;
        default: {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(m_pStatement, column));
            const int size = sqlite3_column_bytes(m_pStatement, column);
            QByteArray& last = m_Texts[column];
            QVariant& value = m_Values[column];
            // Most columns of a result repeat from row to row (a locality's names beside each of
            // its house groups): one string for all of them.
            if (value.userType() == QMetaType::QString && !value.isNull() && last.size() == size
                && std::memcmp(last.constData(), text, size_t(size)) == 0)
                break;
            last = QByteArray(text, size);
            value = QString::fromUtf8(text, size);
            break;
        }
        }
    }
    return true;
}

void SqliteRows::finish()
{
    m_bPending = false;
    if (m_pStatement)
        sqlite3_reset(m_pStatement);
}

QSqlRecord SqliteRows::record() const
{
    QSqlRecord columns;
    if (!m_pStatement)
        return columns;
    for (int column = 0; column < m_Values.size(); ++column)
        columns.append(QSqlField(QString::fromUtf8(sqlite3_column_name(m_pStatement, column))));
    return columns;
}

void SqliteRows::appendKey(int column, QByteArray* key) const
{
    const QVariant& value = m_Values.at(column);
    const int type = value.isNull() ? 0 : value.userType();
    key->append(char(type & 0xFF));
    const QByteArray bytes = type == QMetaType::QString ? m_Texts.at(column)
        : type == QMetaType::QByteArray                 ? value.toByteArray()
        : type == 0                                     ? QByteArray()
                                                        : value.toString().toUtf8();
    const quint32 size = quint32(bytes.size());
    key->append(reinterpret_cast<const char*>(&size), sizeof(size));
    key->append(bytes);
}
