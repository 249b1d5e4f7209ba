#include "sqliteinsert.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

SqliteInsert::SqliteInsert(const QSqlDatabase& db, const char* sql)
{
    const QVariant handle = db.isOpen() && db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        m_Error = QStringLiteral("no SQLite connection");
        return;
    }
    m_pHandle = *static_cast<sqlite3* const*>(handle.constData());
    if (!m_pHandle) {
        m_Error = QStringLiteral("no SQLite connection");
        return;
    }
    if (sqlite3_prepare_v2(m_pHandle, sql, -1, &m_pStatement, nullptr) != SQLITE_OK) {
        m_Error = QString::fromUtf8(sqlite3_errmsg(m_pHandle));
        sqlite3_finalize(m_pStatement);
        m_pStatement = nullptr;
    }
    m_Buffer.reserve(1024);
}

SqliteInsert::~SqliteInsert()
{
    sqlite3_finalize(m_pStatement);
}

void SqliteInsert::addValue(QStringView value)
{
    const size_t offset = m_Buffer.size();
    const int n = int(value.size());
    m_Buffer.resize(offset + size_t(n) * 3);
    char* out = &m_Buffer[offset];
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
    const size_t length = size_t(out - &m_Buffer[offset]);
    m_Buffer.resize(offset + length);
    m_Values.emplace_back(offset, length);
}

bool SqliteInsert::exec()
{
    if (!m_pStatement) {
        m_Values.clear();
        m_Buffer.clear();
        return false;
    }
    // The buffer no longer moves, so SQLite may read the values in place.
    for (size_t i = 0; i < m_Values.size(); ++i) {
        sqlite3_bind_text(m_pStatement, int(i + 1), m_Buffer.data() + m_Values[i].first, int(m_Values[i].second),
            SQLITE_STATIC);
    }
    const int result = sqlite3_step(m_pStatement);
    const bool ok = result == SQLITE_DONE;
    if (!ok)
        m_Error = QString::fromUtf8(sqlite3_errmsg(m_pHandle));
    // Every parameter is bound again for the next row, so the old bindings need no clearing.
    sqlite3_reset(m_pStatement);
    m_Values.clear();
    m_Buffer.clear();
    return ok;
}
