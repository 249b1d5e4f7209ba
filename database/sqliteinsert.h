#pragma once

#include <QString>
#include <QStringView>

#include <string>
#include <vector>

class QSqlDatabase;
struct sqlite3;
struct sqlite3_stmt;

// One INSERT prepared on a Qt SQLite connection's own handle and executed with bound UTF-8
// text. The import writes four million rows; QSqlQuery's per-value QVariant bookkeeping and
// SQLite's UTF-16 conversion cost more than SQLite's insert itself.
class SqliteInsert {
public:
    SqliteInsert(const QSqlDatabase& db, const char* sql);
    ~SqliteInsert();
    SqliteInsert(const SqliteInsert&) = delete;
    SqliteInsert& operator=(const SqliteInsert&) = delete;

    bool isValid() const { return m_pStatement != nullptr; }

    // Values in parameter order; a null string is stored as the empty string, never NULL.
    void addValue(QStringView value);
    // Runs the statement with the values added since the last exec, then forgets them.
    bool exec();
    // SQLite's message for the last failure.
    QString errorText() const { return m_Error; }

private:
    sqlite3* m_pHandle = nullptr;
    sqlite3_stmt* m_pStatement = nullptr;
    std::string m_Buffer;
    std::vector<std::pair<size_t, size_t>> m_Values; // offset and length in m_Buffer
    QString m_Error;
};
