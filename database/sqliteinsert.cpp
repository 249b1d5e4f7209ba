// SPDX-License-Identifier: GPL-3.0-or-later
#include "sqliteinsert.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

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

SqliteInsert::SqliteInsert(const QSqlDatabase& db, const char* sql)
{
    const QVariant handle = db.isOpen() && db.driver() ? db.driver()->handle() : QVariant();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        m_pHandle = *static_cast<sqlite3* const*>(handle.constData());
    if (!m_pHandle) {
        m_Error = QStringLiteral("no SQLite connection");
        return;
    }
    if ((m_nErrorCode = sqlite3_prepare_v2(m_pHandle, sql, -1, &m_pStatement, nullptr)) != SQLITE_OK) {
        m_Error = QString::fromUtf8(sqlite3_errmsg(m_pHandle));
        sqlite3_finalize(m_pStatement);
        m_pStatement = nullptr;
    }
}

SqliteInsert::~SqliteInsert()
{
    sqlite3_finalize(m_pStatement);
}

int SqliteInsert::parameterCount() const
{
    return m_pStatement ? sqlite3_bind_parameter_count(m_pStatement) : 0;
}

bool SqliteInsert::exec(const Utf8Values& values, size_t first)
{
    if (!m_pStatement)
        return false;
    const int n = sqlite3_bind_parameter_count(m_pStatement);
    if (first + size_t(n) > values.count()) {
        m_Error = QStringLiteral("%1 values for %2 parameters").arg(values.count() - first).arg(n);
        return false;
    }
    // The values stay put until the step is done, so SQLite may read them in place.
    for (int i = 0; i < n; ++i)
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

bool SqliteInsert::exec()
{
    const bool ok = exec(m_Pending, 0);
    m_Pending.clear();
    return ok;
}
