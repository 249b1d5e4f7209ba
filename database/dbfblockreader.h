// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <qdbf/qdbftable.h>

#include <QString>

// Reads a classifier file once from start to end in blocks of 10,200 live records (the
// import's transaction size), skipping the records marked deleted. The only QObject it holds
// is the file inside its QDbfTable: the thread that opens a reader also reads and destroys it.
class DbfBlockReader {
public:
    static constexpr int BlockRows = 10200;

    bool open(const QString& path);
    // The header's record count, deleted records included.
    int size() const { return m_Table.size(); }

    // Reads the next block, handing each live record to row(nRow, record) with its 0-based
    // number among the live records; the record is valid only during the call. False when
    // no block is left. The first call always yields a block, possibly empty; a later one
    // does so while records remain unread, even if they all turn out to be deleted.
    template <typename Fn> bool readBlock(Fn row)
    {
        if (m_bStarted && (m_bEnded || m_nVisited >= m_Table.size()))
            return false;
        m_bStarted = true;
        for (int n = 0; n < BlockRows;) {
            if (!m_Table.next()) {
                m_bEnded = true;
                break;
            }
            ++m_nVisited;
            const QDbf::QDbfRecord record = m_Table.record();
            if (record.isDeleted())
                continue;
            row(m_nRows++, record);
            ++n;
        }
        return true;
    }

    // A field's text as the classifier means it: character fields are blank-padded to their
    // width in the file.
    static QString text(const QDbf::QDbfRecord& record, int nColumn);

    // The header's record count against what the file can hold: a count that is negative,
    // or larger than the records after the header, does not fit. A file that cannot be read
    // fits; its step reports it.
    struct HeaderCheck {
        bool fits = true;
        qint32 count = 0;
        qint64 holds = 0;
    };
    static HeaderCheck checkHeader(const QString& path);

private:
    QDbf::QDbfTable m_Table;
    bool m_bStarted = false;
    bool m_bEnded = false;
    int m_nVisited = 0;
    int m_nRows = 0;
};
