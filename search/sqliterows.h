// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSqlError>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

struct sqlite3;
struct sqlite3_stmt;

// The rows of one statement read through the SQLite library directly, for the search's hot loop:
// Qt's driver makes every text UTF-16 inside SQLite, a QVariant of it and a cached row before the
// caller sees it. The values are those Qt's driver gives (text as QString, NULL as a null
// QString, integers as qlonglong, reals as double, blobs as QByteArray), and a failure the same
// QSqlError. Used by the thread that owns the connection; finalized before the connection closes.
class SqliteRows {
public:
    explicit SqliteRows(sqlite3* handle);
    ~SqliteRows();
    SqliteRows(const SqliteRows&) = delete;
    SqliteRows& operator=(const SqliteRows&) = delete;

    // False, with lastError(), when sql does not compile.
    bool prepare(const QString& sql);
    // Runs the statement from its start with values bound to its parameters in order, the first
    // row read; false with lastError() on failure.
    bool exec(const QStringList& values = QStringList());
    // The next row (the first after exec()); false at the end, or on failure with lastError().
    bool next();
    // Ends the statement's read, so that it holds no lock.
    void finish();

    // The statement's columns, names only.
    QSqlRecord record() const;
    int columnCount() const { return m_Values.size(); }
    // The current row's value; a text equal to the previous row's shares its string.
    const QVariant& value(int column) const { return m_Values.at(column); }
    // Appends the current row's value to key so that two rows give the same key only when they
    // hold the same values: its type, its length and its bytes.
    void appendKey(int column, QByteArray* key) const;

    const QSqlError& lastError() const { return m_Error; }

private:
    bool step();
    void setError(const char* text, QSqlError::ErrorType type, int code);

    sqlite3* m_pHandle;
    sqlite3_stmt* m_pStatement = nullptr;
    bool m_bPending = false;
    QVector<QVariant> m_Values;
    // The bytes each text value was made from, to share the string while they repeat.
    QVector<QByteArray> m_Texts;
    QSqlError m_Error;
};
