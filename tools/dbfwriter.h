// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFile>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

// Writes a new dBASE III table of character (and date) fields in the classifier's layout (version byte
// 0x03, code-page byte 0x00, text in IBM 866), streaming millions of records through one buffer.
// The DBF library opens existing tables only, so the sample classifier and the tests create
// their files with this; the byte layout comes from the library's QDbf::Format.
class DbfWriter {
public:
    struct Field {
        QByteArray name; // at most 10 ASCII characters
        int length = 0; // 1..254
        // 'C', or 'D' for a date field whose value is written as "yyyyMMdd" text.
        char type = 'C';
    };

    DbfWriter() = default;
    ~DbfWriter();
    DbfWriter(const DbfWriter&) = delete;
    DbfWriter& operator=(const DbfWriter&) = delete;

    // Creates (or truncates) the file and writes the header with a record count of 0.
    bool open(const QString& path, const QVector<Field>& fields);
    // Values beyond the field count are ignored, missing ones are blank; each value is cut to its
    // field's length and padded with blanks. A character IBM 866 lacks is written as '?'.
    void append(const QStringList& values, bool bDeleted = false);
    // Writes the end-of-file byte and the final record count.
    bool close();

    qint64 recordCount() const { return m_nRecords; }
    QString errorString() const { return m_Error; }

private:
    void flushBuffer();

    QFile m_File;
    QVector<Field> m_Fields;
    int m_nRecordLength = 0;
    qint64 m_nRecords = 0;
    QByteArray m_Buffer;
    QString m_Error;
    bool m_bFailed = false;
};
