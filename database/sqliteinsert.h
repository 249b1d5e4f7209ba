// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

#include <memory>
#include <string>
#include <vector>

class QSqlDatabase;
class QSqlQuery;
struct sqlite3;
struct sqlite3_stmt;

// Text values encoded once as UTF-8 into one buffer, ready to be bound in place. A block of
// rows travels between threads as one of these instead of thousands of QStrings.
class Utf8Values {
public:
    // A null string becomes the empty string, never NULL.
    void add(QStringView value);
    size_t count() const { return m_Spans.size(); }
    const char* data(size_t i) const { return m_Bytes.data() + m_Spans[i].first; }
    int size(size_t i) const { return int(m_Spans[i].second); }
    void clear()
    {
        m_Bytes.clear();
        m_Spans.clear();
    }

private:
    std::string m_Bytes;
    std::vector<std::pair<size_t, size_t>> m_Spans; // offset and length in m_Bytes
};

// One INSERT prepared once and executed row after row with text values. The import writes
// four million rows; QSqlQuery's per-value QVariant bookkeeping and SQLite's UTF-16
// conversion cost more than SQLite's insert itself, so where it can the statement runs on the
// connection's own sqlite3* with the UTF-8 bytes bound in place.
//
// That handle may only be given to the SQLite library this program links when that library
// made it (SqliteHandle tells); otherwise (a Qt whose plug-in carries its own SQLite) the
// same statement runs as Qt's prepared query, slower but sound.
class SqliteInsert {
public:
    // direct: db's handle, made by the linked SQLite library; nullptr runs through Qt.
    SqliteInsert(const QSqlDatabase& db, sqlite3* direct, const char* sql);
    ~SqliteInsert();
    SqliteInsert(const SqliteInsert&) = delete;
    SqliteInsert& operator=(const SqliteInsert&) = delete;

    bool isValid() const { return m_pStatement != nullptr || m_pQuery != nullptr; }
    bool isDirect() const { return m_pStatement != nullptr; }
    int parameterCount() const { return m_nParameters; }

    // Runs the statement with values [first, first + parameterCount()).
    bool exec(const Utf8Values& values, size_t first);
    // The same with the values added since the last exec, which are then forgotten.
    void addValue(QStringView value) { m_Pending.add(value); }
    bool exec();
    // SQLite's message and result code for the last failure.
    QString errorText() const { return m_Error; }
    int errorCode() const { return m_nErrorCode; }

private:
    bool execDirect(const Utf8Values& values, size_t first);
    bool execQuery(const Utf8Values& values, size_t first);

    sqlite3* m_pHandle = nullptr;
    sqlite3_stmt* m_pStatement = nullptr;
    std::unique_ptr<QSqlQuery> m_pQuery;
    int m_nParameters = 0;
    Utf8Values m_Pending;
    QString m_Error;
    int m_nErrorCode = 0;
};
