// SPDX-License-Identifier: GPL-3.0-or-later
#include "postofficeimport.h"

#include "schema.h"
#include "typedictionary.h"

#include <qdbf/qdbftable.h>

#include <QDate>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <array>

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

class PostOfficeImport {
public:
    PostOfficeImport(ImportSession& session, const QString& path, TableImportReport& report)
        : m_Session(session)
        , m_Path(path)
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
    const QString m_Path;
    TableImportReport& m_Report;
    QTemporaryDir m_Copy;
    QDbf::QDbfTable m_Table;
    std::array<int, ColumnCount> m_Fields {};
};

StepOutcome PostOfficeImport::run()
{
    m_Session.log(u("Попытка открытия файла '") + m_Path + QLatin1Char('\''));
    if (!open()) {
        m_Session.log(u("Не удалось открыть файл '") + m_Path + QLatin1Char('\''));
        qDebug() << "Unable to open" << m_Path;
        return StepOutcome::Failed;
    }
    QFile file(m_Path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_Session.log(u("Не удалось открыть файл '") + m_Path + QLatin1Char('\''));
        return StepOutcome::Failed;
    }
    const DbfBlockReader::HeaderCheck header = DbfBlockReader::checkHeader(file);
    file.close();
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
// names neither Cyrillic code page is read from a copy that says IBM 866.
bool PostOfficeImport::open()
{
    if (!m_Table.open(m_Path, QDbf::QDbfTable::ReadOnly))
        return false;
    const QDbf::QDbfTable::Codepage codepage = m_Table.codepage();
    if (codepage == QDbf::QDbfTable::IBM866 || codepage == QDbf::QDbfTable::Windows1251)
        return true;
    m_Table.close();
    const QString copy = m_Copy.path() + QStringLiteral("/pindx.dbf");
    if (!m_Copy.isValid() || !QFile::copy(m_Path, copy))
        return false;
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    return m_Table.open(copy, QDbf::QDbfTable::ReadWrite) && m_Table.setCodepage(QDbf::QDbfTable::IBM866);
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
    m_Session.log(u("В файле '") + m_Path + u("' нет полей: ") + missing.join(QStringLiteral(", "))
        + u(". Это не справочник почтовых отделений; замените файл или уберите его из каталога BASE."));
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
    qDebug() << "File holds fewer records than its header announces:" << m_Path;
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

QString findPostOfficeFile(const QString& localDbDir)
{
    static const QRegularExpression name(
        QStringLiteral("^pindx(\\d+)\\.dbf$"), QRegularExpression::CaseInsensitiveOption);
    QString best;
    qint64 bestNumber = -1;
    const QDir base(localDbDir + QStringLiteral("/BASE"));
    for (const QString& file : base.entryList(QDir::Files | QDir::Readable)) {
        const QRegularExpressionMatch match = name.match(file);
        if (!match.hasMatch())
            continue;
        const qint64 number = match.captured(1).left(18).toLongLong();
        // Equal numbers (PIndx7 and PINDX07): the first in name order, so the choice is stable.
        if (number > bestNumber) {
            bestNumber = number;
            best = base.filePath(file);
        }
    }
    return best;
}

StepOutcome importPostOffices(ImportSession& session, const QStringList& tables, TableImportReport& report)
{
    if (tables.contains(QLatin1String(Schema::PostOffices)))
        return StepOutcome::Done;
    const QString path = findPostOfficeFile(session.localDbDir());
    if (path.isEmpty()) {
        // A working table left by an interrupted run is dropped even when its file is gone.
        if (tables.contains(workingName()))
            return session.exec(QStringLiteral("DROP TABLE ") + workingName(),
                u("Не удалось удалить таблицу ") + workingName() + u(". Ошибка: '"));
        return StepOutcome::Done;
    }
    return PostOfficeImport(session, path, report).run();
}
