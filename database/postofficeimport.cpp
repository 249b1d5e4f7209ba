// SPDX-License-Identifier: GPL-3.0-or-later
#include "postofficeimport.h"

#include "schema.h"
#include "typedictionary.h"

#include <qdbf/qdbfformat.h>
#include <qdbf/qdbftable.h>

#include <QDate>
#include <QDebug>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <array>
#include <memory>

namespace {

// The file's fields in the order of the table's INSERT.
enum Column { Index, Name, Type, Parent, Region, Autonom, Area, City, City1, ActDate, IndexOld, ColumnCount };
const std::array<const char*, ColumnCount> FieldNames = { "INDEX", "OPSNAME", "OPSTYPE", "OPSSUBM", "REGION",
    "AUTONOM", "AREA", "CITY", "CITY_1", "ACTDATE", "INDEXOLD" };

QString workingName()
{
    return QLatin1String(Schema::PostOffices) + QStringLiteral("_partial");
}

QString onWorkingTable(const char* statement)
{
    QString sql = QLatin1String(statement);
    return sql.replace(QLatin1String(Schema::PostOffices), workingName());
}

// Each column's field number in the file, -1 for a field it lacks.
std::array<int, ColumnCount> fieldPositions(const QDbf::QDbfRecord& layout)
{
    std::array<int, ColumnCount> positions;
    positions.fill(-1);
    for (int f = 0; f < layout.count(); ++f) {
        const QString name = layout.fieldName(f).trimmed().toUpper();
        for (int c = 0; c < ColumnCount; ++c) {
            if (positions[c] < 0 && name == QLatin1String(FieldNames[c]))
                positions[c] = f;
        }
    }
    return positions;
}

// An index may come as a number field: leading zeros are put back.
QString indexText(const QVariant& value)
{
    if (value.type() == QVariant::Double)
        return QString::number(qint64(value.toDouble())).rightJustified(6, QLatin1Char('0'));
    return value.toString().trimmed();
}

// ACTDATE is a D field in some editions and a C field ("yyyyMMdd" or "dd.MM.yyyy") in others;
// the table keeps the ISO date, or the text as given when it is no date.
QString dateText(const QVariant& value)
{
    if (value.type() == QVariant::Date)
        return value.toDate().isValid() ? value.toDate().toString(Qt::ISODate) : QString();
    const QString text = value.toString().trimmed();
    for (const QString& format : { QStringLiteral("yyyyMMdd"), QStringLiteral("dd.MM.yyyy") }) {
        const QDate date = QDate::fromString(text, format);
        if (date.isValid())
            return date.toString(Qt::ISODate);
    }
    return text;
}

QString columnText(const QDbf::QDbfRecord& record, int nField, int nColumn)
{
    if (nField < 0)
        return QString();
    const QVariant value = record.value(nField);
    switch (nColumn) {
    case Index:
    case Parent:
    case IndexOld:
        return indexText(value);
    case ActDate:
        return dateText(value);
    default:
        return value.type() == QVariant::Double ? QString::number(value.toDouble())
                                                : value.toString().trimmed();
    }
}

// Another device read as it is but for the header's code-page byte, read as IBM 866: the
// reference is CP866 whatever that byte says. Forward only, like an archive entry.
class Ibm866Device : public QIODevice {
public:
    explicit Ibm866Device(std::unique_ptr<QIODevice> device)
        : m_pDevice(std::move(device))
    {
    }
    bool isSequential() const override { return true; }
    qint64 size() const override { return m_pDevice->size(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 got = m_pDevice->read(data, maxSize);
        if (got < 0) {
            setErrorString(m_pDevice->errorString());
            return -1;
        }
        const qint64 at = QDbf::Format::CodepageOffset - m_nRead;
        if (at >= 0 && at < got)
            data[at] = char(QDbf::Format::CodepageByteIBM866);
        m_nRead += got;
        return got;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::unique_ptr<QIODevice> m_pDevice;
    qint64 m_nRead = 0;
};

bool namesCyrillicPage(char byte)
{
    const quint8 page = quint8(byte);
    return page == QDbf::Format::CodepageByteNone || page == QDbf::Format::CodepageByteIBM866
        || page == QDbf::Format::CodepageByteWindows1251;
}

class PostOfficeImport {
public:
    PostOfficeImport(ImportSession& session, const ClassifierSource& source, const QString& fileName,
        TableImportReport& report)
        : m_Session(session)
        , m_Source(source)
        , m_FileName(fileName)
        , m_Path(source.describe(fileName))
        , m_Report(report)
    {
    }

    StepOutcome run();

private:
    bool open();
    bool findFields();
    StepOutcome fill();
    StepOutcome insertRows(QSqlQuery& insert);
    StepOutcome failed(const QSqlQuery& query, const QString& prefix);

    ImportSession& m_Session;
    const ClassifierSource m_Source;
    const QString m_FileName;
    const QString m_Path;
    TableImportReport& m_Report;
    std::unique_ptr<QIODevice> m_pDevice;
    QString m_DeviceError;
    QDbf::QDbfTable m_Table;
    std::array<int, ColumnCount> m_Fields {};
};

StepOutcome PostOfficeImport::run()
{
    m_Session.log(u("Попытка открытия файла '") + m_Path + QLatin1Char('\''));
    if (!open()) {
        m_Session.log(u("Не удалось открыть файл '") + m_Path + QLatin1Char('\''));
        if (!m_DeviceError.isEmpty() && m_Source.isArchive())
            m_Session.log(m_DeviceError);
        qDebug() << "Unable to open" << m_Path;
        return StepOutcome::Failed;
    }
    const DbfBlockReader::HeaderCheck header = DbfBlockReader::checkHeader(m_Table, m_pDevice->size());
    if (!header.fits) {
        logHeaderMismatch(m_Session, m_Path, header);
        return StepOutcome::Failed;
    }
    if (!findFields())
        return StepOutcome::Failed;

    m_Session.log(u("Создание таблицы POST_OFFICES."));
    m_Session.stepText(u("Создание таблицы POST_OFFICES. "));
    QSqlQuery pragma(m_Session.db());
    pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"));
    // One transaction from the working table to its rename: the reference is small, and a table
    // under its own name then always holds the whole file.
    StepOutcome outcome
        = m_Session.exec(QStringLiteral("BEGIN"), u("Не удалось создать таблицу POST_OFFICES. Ошибка: '"));
    if (outcome == StepOutcome::Done) {
        outcome = fill();
        if (outcome == StepOutcome::Done)
            outcome = m_Session.exec(
                QStringLiteral("COMMIT"), u("Не удалось завершить таблицу POST_OFFICES. Ошибка: '"));
        if (outcome != StepOutcome::Done)
            pragma.exec(QStringLiteral("ROLLBACK"));
    }
    pragma.exec(QStringLiteral("PRAGMA synchronous=OFF"));
    m_Report.created = outcome == StepOutcome::Done;
    m_Report.blocks = m_Report.created ? 1 : 0;
    if (!m_Report.created)
        m_Report.rows = 0;
    return outcome;
}

// The reference is CP866. The library decodes by the file's code-page byte; a file whose byte
// names neither Cyrillic code page is read through a device that says IBM 866 there. The file
// is read once, forward, as an archive entry can be.
bool PostOfficeImport::open()
{
    m_pDevice = m_Source.open(m_FileName, &m_DeviceError);
    if (!m_pDevice)
        return false;
    const QByteArray head = m_pDevice->peek(QDbf::Format::CodepageOffset + 1);
    if (head.size() > QDbf::Format::CodepageOffset
        && !namesCyrillicPage(head.at(QDbf::Format::CodepageOffset))) {
        m_pDevice = std::make_unique<Ibm866Device>(std::move(m_pDevice));
        m_pDevice->open(QIODevice::ReadOnly);
    }
    return m_Table.open(m_pDevice.get(), QDbf::QDbfTable::ReadOnly);
}

bool PostOfficeImport::findFields()
{
    m_Fields = fieldPositions(m_Table.record());
    QStringList missing;
    for (int c : { Index, Name }) {
        if (m_Fields[c] < 0)
            missing << QLatin1String(FieldNames[c]);
    }
    for (int c = 0; c < ColumnCount; ++c) {
        if (m_Fields[c] < 0 && c != Index && c != Name)
            qDebug() << "Post office reference without field" << FieldNames[c] << m_Path;
    }
    if (missing.isEmpty())
        return true;
    const QString where
        = m_Source.isBaseDirectory() ? u("каталога BASE") : u("'") + m_Source.location() + u("'");
    m_Session.log(u("В файле '") + m_Path + u("' нет полей: ") + missing.join(QStringLiteral(", "))
        + u(". Это не справочник почтовых отделений; замените файл или уберите его из ") + where + u("."));
    return false;
}

StepOutcome PostOfficeImport::fill()
{
    const QString createFailed = u("Не удалось создать таблицу POST_OFFICES. Ошибка: '");
    StepOutcome outcome
        = m_Session.exec(QStringLiteral("DROP TABLE IF EXISTS ") + workingName(), createFailed);
    if (outcome == StepOutcome::Done)
        outcome = m_Session.exec(onWorkingTable(Schema::CreatePostOffices), createFailed);
    if (outcome != StepOutcome::Done)
        return outcome;

    m_Session.log(u("Добавление ") + QString::number(m_Table.size()) + u(" строк..."));
    m_Session.rowProgress().start(m_Table.size());
    QSqlQuery insert(m_Session.db());
    if (!insert.prepare(onWorkingTable(Schema::InsertPostOffices)))
        return failed(insert, u("Проблема при вставке строк. Ошибка: '"));
    outcome = insertRows(insert);
    m_Session.rowProgress().finish();
    if (outcome != StepOutcome::Done)
        return outcome;

    for (const Schema::IndexStatement& index : Schema::PostOfficeIndexes) {
        outcome = m_Session.exec(
            QLatin1String(index.create).arg(workingName()), u("Проблема при создании индекса. Ошибка: '"));
        if (outcome != StepOutcome::Done)
            return outcome;
    }
    return m_Session.exec(
        QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(workingName(), QLatin1String(Schema::PostOffices)),
        u("Не удалось завершить таблицу POST_OFFICES. Ошибка: '"));
}

StepOutcome PostOfficeImport::insertRows(QSqlQuery& insert)
{
    int unreadable = 0;
    int visited = 0;
    int row = 0;
    while (m_Table.next()) {
        ++visited;
        if (m_Session.interrupted())
            return StepOutcome::Failed;
        const QDbf::QDbfRecord record = m_Table.record();
        if (!record.value(m_Fields[Index]).isValid()) {
            ++unreadable;
            continue;
        }
        if (record.isDeleted())
            continue;
        for (int c = 0; c < ColumnCount; ++c)
            insert.bindValue(c, columnText(record, m_Fields[c], c));
        if (!insert.exec())
            return failed(insert, u("Проблема при вставке строк. Ошибка: '"));
        ++m_Report.rows;
        m_Session.rowProgress().advance(row++);
    }
    // The header was checked before; a file that shrank while it was read ends here.
    unreadable += qMax(0, m_Table.size() - visited);
    if (unreadable == 0)
        return StepOutcome::Done;
    m_Report.unreadable = unreadable;
    m_Session.log(u("Файл '") + m_Path + u("' короче, чем указано в его заголовке: не прочитано записей: ")
        + QString::number(unreadable) + QLatin1Char('.'));
    // An archive says why it could not be read on (damaged, cut short).
    if (m_Source.isArchive())
        m_Session.log(m_pDevice->errorString());
    qDebug() << "File holds fewer records than its header announces:" << m_Path << m_pDevice->errorString();
    return StepOutcome::Failed;
}

StepOutcome PostOfficeImport::failed(const QSqlQuery& query, const QString& prefix)
{
    const QSqlError error = m_Session.lastError(query);
    m_Session.log(prefix + error.text() + QLatin1Char('\''));
    qDebug() << "Unable to make INSERT into POST_OFFICES:" << error;
    return m_Session.failure(error);
}

} // namespace

QString latestPostOfficeFile(const QStringList& fileNames)
{
    static const QRegularExpression name(
        QStringLiteral("^pindx(\\d+)\\.dbf$"), QRegularExpression::CaseInsensitiveOption);
    QString best;
    qint64 bestNumber = -1;
    for (const QString& file : fileNames) {
        const QRegularExpressionMatch match = name.match(file);
        if (!match.hasMatch())
            continue;
        const qint64 number = match.captured(1).left(18).toLongLong();
        // Equal numbers (PIndx7 and PINDX07): the first listed, so the choice is stable.
        if (number > bestNumber) {
            bestNumber = number;
            best = file;
        }
    }
    return best;
}

StepOutcome importPostOffices(ImportSession& session, const QStringList& tables, TableImportReport& report)
{
    if (tables.contains(QLatin1String(Schema::PostOffices)))
        return StepOutcome::Done;
    ClassifierSource source = session.source();
    QString error;
    QString file = latestPostOfficeFile(source.fileNames(&error));
    if (!error.isEmpty()) {
        session.log(error);
        return StepOutcome::Failed;
    }
    // The post publishes its reference apart from the classifier: an administrator who keeps it
    // in BASE/ does not lose it by importing the classifier's archive.
    if (file.isEmpty() && !source.isBaseDirectory()) {
        const ClassifierSource base = ClassifierSource::baseDirectory(session.localDbDir());
        file = latestPostOfficeFile(base.fileNames(&error));
        if (!file.isEmpty()) {
            session.log(u("В '") + source.location()
                + u("' нет справочника почтовых отделений (PIndx<N>.dbf); он читается из '")
                + base.describe(file) + u("'."));
            source = base;
        }
    }
    if (file.isEmpty()) {
        // A working table left by an interrupted run is dropped even when its file is gone.
        if (tables.contains(workingName()))
            return session.exec(QStringLiteral("DROP TABLE ") + workingName(),
                u("Не удалось удалить таблицу ") + workingName() + u(". Ошибка: '"));
        return StepOutcome::Done;
    }
    return PostOfficeImport(session, source, file, report).run();
}
