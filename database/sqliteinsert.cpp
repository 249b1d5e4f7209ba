// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqliteinsert.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

#include <algorithm>

void Utf8Values::add(QStringView value)
{
    const size_t offset = m_Bytes.size();
    const int n = int(value.size());
    m_Bytes.resize(offset + size_t(n) * 3);
    char* out = &m_Bytes[offset];
    const char16_t* in = value.utf16();
    for (int i = 0; i < n; ++i) {
        const uint c = in[i];
        if (c < 0x80) {
            *out++ = char(c);
        } else if (c < 0x800) {
            *out++ = char(0xC0 | (c >> 6));
            *out++ = char(0x80 | (c & 0x3F));
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(uint(in[i + 1]))) {
            const uint u = QChar::surrogateToUcs4(char16_t(c), in[++i]);
            *out++ = char(0xF0 | (u >> 18));
            *out++ = char(0x80 | ((u >> 12) & 0x3F));
            *out++ = char(0x80 | ((u >> 6) & 0x3F));
            *out++ = char(0x80 | (u & 0x3F));
        } else {
            // A lone surrogate cannot be encoded; it becomes U+FFFD as in Qt's own conversion.
            const uint u = QChar::isSurrogate(c) ? 0xFFFD : c;
            *out++ = char(0xE0 | (u >> 12));
            *out++ = char(0x80 | ((u >> 6) & 0x3F));
            *out++ = char(0x80 | (u & 0x3F));
        }
    }
    const size_t length = size_t(out - &m_Bytes[offset]);
    m_Bytes.resize(offset + length);
    m_Spans.emplace_back(offset, length);
}

namespace {

// Qt's SQLite driver keeps SQLite's result code as the native error code.
int resultCode(const QSqlError& error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? code : SQLITE_ERROR;
}

} // namespace

SqliteInsert::SqliteInsert(const QSqlDatabase& db, sqlite3* direct, const char* sql)
{
    if (!db.isOpen()) {
        m_Error = QStringLiteral("no SQLite connection");
        return;
    }
    if (direct) {
        m_pHandle = direct;
        m_nErrorCode = sqlite3_prepare_v2(m_pHandle, sql, -1, &m_pStatement, nullptr);
        if (m_nErrorCode != SQLITE_OK) {
            m_Error = QString::fromUtf8(sqlite3_errmsg(m_pHandle));
            sqlite3_finalize(m_pStatement);
            m_pStatement = nullptr;
            return;
        }
        m_nParameters = sqlite3_bind_parameter_count(m_pStatement);
        return;
    }
    auto query = std::make_unique<QSqlQuery>(db);
    query->setForwardOnly(true);
    if (!query->prepare(QString::fromUtf8(sql))) {
        m_Error = query->lastError().databaseText();
        m_nErrorCode = resultCode(query->lastError());
        return;
    }
    m_pQuery = std::move(query);
    // The import's statements hold no literals: every '?' is a parameter.
    m_nParameters = int(std::count(sql, sql + qstrlen(sql), '?'));
}

SqliteInsert::~SqliteInsert()
{
    sqlite3_finalize(m_pStatement);
}

bool SqliteInsert::exec(const Utf8Values& values, size_t first)
{
    if (!isValid())
        return false;
    if (first + size_t(m_nParameters) > values.count()) {
        m_Error
            = QStringLiteral("%1 values for %2 parameters").arg(values.count() - first).arg(m_nParameters);
        return false;
    }
    return m_pStatement ? execDirect(values, first) : execQuery(values, first);
}

bool SqliteInsert::execDirect(const Utf8Values& values, size_t first)
{
    // The values stay put until the step is done, so SQLite may read them in place.
    for (int i = 0; i < m_nParameters; ++i)
        sqlite3_bind_text(m_pStatement, i + 1, values.data(first + size_t(i)), values.size(first + size_t(i)),
            SQLITE_STATIC);
    const int result = sqlite3_step(m_pStatement);
    const bool ok = result == SQLITE_DONE;
    if (!ok) {
        m_nErrorCode = result;
        m_Error = QString::fromUtf8(sqlite3_errmsg(m_pHandle));
    }
    // Every parameter is bound again for the next row, so the old bindings need no clearing.
    sqlite3_reset(m_pStatement);
    return ok;
}

bool SqliteInsert::execQuery(const Utf8Values& values, size_t first)
{
    for (int i = 0; i < m_nParameters; ++i) {
        const QString value
            = QString::fromUtf8(values.data(first + size_t(i)), values.size(first + size_t(i)));
        // Qt binds a null string as NULL.
        m_pQuery->bindValue(i, value.isNull() ? QStringLiteral("") : value);
    }
    if (m_pQuery->exec())
        return true;
    const QSqlError error = m_pQuery->lastError();
    m_nErrorCode = resultCode(error);
    m_Error = error.databaseText();
    return false;
}

bool SqliteInsert::exec()
{
    const bool ok = exec(m_Pending, 0);
    m_Pending.clear();
    return ok;
}
