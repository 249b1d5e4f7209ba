// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QIODevice;

// CSV as spreadsheets save it: comma or semicolon, fields in double quotes when they hold a
// separator, a quote ("" inside) or a line break; UTF-8 with or without a byte-order mark, or
// Windows-1251. Records are read one at a time, so a file of any length takes the same memory.
namespace Csv {

enum class Encoding { Auto, Utf8, Windows1251 };

// "utf-8", "utf8", "windows-1251", "cp1251", "1251" (any case); false for anything else.
bool encodingFromName(const QString& name, Encoding* encoding);

// UTF-8 when the bytes begin with its byte-order mark or are valid UTF-8 (a sequence cut at the
// end of the sample counts as valid), Windows-1251 otherwise.
Encoding detectEncoding(const QByteArray& sample);
// The separator of a first line: the one of ';' and ',' that occurs more often outside quotes
// (',' when both do equally, ';' when neither does: a list of one column).
char detectSeparator(const QByteArray& firstLine);

struct Record {
    QStringList fields;
    // The record's bytes as read, without its line ending, to be written back unchanged.
    QByteArray raw;
    // The record's line ending ("\r\n", "\n", or empty at the end of the file).
    QByteArray ending;
    // The file line the record starts on, counted from 1.
    qint64 line = 0;
    // Why the record cannot be read as fields (a quote left open, text after a closing quote);
    // empty when it can.
    QString problem;
};

class Reader {
public:
    // encoding Auto decides from the first 64 KiB; separator 0 decides from the first line.
    explicit Reader(QIODevice* device, Encoding encoding = Encoding::Auto, char separator = 0);

    // False at the end of the file or on a read error (see error()).
    bool next(Record* record);

    Encoding encoding() const { return m_Encoding; }
    char separator() const { return m_Separator; }
    bool hasByteOrderMark() const { return m_bBom; }
    const QString& error() const { return m_Error; }
    // Bytes consumed so far, for progress.
    qint64 position() const { return m_nConsumed; }

private:
    bool fill();
    QString decode(const QByteArray& bytes) const;

    QIODevice* m_pDevice;
    Encoding m_Encoding;
    char m_Separator;
    bool m_bBom = false;
    bool m_bStarted = false;
    bool m_bEof = false;
    QByteArray m_Buffer;
    int m_nPos = 0;
    qint64 m_nConsumed = 0;
    qint64 m_nLine = 1;
    QString m_Error;
};

// A field as it must be written: quoted when it holds the separator, a quote or a line break.
QByteArray quoteField(const QByteArray& field, char separator);
// Text in the encoding (UTF-8 or Windows-1251; a character 1251 lacks becomes '?').
QByteArray encode(const QString& text, Encoding encoding);

} // namespace Csv
