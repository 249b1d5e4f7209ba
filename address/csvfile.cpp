// SPDX-License-Identifier: GPL-3.0-or-later
#include "csvfile.h"

#include <QIODevice>
#include <QTextCodec>

namespace Csv {

namespace {

    constexpr qint64 ChunkSize = 64 * 1024;
    const QByteArray Bom("\xEF\xBB\xBF");

    QTextCodec* cp1251()
    {
        static QTextCodec* codec = QTextCodec::codecForName("Windows-1251");
        return codec;
    }

    // Windows-1251 is one byte a character: a table built once from the codec decodes it.
    const QString& cp1251Table()
    {
        static const QString table = [] {
            QByteArray all(256, '\0');
            for (int i = 0; i < 256; ++i)
                all[i] = char(i);
            QString text = cp1251()->toUnicode(all);
            return text.size() == 256 ? text : QString::fromLatin1(all);
        }();
        return table;
    }

} // namespace

bool encodingFromName(const QString& name, Encoding* encoding)
{
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("utf-8") || n == QLatin1String("utf8")) {
        *encoding = Encoding::Utf8;
        return true;
    }
    if (n == QLatin1String("windows-1251") || n == QLatin1String("cp1251") || n == QLatin1String("1251")) {
        *encoding = Encoding::Windows1251;
        return true;
    }
    if (n == QLatin1String("auto")) {
        *encoding = Encoding::Auto;
        return true;
    }
    return false;
}

Encoding detectEncoding(const QByteArray& sample)
{
    if (sample.startsWith(Bom))
        return Encoding::Utf8;
    const int size = sample.size();
    for (int i = 0; i < size;) {
        const uchar c = uchar(sample.at(i));
        int more = 0;
        if (c < 0x80)
            more = 0;
        else if (c >= 0xC2 && c <= 0xDF)
            more = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            more = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            more = 3;
        else
            return Encoding::Windows1251;
        for (int k = 1; k <= more; ++k) {
            if (i + k >= size)
                return Encoding::Utf8; // cut at the end of the sample
            if ((uchar(sample.at(i + k)) & 0xC0) != 0x80)
                return Encoding::Windows1251;
        }
        i += more + 1;
    }
    return Encoding::Utf8;
}

char detectSeparator(const QByteArray& firstLine)
{
    int commas = 0;
    int semicolons = 0;
    bool bQuoted = false;
    for (const char c : firstLine) {
        if (c == '"')
            bQuoted = !bQuoted;
        else if (!bQuoted && c == ',')
            ++commas;
        else if (!bQuoted && c == ';')
            ++semicolons;
        else if (!bQuoted && (c == '\n' || c == '\r'))
            break;
    }
    // A header of one column says nothing; its rows are addresses with commas of their own, and
    // spreadsheets in Russian write ';'.
    return semicolons > commas || commas == 0 ? ';' : ',';
}

Reader::Reader(QIODevice* device, Encoding encoding, char separator)
    : m_pDevice(device)
    , m_Encoding(encoding)
    , m_Separator(separator)
{
}

bool Reader::fill()
{
    if (m_bEof)
        return false;
    if (m_nPos > 0) {
        m_Buffer.remove(0, m_nPos);
        m_nPos = 0;
    }
    const QByteArray chunk = m_pDevice->read(ChunkSize);
    if (chunk.isEmpty()) {
        if (!m_pDevice->atEnd())
            m_Error = m_pDevice->errorString();
        m_bEof = true;
        return false;
    }
    m_Buffer += chunk;
    return true;
}

QString Reader::decode(const QByteArray& bytes) const
{
    if (m_Encoding == Encoding::Windows1251) {
        const QString& table = cp1251Table();
        QString text(bytes.size(), Qt::Uninitialized);
        for (int i = 0; i < bytes.size(); ++i)
            text[i] = table.at(uchar(bytes.at(i)));
        return text;
    }
    return QString::fromUtf8(bytes);
}

bool Reader::next(Record* record)
{
    if (!m_bStarted) {
        m_bStarted = true;
        while (m_Buffer.size() < ChunkSize && fill()) { }
        if (m_Buffer.startsWith(Bom)) {
            m_bBom = true;
            m_nPos = Bom.size();
            m_nConsumed = Bom.size();
        }
        if (m_Encoding == Encoding::Auto)
            m_Encoding = detectEncoding(m_Buffer);
        if (m_Separator == 0)
            m_Separator = detectSeparator(m_Buffer.mid(m_nPos));
    }

    *record = Record();
    record->line = m_nLine;
    int i = m_nPos;
    // Scans one record; when the buffer ends inside it, reads more and scans again from its start.
    for (;;) {
        QByteArray field;
        QList<QByteArray> fields;
        bool bQuoted = false; // inside quotes
        bool bWasQuoted = false; // this field began with a quote
        bool bAfterQuote = false; // the closing quote was read
        int lines = 0;
        int j = i;
        bool bComplete = false;
        int endingSize = 0;
        while (j < m_Buffer.size()) {
            const char c = m_Buffer.at(j);
            if (bQuoted) {
                if (c == '"') {
                    if (j + 1 >= m_Buffer.size() && !m_bEof)
                        break; // "" may go on in the next chunk
                    if (j + 1 < m_Buffer.size() && m_Buffer.at(j + 1) == '"') {
                        field += '"';
                        j += 2;
                        continue;
                    }
                    bQuoted = false;
                    bAfterQuote = true;
                } else {
                    if (c == '\n')
                        ++lines;
                    field += c;
                }
                ++j;
                continue;
            }
            if (c == m_Separator) {
                fields << field;
                field.clear();
                bWasQuoted = bAfterQuote = false;
                ++j;
                continue;
            }
            if (c == '\n' || c == '\r') {
                if (c == '\r' && j + 1 >= m_Buffer.size() && !m_bEof)
                    break; // "\r\n" may be cut between chunks
                endingSize = c == '\r' && j + 1 < m_Buffer.size() && m_Buffer.at(j + 1) == '\n' ? 2 : 1;
                bComplete = true;
                break;
            }
            if (c == '"' && field.isEmpty() && !bWasQuoted) {
                bQuoted = bWasQuoted = true;
                ++j;
                continue;
            }
            if (bAfterQuote && record->problem.isEmpty())
                record->problem = QStringLiteral("текст после закрывающей кавычки");
            field += c;
            ++j;
        }
        if (!bComplete && !m_bEof) {
            const int offset = i - m_nPos;
            if (fill()) {
                i = m_nPos + offset;
                record->problem.clear();
                continue;
            }
        }
        if (!bComplete && j >= m_Buffer.size() && j == i && fields.isEmpty())
            return false; // nothing left
        if (bQuoted)
            record->problem = QStringLiteral("кавычка не закрыта до конца файла");
        fields << field;
        record->raw = m_Buffer.mid(i, j - i);
        record->ending = m_Buffer.mid(j, endingSize);
        for (const QByteArray& f : fields)
            record->fields << decode(f);
        const int consumed = j + endingSize - m_nPos;
        m_nPos += consumed;
        m_nConsumed += consumed;
        m_nLine += lines + (endingSize > 0 ? 1 : 0);
        return true;
    }
}

QByteArray quoteField(const QByteArray& field, char separator)
{
    if (!field.contains(separator) && !field.contains('"') && !field.contains('\n') && !field.contains('\r'))
        return field;
    QByteArray quoted = field;
    quoted.replace("\"", "\"\"");
    return '"' + quoted + '"';
}

QByteArray encode(const QString& text, Encoding encoding)
{
    if (encoding == Encoding::Windows1251 && cp1251())
        return cp1251()->fromUnicode(text);
    return text.toUtf8();
}

} // namespace Csv
