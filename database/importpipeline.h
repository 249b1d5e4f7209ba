// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "classifiersource.h"
#include "dbfblockreader.h"
#include "sqliteinsert.h"
#include "tablestep.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// A block of rows as the table step inserts them: the INSERT values of each row, one after
// the other. The last block of a file that ends inside a record (cut short after its header
// was checked, or an archive entry that cannot be read on) counts the records it lacks.
struct SourceRow {
    int row = 0; // 0-based among the file's live records
};
struct SourceBlock {
    std::vector<SourceRow> rows;
    Utf8Values values;
    int unreadable = 0;
    QString readError; // what the device said, for the debug line
};

// Reads a table's DBF file in a thread of its own, one block ahead of the thread that
// inserts: reading (with the mapping and UTF-8 encoding of the values) and SQLite each take
// about half of the time. The blocks are exactly those of a reader in one thread.
//
// The reading thread opens the file itself and owns everything it uses (the file and its
// QFile, a copy of the type names); only finished blocks of UTF-8 bytes cross to the other
// thread, so no Qt object is used by two threads. QStrings made in one thread and freed in
// the other would also cost more in the allocator than the overlap gains.
class ImportPipeline {
public:
    ImportPipeline(const TableStep& step, const TypeNames& types);
    ~ImportPipeline();
    ImportPipeline(const ImportPipeline&) = delete;
    ImportPipeline& operator=(const ImportPipeline&) = delete;

    // Starts the reading thread on fileName of source and waits until it has opened the file.
    // False when the file cannot be opened (why in *error, when the source says); the thread
    // has then ended.
    bool open(const ClassifierSource& source, const QString& fileName, QString* error);
    // Whether open() also checks the header against the file before any row is read: the
    // table's own step checks an archive's files, where a check of its own would cost another
    // pass of decompression. header() tells why open() failed when it did not fit.
    void setCheckHeader(bool bCheck) { m_bCheckHeader = bCheck; }
    DbfBlockReader::HeaderCheck header() const { return m_Header; }
    // The header's record count, once open.
    int size() const { return m_nSize; }

    // The next block in file order; false when the file is done or the pipeline stopped.
    bool next(SourceBlock& block);
    // Stops the reading thread after its current block (when it has not finished) and
    // waits for it. Returns the number of blocks it read.
    int finish();

private:
    enum class OpenState { Opening, Open, Failed };

    void read(const ClassifierSource& source, const QString& fileName);
    bool push(SourceBlock&& block);
    void close();

    const TableStep& m_Step;
    const TypeNames m_Types;
    std::thread m_Reader;
    int m_nSize = 0;
    int m_nBlocks = 0; // written by the reading thread, read after it has ended

    std::mutex m_Mutex;
    std::condition_variable m_Ready;
    std::condition_variable m_Space;
    OpenState m_OpenState = OpenState::Opening;
    QString m_OpenError;
    bool m_bCheckHeader = false;
    DbfBlockReader::HeaderCheck m_Header;
    std::deque<SourceBlock> m_Blocks; // at most two wait, so memory does not grow with the file
    bool m_bClosed = false;
    bool m_bAborted = false;
};
