// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "classifiersource.h"

#include <qdbf/qdbftable.h>

#include <QString>

#include <memory>

// Reads a classifier file once from start to end in blocks of 10,200 live records (the
// import's transaction size), skipping the records marked deleted. The Qt objects it holds
// (the device and the table over it) belong to the thread that opens the reader, which also
// reads and destroys it.
class DbfBlockReader {
public:
    static constexpr int BlockRows = 10200;

    // Opens fileName of source; false with the reason in *error (empty when the file is
    // there but no DBF table).
    bool open(const ClassifierSource& source, const QString& fileName, QString* error);
    // Reads the table from a device opened by the caller, who keeps it.
    bool open(QIODevice* device);
    // The header's record count, deleted records included.
    int size() const { return m_Table.size(); }

    // Reads the next block, handing each live record to row(nRow, record) with its 0-based
    // number among the live records; the record is valid only during the call. False when
    // no block is left. The first call always yields a block, possibly empty; a later one
    // does so while records remain unread, even if they all turn out to be deleted. A record
    // the file does not hold in full ends the reading: see unreadable().
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
            const QDbf::QDbfRecord record = m_Table.record();
            if (m_Table.error() != QDbf::QDbfTable::NoError) {
                m_nUnreadable = m_Table.size() - m_nVisited;
                m_bEnded = true;
                break;
            }
            ++m_nVisited;
            if (record.isDeleted())
                continue;
            row(m_nRows++, record);
            ++n;
        }
        return true;
    }
    // The records the header announces that could not be read (the file or archive entry
    // ended inside one, or could not be read on).
    int unreadable() const { return m_nUnreadable; }
    // Why the reading stopped early, when the device says.
    QString deviceError() const;

    // A field's text as the classifier means it: character fields are blank-padded to their
    // width in the file.
    static QString text(const QDbf::QDbfRecord& record, int nColumn);

    // The header against the file: the size must be the header length plus count × record
    // length (an end-of-file byte after them allowed), and the record length must hold the
    // deletion flag and every field. fileSize -1 (not known) checks only the latter.
    struct HeaderCheck {
        bool fits = true;
        qint64 size = 0; // the file's size
        qint64 expected = 0; // what the header says it is
        int recordLength = 0;
        int fieldsLength = 0; // 1 + the sum of the field lengths
    };
    static HeaderCheck checkHeader(QIODevice& device);
    // The same for the table this reader has opened, before its first record is read.
    HeaderCheck checkHeader() const;
    static HeaderCheck checkHeader(const QDbf::QDbfTable& table, qint64 fileSize);

private:
    std::unique_ptr<QIODevice> m_pDevice;
    QDbf::QDbfTable m_Table;
    bool m_bStarted = false;
    bool m_bEnded = false;
    int m_nVisited = 0;
    int m_nRows = 0;
    int m_nUnreadable = 0;
};
