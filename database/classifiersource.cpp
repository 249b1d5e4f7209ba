// SPDX-License-Identifier: GPL-3.0-or-later
#include "classifiersource.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <mutex>

namespace {

QString u(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// The file name of an entry stored at the archive's top or one folder down, or an empty
// string for anything deeper (or a folder).
QString entryFileName(const char* pathname)
{
    if (!pathname)
        return QString();
    const QStringList parts = QString::fromUtf8(pathname).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty() || parts.size() > 2 || QByteArray(pathname).endsWith('/'))
        return QString();
    return parts.last();
}

int indexOfName(const QStringList& names, const QString& name)
{
    for (int i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

// One pass over an archive with libarchive, from entry to entry.
class ArchiveReader {
public:
    explicit ArchiveReader(const QString& path)
        : m_Path(path)
        , m_pArchive(archive_read_new())
    {
        archive_read_support_format_7zip(m_pArchive);
        archive_read_support_format_zip(m_pArchive);
        archive_read_support_filter_all(m_pArchive);
    }
    ~ArchiveReader() { archive_read_free(m_pArchive); }
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    bool open(QString* error)
    {
        if (archive_read_open_filename(m_pArchive, QFile::encodeName(m_Path).constData(), 1 << 16)
            == ARCHIVE_OK)
            return true;
        *error = u("Не удалось открыть архив '") + m_Path + u("': ") + libraryError() + QLatin1Char('.');
        return false;
    }

    // Moves to the next entry whose file name is one of names; 1 with its index in *index, 0
    // at the end of the archive, -1 with the reason in *error.
    int next(const QStringList& names, int* index, QString* error)
    {
        for (;;) {
            if (!passOver()) {
                *error = damaged(m_EntryName);
                return -1;
            }
            archive_entry* entry = nullptr;
            const int status = archive_read_next_header(m_pArchive, &entry);
            if (status == ARCHIVE_EOF)
                return 0;
            if (status < ARCHIVE_WARN) {
                *error = damaged(QString());
                return -1;
            }
            m_bEntry = true;
            m_nSize = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
            m_nRead = 0;
            m_EntryName = entryFileName(archive_entry_pathname(entry));
            const int i = m_EntryName.isEmpty() ? -1 : indexOfName(names, m_EntryName);
            if (i < 0)
                continue;
            if (archive_entry_is_data_encrypted(entry) || archive_entry_is_metadata_encrypted(entry)) {
                *error = u("Файл ") + m_EntryName + u(" в архиве '") + m_Path
                    + u("' зашифрован: зашифрованные архивы не поддерживаются, распакуйте архив.");
                return -1;
            }
            *index = i;
            return 1;
        }
    }

    // The file names of the entries at the top or one folder down, in the order stored. No data
    // is read: libarchive then passes over an entry without decompressing it.
    bool names(QStringList* names, QString* error)
    {
        for (;;) {
            archive_entry* entry = nullptr;
            const int status = archive_read_next_header(m_pArchive, &entry);
            if (status == ARCHIVE_EOF)
                return true;
            if (status < ARCHIVE_WARN) {
                *error = damaged(QString());
                return false;
            }
            const QString name = entryFileName(archive_entry_pathname(entry));
            if (!name.isEmpty())
                *names << name;
        }
    }

    // Reads the current entry's data; -1 on an error, which *error then describes.
    qint64 read(char* data, qint64 maxSize, QString* error)
    {
        const la_ssize_t got = archive_read_data(m_pArchive, data, size_t(maxSize));
        if (got < 0) {
            *error = damaged(m_EntryName);
            return -1;
        }
        m_nRead += got;
        if (got == 0 && maxSize > 0 && m_nSize >= 0 && m_nRead < m_nSize) {
            *error = u("Файл ") + m_EntryName + u(" в архиве '") + m_Path + u("' обрывается: прочитано байт ")
                + QString::number(m_nRead) + u(" из ") + QString::number(m_nSize) + QLatin1Char('.');
            return -1;
        }
        return got;
    }

    qint64 entrySize() const { return m_nSize; }
    QString entryName() const { return m_EntryName; }
    QString path() const { return m_Path; }

private:
    QString libraryError() const
    {
        const char* text = archive_error_string(m_pArchive);
        return text ? QString::fromLocal8Bit(text) : u("неизвестная ошибка");
    }

    QString damaged(const QString& entryName) const
    {
        return u("Архив '") + m_Path + u("' повреждён или не читается")
            + (entryName.isEmpty() ? QString() : u(" (файл ") + entryName + QLatin1Char(')')) + u(": ")
            + libraryError() + QLatin1Char('.');
    }

    // libarchive 3.6.2 (fixed in 3.7.5) loses its place in a 7-Zip archive when it skips an
    // entry whose size is a multiple of 65,536 bytes: the next entry then fails with
    // "Truncated 7-Zip file body". Such an entry is read through instead of skipped; in a
    // solid archive skipping decompresses the entry all the same.
    bool passOver()
    {
        if (!m_bEntry || m_nSize <= 0 || m_nSize % 65536 != 0 || m_nRead >= m_nSize)
            return true;
        static thread_local char sink[65536];
        for (;;) {
            const la_ssize_t got = archive_read_data(m_pArchive, sink, sizeof sink);
            if (got < 0)
                return false;
            if (got == 0)
                return true;
            m_nRead += got;
        }
    }

    const QString m_Path;
    archive* m_pArchive;
    bool m_bEntry = false;
    qint64 m_nSize = -1;
    qint64 m_nRead = 0;
    QString m_EntryName;
};

} // namespace

struct ArchivePosition {
    std::mutex mutex;
    std::unique_ptr<ArchiveReader> parked;
    QStringList order; // the wanted files in the order the archive holds them
    bool listed = false; // order holds every file of the archive
    QString listError;

    // One pass over the headers, once: then every open() knows whether the parked reader is
    // still before the file it wants. Called with the mutex held.
    void list(const QString& path)
    {
        if (listed)
            return;
        listed = true;
        ArchiveReader reader(path);
        QStringList names;
        if (reader.open(&listError) && reader.names(&names, &listError))
            order = names;
    }
};

namespace {

// One entry of an archive as a sequential device, read as it is decompressed. size() is the
// entry's size as the archive records it (-1 when it does not). A reader it owns is parked in
// position when the device goes, for the next entry.
class ArchiveEntryDevice : public QIODevice {
public:
    ArchiveEntryDevice(ArchiveReader* reader, bool bOwnsReader, QSharedPointer<ArchivePosition> position = {})
        : m_pReader(reader)
        , m_bOwnsReader(bOwnsReader)
        , m_pPosition(std::move(position))
    {
    }
    ~ArchiveEntryDevice() override
    {
        if (!m_bOwnsReader)
            return;
        if (m_pPosition) {
            std::lock_guard<std::mutex> lock(m_pPosition->mutex);
            m_pPosition->parked.reset(m_pReader);
        } else {
            delete m_pReader;
        }
    }

    bool isSequential() const override { return true; }
    qint64 size() const override { return m_pReader->entrySize(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        QString error;
        const qint64 got = m_pReader->read(data, maxSize, &error);
        if (got < 0)
            setErrorString(error);
        return got;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    ArchiveReader* m_pReader;
    bool m_bOwnsReader;
    QSharedPointer<ArchivePosition> m_pPosition;
};

} // namespace

ClassifierSource ClassifierSource::baseDirectory(const QString& localDbDir)
{
    ClassifierSource source;
    source.m_Location = localDbDir + QStringLiteral("/BASE");
    source.m_bExactNames = true;
    return source;
}

ClassifierSource ClassifierSource::from(const QString& path)
{
    ClassifierSource source;
    source.m_Location = QDir::cleanPath(path);
    source.m_bArchive = !QFileInfo(path).isDir();
    source.m_Kept.reset(new QHash<QString, QByteArray>);
    if (source.m_bArchive)
        source.m_pPosition = QSharedPointer<ArchivePosition>::create();
    return source;
}

QString ClassifierSource::describe(const QString& fileName) const
{
    if (m_bArchive)
        return m_Location + QLatin1Char(':') + fileName;
    const QString found = findInDirectory(fileName);
    return found.isEmpty() ? m_Location + QLatin1Char('/') + fileName : found;
}

QString ClassifierSource::findInDirectory(const QString& fileName) const
{
    if (m_bExactNames)
        return m_Location + QLatin1Char('/') + fileName;
    const QDir top(m_Location);
    const auto find = [&fileName](const QDir& dir) {
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
            if (name.compare(fileName, Qt::CaseInsensitive) == 0)
                return dir.filePath(name);
        }
        return QString();
    };
    QString found = find(top);
    if (!found.isEmpty())
        return found;
    for (const QString& sub : top.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        found = find(QDir(top.filePath(sub)));
        if (!found.isEmpty())
            return found;
    }
    return QString();
}

std::unique_ptr<QIODevice> ClassifierSource::open(const QString& fileName, QString* error) const
{
    if (m_Kept && m_Kept->contains(fileName)) {
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(m_Kept->value(fileName));
        buffer->open(QIODevice::ReadOnly);
        return buffer;
    }
    if (!m_bArchive) {
        const QString path = findInDirectory(fileName);
        auto file = std::make_unique<QFile>(path);
        if (!path.isEmpty() && file->open(QIODevice::ReadOnly))
            return file;
        *error = path.isEmpty() ? u("В каталоге '") + m_Location + u("' нет файла ") + fileName
                + u(" (ни в нём, ни в его подкаталогах).")
                                : u("Не удалось открыть файл '") + path + u("': ") + file->errorString();
        return nullptr;
    }
    std::unique_ptr<ArchiveReader> reader;
    {
        // Going on from the entry read last saves decompressing everything before it again.
        std::lock_guard<std::mutex> lock(m_pPosition->mutex);
        m_pPosition->list(m_Location);
        if (m_pPosition->parked) {
            const int at = indexOfName(m_pPosition->order, m_pPosition->parked->entryName());
            if (at >= 0 && at < indexOfName(m_pPosition->order, fileName))
                reader = std::move(m_pPosition->parked);
            m_pPosition->parked.reset();
        }
    }
    if (!reader) {
        reader = std::make_unique<ArchiveReader>(m_Location);
        if (!reader->open(error))
            return nullptr;
    }
    int index = -1;
    const int found = reader->next({ fileName }, &index, error);
    if (found <= 0) {
        if (found == 0)
            *error = u("В архиве '") + m_Location + u("' нет файла ") + fileName
                + u(" (ни в корне, ни в папке первого уровня).");
        return nullptr;
    }
    auto device = std::make_unique<ArchiveEntryDevice>(reader.release(), true, m_pPosition);
    device->open(QIODevice::ReadOnly);
    return device;
}

bool ClassifierSource::visit(const QStringList& fileNames,
    const std::function<bool(const QString&, QIODevice&)>& visit, QString* error) const
{
    QStringList missing = fileNames;
    if (!m_bArchive) {
        for (const QString& name : fileNames) {
            std::unique_ptr<QIODevice> device = open(name, error);
            // In BASE/ a file that does not open is reported by its own step, as always.
            if (!device && m_bExactNames) {
                error->clear();
                continue;
            }
            if (!device)
                return false;
            missing.removeOne(name);
            if (!visit(name, *device))
                return false;
        }
        return true;
    }
    ArchiveReader reader(m_Location);
    if (!reader.open(error))
        return false;
    for (;;) {
        int index = -1;
        const int found = reader.next(missing, &index, error);
        if (found < 0)
            return false;
        if (found == 0)
            break;
        const QString name = missing.takeAt(index);
        {
            std::lock_guard<std::mutex> lock(m_pPosition->mutex);
            if (indexOfName(m_pPosition->order, name) < 0)
                m_pPosition->order << name;
        }
        ArchiveEntryDevice device(&reader, false);
        device.open(QIODevice::ReadOnly);
        if (!visit(name, device))
            return false;
        if (missing.isEmpty())
            return true;
    }
    *error = u("В архиве '") + m_Location + u("' нет файла ") + missing.join(QStringLiteral(", "))
        + u(" (ни в корне, ни в папке первого уровня).");
    return false;
}

QStringList ClassifierSource::fileNames(QString* error) const
{
    if (m_bArchive) {
        std::lock_guard<std::mutex> lock(m_pPosition->mutex);
        m_pPosition->list(m_Location);
        if (!m_pPosition->listError.isEmpty())
            *error = m_pPosition->listError;
        return m_pPosition->listError.isEmpty() ? m_pPosition->order : QStringList();
    }
    const QDir top(m_Location);
    QStringList names = top.entryList(QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
    if (!m_bExactNames) {
        for (const QString& sub : top.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
            names += QDir(top.filePath(sub))
                         .entryList(QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
    }
    return names;
}

void ClassifierSource::keep(const QString& fileName, const QByteArray& bytes) const
{
    if (m_Kept)
        m_Kept->insert(fileName, bytes);
}
