// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>

#include <array>

class Utf8Values;

namespace QDbf {
class QDbfRecord;
}

// Object-type abbreviation to full type name, read from SOCRBASE.DBF.
using TypeNames = QHash<QString, QString>;

// One of the three data tables the import builds (steps 2 to 4): where its rows come from,
// what it says while it does so, and how a DBF record becomes its INSERT values.
struct TableStep {
    // Adds the INSERT values of one record, in the order of the table's INSERT statement.
    using MapRow = void (*)(Utf8Values& values, const QDbf::QDbfRecord& record, const TypeNames& types);

    struct LogLines {
        const char* exists = nullptr; // nullptr: the step says nothing here (DOMA)
        const char* missing = nullptr;
        const char* creating = nullptr;
        const char* createFailedPrefix = nullptr; // followed by SQLite's text and "'"
    };
    struct DebugLines {
        const char* openFailed = nullptr;
        const char* createFailed = nullptr;
        const char* insertFailed = nullptr;
    };

    const char* table = nullptr;
    const char* file = nullptr; // after the local database directory, "/BASE/KLADR.DBF"
    const char* stepText = nullptr; // progress caption
    LogLines log;
    DebugLines debug;
    const char* createStatement = nullptr;
    const char* insertStatement = nullptr;
    MapRow map = nullptr;

    // The file's name without the directory, "KLADR.DBF".
    QString fileName() const;
    // A table is filled under its working name and renamed to its own only by the transaction
    // that completes it, so a table under its own name always holds every record of its file.
    QString workingName() const;
    // The schema statements, aimed at the working name.
    QString createWorkingTable() const;
    QString insertIntoWorkingTable() const;
};

// KLADR, STREET and DOMA, in the order the import builds them.
const std::array<TableStep, 3>& tableSteps();
