// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVariantList>

// A KLADR.sqlite written row by row for search tests: the real schema and indexes, the rows
// the test needs. Codes are given as the 11-character KLADR code (15 for streets).
class SearchTestDatabase {
public:
    // Existing: opens a database written before, creating nothing.
    enum Indexes { AllIndexes, WithoutIndexes, Existing };

    explicit SearchTestDatabase(const QString& fileName, Indexes indexes = AllIndexes);
    ~SearchTestDatabase();

    const QString& fileName() const { return m_FileName; }
    // False when a statement failed; the first error is in error().
    bool isValid() const { return m_Error.isEmpty(); }
    const QString& error() const { return m_Error; }

    void addLocality(const QString& name, const QString& scname, const QString& socr, const QString& code,
        const QString& index, const QString& codeSt = QStringLiteral("00"));
    void addStreet(const QString& name, const QString& scname, const QString& socr, const QString& code,
        const QString& index);
    void addHouses(const QString& name, const QString& streetCode, const QString& index);
    void exec(const QString& statement);
    // The distinct-name tables, as the import builds them after its tables.
    void addNameTables();

    // Closes the connection, so that the file can be read by the code under test.
    void close();

private:
    void insert(const char* statement, const QVariantList& values);

    QString m_FileName;
    QString m_Connection;
    QString m_Error;
};
