// SPDX-License-Identifier: GPL-3.0-or-later
#include "addressresolver.h"

#include "kladrcodeset.h"
#include "paths.h"
#include "postaladdress.h"
#include "sqltext.h"

#include <QAtomicInt>
#include <QSet>
#include <QSqlError>
#include <QVariant>

#include <algorithm>
#include <tuple>

namespace {

// Where a name stands in the classifier: its own digits and what follows them are zeros.
int significantLength(const QString& code)
{
    if (code.mid(8, 3) != QLatin1String("000"))
        return 11;
    if (code.mid(5, 3) != QLatin1String("000"))
        return 8;
    if (code.mid(2, 3) != QLatin1String("000"))
        return 5;
    return 2;
}

bool isCurrent(const QString& codeSt)
{
    return codeSt == QLatin1String("00");
}

// 01–50: a former name of the object that has the same code with 00.
bool isFormer(const QString& codeSt)
{
    bool ok = false;
    const int n = codeSt.toInt(&ok);
    return ok && codeSt.size() == 2 && n >= 1 && n <= 50;
}

constexpr int StreetLevel = 5;
// A street named without its locality: enough streets to say it is ambiguous, no more.
constexpr int AnywhereLimit = 200;
// What is kept from line to line is cleared when full. The regions and districts of a classifier
// are a few thousand; the names tried, with the type words written into them, are more than any
// bound that keeps the memory small, and a name read again costs one short index read.
constexpr int CodeCacheLimit = 10000;
constexpr int CountCacheLimit = 8000;

} // namespace

QString gradeText(AddressGrade grade)
{
    switch (grade) {
    case AddressGrade::House:
        return QStringLiteral("дом");
    case AddressGrade::Range:
        return QStringLiteral("диапазон");
    case AddressGrade::Street:
        return QStringLiteral("улица");
    case AddressGrade::Locality:
        return QStringLiteral("пункт");
    case AddressGrade::Ambiguous:
        return QStringLiteral("неоднозначно");
    case AddressGrade::NotFound:
        break;
    }
    return QStringLiteral("не найден");
}

namespace {

QString connectionName()
{
    static QAtomicInt serial;
    return QStringLiteral("velmora-resolver-%1").arg(serial.fetchAndAddRelaxed(1));
}

} // namespace

AddressResolver::AddressResolver(const QString& databaseFile)
    : m_Connection(connectionName())
    , m_DatabaseFile(databaseFile)
    , m_FileStamp(Paths::fileStamp(databaseFile))
{
    m_Connection.setDatabaseFile(databaseFile);
    QString error;
    if (!m_Connection.open(&error)) {
        m_Error = QStringLiteral("не удалось открыть базу данных %1: %2").arg(databaseFile, error);
        return;
    }
    if (prepare() && readTypes() && readAliases("kladr", "KLADR_NAMES"))
        readAliases("street", "STREET_NAMES");
}

AddressResolver::~AddressResolver()
{
    m_KladrByName = m_KladrCount = m_StreetNameExists = m_KladrInRange = m_KladrWithStreet
        = m_KladrWithStreets = m_KladrWithCodes = m_KladrCodes = m_StreetLocalityCodes = m_KladrByCode
        = m_StreetByName = m_StreetByNameAnywhere = m_StreetByNameIn = m_StreetByCode = m_Houses = m_HousesIn
        = QSqlQuery();
}

bool AddressResolver::readsFile(const QString& databaseFile) const
{
    return databaseFile == m_DatabaseFile && !m_FileStamp.isEmpty()
        && Paths::fileStamp(databaseFile) == m_FileStamp;
}

bool AddressResolver::prepare()
{
    const QSqlDatabase db = m_Connection.database();
    const struct {
        QSqlQuery* query;
        const char* text;
    } statements[] = {
        { &m_KladrByName,
            "SELECT name, scname, code, code_st, index_ FROM kladr INDEXED BY index_kladr_name_upper "
            "WHERE name_upper = ?" },
        { &m_KladrCount, "SELECT count(*) FROM kladr INDEXED BY index_kladr_nu_code WHERE name_upper = ?" },
        { &m_StreetNameExists,
            "SELECT 1 FROM street INDEXED BY index_streets_name_upper WHERE name_upper = ? LIMIT 1" },
        { &m_KladrInRange,
            "SELECT rowid, name, scname, code, code_st, index_ FROM kladr INDEXED BY index_kladr_nu_code "
            "WHERE name_upper = ? AND code >= ? AND code < ?" },
        // One probe of the street index per record of the name; the records are read only for
        // the codes found.
        { &m_KladrWithStreet,
            "SELECT rowid, name, scname, code, code_st, index_ FROM kladr INDEXED BY index_kladr_nu_code "
            "WHERE name_upper = ? AND EXISTS (SELECT 1 FROM street INDEXED BY index_streets_nu_ck WHERE "
            "name_upper = ? AND code_kladr = kladr.code)" },
        { &m_KladrWithStreets,
            "SELECT rowid, name, scname, code, code_st, index_ FROM kladr INDEXED BY index_kladr_nu_code "
            "WHERE name_upper = ? AND EXISTS (SELECT 1 FROM street INDEXED BY index_streets_nu_ck WHERE "
            "name_upper IN (SELECT value FROM json_each(?)) AND code_kladr = kladr.code)" },
        { &m_KladrWithCodes,
            "SELECT rowid, name, scname, code, code_st, index_ FROM kladr INDEXED BY index_kladr_nu_code "
            "WHERE name_upper = ? AND code IN (SELECT value FROM json_each(?))" },
        // A name's codes in one value: one row instead of thousands.
        { &m_KladrCodes,
            "SELECT group_concat(code) FROM kladr INDEXED BY index_kladr_nu_code WHERE name_upper = ?" },
        { &m_StreetLocalityCodes,
            "SELECT group_concat(code_kladr) FROM street INDEXED BY index_streets_nu_ck WHERE name_upper = "
            "?" },
        { &m_KladrByCode,
            "SELECT name, scname, code, code_st, index_ FROM kladr INDEXED BY index_kladr_code WHERE code = "
            "?" },
        { &m_StreetByName,
            "SELECT name, scname, code, code_st, index_ FROM street INDEXED BY index_streets_nu_ck "
            "WHERE name_upper = ? AND code_kladr = ?" },
        { &m_StreetByNameAnywhere,
            "SELECT name, scname, code, code_st, index_ FROM street INDEXED BY index_streets_name_upper "
            "WHERE name_upper = ? LIMIT ?" },
        // The street in many localities at once: one statement instead of one per locality.
        { &m_StreetByNameIn,
            "SELECT name, scname, code, code_st, index_, code_kladr FROM street INDEXED BY "
            "index_streets_nu_ck WHERE name_upper = ? AND code_kladr IN (SELECT value FROM json_each(?))" },
        { &m_StreetByCode,
            "SELECT name, scname, code, code_st, index_ FROM street INDEXED BY index_streets_code_kladr "
            "WHERE code_kladr = ? AND code = ?" },
        { &m_Houses, "SELECT name, index_ FROM doma INDEXED BY index_doma_index WHERE code_street = ?" },
        { &m_HousesIn,
            "SELECT code_street, name, index_ FROM doma INDEXED BY index_doma_index WHERE code_street IN "
            "(SELECT value FROM json_each(?))" },
    };
    for (const auto& statement : statements) {
        *statement.query = QSqlQuery(db);
        statement.query->setForwardOnly(true);
        if (!statement.query->prepare(QString::fromUtf8(statement.text))) {
            m_Error = QStringLiteral("база данных не готова к разбору адресов: %1")
                          .arg(statement.query->lastError().text());
            return false;
        }
    }
    return true;
}

bool AddressResolver::readTypes()
{
    // The type words are the classifier's own: every short name in use with its full name from
    // the type dictionary, and the level it is used on. Two plain DISTINCT scans, without a UNION
    // over both: the streets are a million rows, and the UNION's second pass over them cost as
    // much as the scan. The entries are added in the order the UNION gave them.
    const char* const statements[] = {
        "SELECT DISTINCT scname, socr, CASE WHEN code_rrr = '000' AND code_ggg = '000' AND code_ppp = '000' "
        "THEN 1 WHEN code_ggg = '000' AND code_ppp = '000' THEN 2 WHEN code_ppp = '000' THEN 3 ELSE 4 END "
        "FROM kladr",
        "SELECT DISTINCT scname, socr, 5 FROM street",
    };
    struct Entry {
        QString shortName;
        QString fullName;
        int nLevel;
        bool operator<(const Entry& other) const
        {
            return std::tie(shortName, fullName, nLevel)
                < std::tie(other.shortName, other.fullName, other.nLevel);
        }
        bool operator==(const Entry& other) const
        {
            return shortName == other.shortName && fullName == other.fullName && nLevel == other.nLevel;
        }
    };
    QVector<Entry> entries;
    QSqlQuery query(m_Connection.database());
    query.setForwardOnly(true);
    for (const char* statement : statements) {
        if (!query.exec(QString::fromUtf8(statement))) {
            m_Error = QStringLiteral("не удалось прочитать типы объектов: %1").arg(query.lastError().text());
            return false;
        }
        while (query.next())
            entries.append({ query.value(0).toString(), query.value(1).toString(), query.value(2).toInt() });
    }
    // UTF-16 order is SQLite's binary order for these words (no surrogates in type names).
    std::sort(entries.begin(), entries.end());
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    for (const Entry& entry : qAsConst(entries))
        m_Types.add(entry.nLevel, entry.shortName, entry.fullName);
    m_Types.addCommonSpellings();
    return true;
}

bool AddressResolver::readAliases(const char* table, const char* namesTable)
{
    // Only names whose normal form differs from the stored one: those with ё, digits or marks.
    QSqlQuery query(m_Connection.database());
    query.setForwardOnly(true);
    const QString condition = QStringLiteral(
        " WHERE instr(name_upper, 'Ё') > 0 OR name_upper GLOB '*[0-9.\"(),]*' OR instr(name_upper, '  ') > 0 "
        "OR name_upper GLOB '* ' OR name_upper GLOB ' *'");
    bool ok
        = query.exec(QStringLiteral("SELECT name_upper FROM %1").arg(QLatin1String(namesTable)) + condition);
    if (!ok)
        ok = query.exec(
            QStringLiteral("SELECT DISTINCT name_upper FROM %1").arg(QLatin1String(table)) + condition);
    if (!ok) {
        m_Error = QStringLiteral("не удалось прочитать названия: %1").arg(query.lastError().text());
        return false;
    }
    while (query.next()) {
        const QString stored = query.value(0).toString();
        const QString normal = AddressLine::normalText(stored);
        if (normal != stored) {
            QStringList& names = m_Aliases[normal];
            if (!names.contains(stored))
                names.append(stored);
        }
    }
    return true;
}

QStringList AddressResolver::namesFor(const QString& normalName) const
{
    return QStringList { normalName } + m_Aliases.value(normalName);
}

QVector<AddressLine::Part> AddressResolver::readings(const AddressLine::Part& part) const
{
    // A type word may be part of the name ("Старое Село", "Сосновый Бор"): the name with the word,
    // untyped, is a reading too.
    QVector<AddressLine::Part> parts { part };
    if (!part.type.isEmpty()) {
        parts.append({ part.name + QLatin1Char(' ') + part.type, QString() });
        parts.append({ part.type + QLatin1Char(' ') + part.name, QString() });
        // "Набережная переулок": the first word was the name, the second its type.
        if (m_Types.contains(part.name))
            parts.append({ part.type, part.name });
    }
    return parts;
}

const QString& AddressResolver::normalType(const QString& scname)
{
    auto known = m_NormalTypes.constFind(scname);
    if (known == m_NormalTypes.cend()) {
        // The short names in use are a few dozen; anything else is no type word to keep.
        if (m_NormalTypes.size() > 1000)
            m_NormalTypes.clear();
        known = m_NormalTypes.insert(scname, AddressLine::normalWord(scname));
    }
    return *known;
}

bool AddressResolver::readRow(QSqlQuery& query, Row* row)
{
    if (!query.next())
        return false;
    row->name = query.value(0).toString();
    row->scname = query.value(1).toString();
    row->code = query.value(2).toString();
    row->codeSt = query.value(3).toString();
    row->index = query.value(4).toString();
    return true;
}

// One name's records in index order: each current record whose code is new, then the former
// names, each as the current record of its code.
void AddressResolver::takeRows(const QVector<Row>& rows, const AddressLine::Part& part, bool bStreet,
    QSet<QString>* codes, QVector<Object>* objects)
{
    const QStringList shortNames = part.type.isEmpty() ? QStringList() : m_Types.shortNames(part.type);
    const int codeLength = bStreet ? 15 : 11;
    QVector<Object> former;
    for (const Row& row : rows) {
        if (!part.type.isEmpty() && !shortNames.contains(normalType(row.scname)))
            continue;
        Object object { row.name, row.scname, row.code.left(codeLength), row.index, QString() };
        bool bNumber = false;
        object.number = object.code.toLongLong(&bNumber);
        if (!bNumber || object.code.size() != codeLength)
            object.number = -1;
        if (isCurrent(row.codeSt) && !codes->contains(object.code)) {
            codes->insert(object.code);
            objects->append(object);
        } else if (isFormer(row.codeSt)) {
            former.append(object);
        }
    }
    for (Object object : former) {
        if (codes->contains(object.code))
            continue;
        QSqlQuery& byCode = bStreet ? m_StreetByCode : m_KladrByCode;
        if (bStreet) {
            byCode.bindValue(0, object.code.left(11));
            byCode.bindValue(1, object.code);
        } else {
            byCode.bindValue(0, object.code);
        }
        if (current(byCode, &object)) {
            codes->insert(object.code);
            objects->append(object);
        }
    }
}

bool AddressResolver::isStreetOnlyType(const AddressLine::Part& part) const
{
    if (part.type.isEmpty())
        return false;
    int mask = 0;
    for (const QString& shortName : m_Types.shortNames(part.type))
        mask |= m_Types.levels(shortName);
    return mask == (1 << StreetLevel);
}

// A former name becomes the object that has its code now, remembering the name the line used.
bool AddressResolver::current(QSqlQuery& byCode, Object* object)
{
    if (!byCode.exec()) {
        m_LastError = byCode.lastError().text();
        return false;
    }
    bool found = false;
    while (byCode.next()) {
        if (isCurrent(byCode.value(3).toString())) {
            object->formerName = object->name;
            object->name = byCode.value(0).toString();
            object->scname = byCode.value(1).toString();
            object->index = byCode.value(4).toString();
            found = true;
            break;
        }
    }
    byCode.finish();
    return found;
}

QVector<AddressResolver::Object> AddressResolver::kladrByName(
    const AddressLine::Part& part, const Restriction* restriction)
{
    QVector<Object> objects;
    QSet<QString> codes;
    for (const AddressLine::Part& reading : readings(part)) {
        for (const Object& object : kladrByOneName(reading, restriction)) {
            if (!codes.contains(object.code)) {
                codes.insert(object.code);
                objects.append(object);
            }
        }
    }
    return objects;
}

int AddressResolver::recordCount(const AddressLine::Part& part)
{
    int count = 0;
    for (const AddressLine::Part& reading : readings(part)) {
        for (const QString& name : namesFor(reading.name))
            count += recordCount(name);
    }
    return count;
}

int AddressResolver::recordCount(const QString& name)
{
    auto known = m_RecordCounts.constFind(name);
    if (known == m_RecordCounts.cend()) {
        m_KladrCount.bindValue(0, name);
        if (!m_KladrCount.exec() || !m_KladrCount.next()) {
            m_LastError = m_KladrCount.lastError().text();
            return 0;
        }
        if (m_RecordCounts.size() > CountCacheLimit)
            m_RecordCounts.clear();
        known = m_RecordCounts.insert(name, m_KladrCount.value(0).toInt());
        m_KladrCount.finish();
    }
    return *known;
}

bool AddressResolver::hasStreetName(const QString& name)
{
    auto known = m_StreetNames.constFind(name);
    if (known == m_StreetNames.cend()) {
        m_StreetNameExists.bindValue(0, name);
        if (!m_StreetNameExists.exec()) {
            m_LastError = m_StreetNameExists.lastError().text();
            return false;
        }
        if (m_StreetNames.size() > CountCacheLimit)
            m_StreetNames.clear();
        known = m_StreetNames.insert(name, m_StreetNameExists.next());
        m_StreetNameExists.finish();
    }
    return *known;
}

bool AddressResolver::readKladrRows(QSqlQuery& query, QMap<qint64, Row>* rows)
{
    if (!query.exec()) {
        m_LastError = query.lastError().text();
        return false;
    }
    while (query.next()) {
        Row& row = (*rows)[query.value(0).toLongLong()];
        row.name = query.value(1).toString();
        row.scname = query.value(2).toString();
        row.code = query.value(3).toString();
        row.codeSt = query.value(4).toString();
        row.index = query.value(5).toString();
    }
    query.finish();
    return true;
}

QVector<AddressResolver::Object> AddressResolver::kladrByOneName(
    const AddressLine::Part& part, const Restriction* restriction)
{
    QVector<Object> objects;
    QSet<QString> codes;
    QVector<Row> rows;
    for (const QString& name : namesFor(part.name)) {
        rows.clear();
        if (recordCount(name) == 0)
            continue;
        if (restriction) {
            // The records a full read would give for the codes allowed, in the same order.
            QMap<qint64, Row> byRowid;
            for (const auto& range : restriction->ranges) {
                m_KladrInRange.bindValue(0, name);
                m_KladrInRange.bindValue(1, range.first);
                m_KladrInRange.bindValue(2, range.second);
                if (!readKladrRows(m_KladrInRange, &byRowid))
                    return objects;
            }
            if (!restriction->streetNames.isEmpty()) {
                const bool bOne = restriction->streetNames.size() == 1;
                bool bDone = false;
                if (recordCount(name) > m_nIntersectAbove) {
                    const QStringList codes = codesWithStreets(name, restriction->streetNames, &bDone);
                    if (!m_LastError.isEmpty())
                        return objects;
                    if (bDone && !codes.isEmpty()) {
                        m_KladrWithCodes.bindValue(0, name);
                        m_KladrWithCodes.bindValue(1,
                            QLatin1String("[\"") + codes.join(QLatin1String("\",\"")) + QLatin1String("\"]"));
                        if (!readKladrRows(m_KladrWithCodes, &byRowid))
                            return objects;
                    }
                }
                if (!bDone) {
                    QSqlQuery& query = bOne ? m_KladrWithStreet : m_KladrWithStreets;
                    query.bindValue(0, name);
                    query.bindValue(1,
                        bOne ? restriction->streetNames.first()
                             : SqlText::jsonArray(restriction->streetNames));
                    if (!readKladrRows(query, &byRowid))
                        return objects;
                }
            }
            rows = byRowid.values().toVector();
        } else {
            m_KladrByName.bindValue(0, name);
            if (!m_KladrByName.exec()) {
                m_LastError = m_KladrByName.lastError().text();
                return objects;
            }
            Row row;
            while (readRow(m_KladrByName, &row))
                rows.append(row);
            m_KladrByName.finish();
        }
        takeRows(rows, part, false, &codes, &objects);
    }
    return objects;
}

// The codes of a locality name's records that have a street of one of the names, from the code
// lists of the names; bDone is false when a list holds something that is no code.
QStringList AddressResolver::codesWithStreets(
    const QString& localityName, const QStringList& streetNames, bool* bDone)
{
    *bDone = false;
    const KladrCodeSet localities = codeSet(m_KladrCodes, QLatin1Char('K') + localityName, localityName);
    if (!localities.isValid())
        return QStringList();
    KladrCodeSet streets;
    for (const QString& name : streetNames) {
        const KladrCodeSet set = codeSet(m_StreetLocalityCodes, QLatin1Char('S') + name, name);
        if (!set.isValid())
            return QStringList();
        streets = name == streetNames.first() ? set : streets.united(set);
    }
    *bDone = true;
    return localities.intersected(streets);
}

KladrCodeSet AddressResolver::codeSet(QSqlQuery& query, const QString& key, const QString& name)
{
    if (const KladrCodeSet* known = m_CodeSets.find(key))
        return *known;
    query.bindValue(0, name);
    if (!query.exec() || !query.next()) {
        m_LastError = query.lastError().text();
        return KladrCodeSet();
    }
    const KladrCodeSet set = KladrCodeSet::fromList(query.value(0).toString());
    query.finish();
    m_CodeSets.insert(key, set);
    return set;
}

// What the other parts leave of a part's records: an object of the part fits only when every
// other part but one names an object above it (or itself), and that one is its street. The
// codes that decide whether the part names an object above another part's, or that object
// itself, are kept too, so that the other parts' tests come out as with every record.
AddressResolver::Restriction AddressResolver::restriction(
    int part, const QVector<AddressLine::Part>& parts, const QVector<QVector<Object>>& kladr)
{
    Restriction restriction;
    const auto addUnder = [&restriction](const Object& upper) {
        const QString prefix = upper.code.left(significantLength(upper.code));
        restriction.ranges.append({ prefix, prefix + QChar(0xffff) });
    };
    QVector<int> others;
    int fixed = -1; // a part that cannot be the street, with the fewest objects
    for (int j = 0; j < parts.size(); ++j) {
        if (j == part)
            continue;
        others.append(j);
        for (const Object& object : kladr.at(j)) {
            const QString own = object.code.left(11);
            for (const int length : { 2, 5, 8, 11 }) {
                const QString code = own.left(length) + QString(11 - length, QLatin1Char('0'));
                restriction.ranges.append({ code, code + QChar(1) });
            }
        }
        if (!streetAble(parts.at(j)) && (fixed < 0 || kladr.at(j).size() < kladr.at(fixed).size()))
            fixed = j;
    }
    if (fixed >= 0) {
        for (const Object& upper : kladr.at(fixed))
            addUnder(upper);
    } else if (others.size() == 1) {
        for (const Object& upper : kladr.at(others.first()))
            addUnder(upper);
        QStringList& names = restriction.streetNames;
        for (const AddressLine::Part& reading : readings(parts.at(others.first()))) {
            for (const QString& name : namesFor(reading.name)) {
                if (!names.contains(name) && hasStreetName(name))
                    names.append(name);
            }
        }
    } else {
        // At least one of any two parts is above the object.
        for (const int j : { others.at(0), others.at(1) }) {
            for (const Object& upper : kladr.at(j))
                addUnder(upper);
        }
    }
    // Ranges inside others are read once.
    std::sort(restriction.ranges.begin(), restriction.ranges.end());
    QVector<QPair<QString, QString>> merged;
    for (const auto& range : qAsConst(restriction.ranges)) {
        if (!merged.isEmpty() && range.first < merged.last().second)
            merged.last().second = std::max(merged.last().second, range.second);
        else
            merged.append(range);
    }
    restriction.ranges = merged;
    return restriction;
}

bool AddressResolver::streetAble(const AddressLine::Part& part) const
{
    if (part.type.isEmpty())
        return true;
    for (const QString& shortName : m_Types.shortNames(part.type)) {
        if (m_Types.levels(shortName) & (1 << StreetLevel))
            return true;
    }
    return false;
}

QVector<AddressResolver::Object> AddressResolver::streetsByName(
    const AddressLine::Part& part, const QString& localityCode, int nLimit)
{
    QVector<Object> objects;
    QSet<QString> codes;
    for (const AddressLine::Part& reading : readings(part)) {
        for (const Object& object : streetsByOneName(reading, localityCode, nLimit)) {
            if (!codes.contains(object.code)) {
                codes.insert(object.code);
                objects.append(object);
            }
        }
    }
    return objects;
}

QVector<AddressResolver::Object> AddressResolver::streetsByOneName(
    const AddressLine::Part& part, const QString& localityCode, int nLimit)
{
    QVector<Object> objects;
    QSet<QString> codes;
    QVector<Row> rows;
    for (const QString& name : namesFor(part.name)) {
        if (!hasStreetName(name))
            continue;
        QSqlQuery& query = localityCode.isEmpty() ? m_StreetByNameAnywhere : m_StreetByName;
        query.bindValue(0, name);
        query.bindValue(1, localityCode.isEmpty() ? QVariant(nLimit) : QVariant(localityCode));
        if (!query.exec()) {
            m_LastError = query.lastError().text();
            return objects;
        }
        rows.clear();
        Row row;
        while (readRow(query, &row))
            rows.append(row);
        query.finish();
        takeRows(rows, part, true, &codes, &objects);
    }
    return objects;
}

// streetsByName for each of the localities, by locality code, through one statement per name.
QHash<QString, QVector<AddressResolver::Object>> AddressResolver::streetsIn(
    const AddressLine::Part& part, const QStringList& localityCodes)
{
    QHash<QString, QVector<Object>> streets;
    QHash<QString, QSet<QString>> streetCodes;
    // Codes are digits: a JSON array needs no escaping.
    const QString codes
        = QLatin1String("[\"") + localityCodes.join(QLatin1String("\",\"")) + QLatin1String("\"]");
    for (const AddressLine::Part& reading : readings(part)) {
        QHash<QString, QSet<QString>> readingCodes;
        QHash<QString, QVector<Object>> readingStreets;
        for (const QString& name : namesFor(reading.name)) {
            if (!hasStreetName(name))
                continue;
            m_StreetByNameIn.bindValue(0, name);
            m_StreetByNameIn.bindValue(1, codes);
            if (!m_StreetByNameIn.exec()) {
                m_LastError = m_StreetByNameIn.lastError().text();
                return streets;
            }
            // Rows come by locality, each locality's in index order as its own statement gives them.
            QHash<QString, QVector<Row>> rows;
            Row row;
            while (readRow(m_StreetByNameIn, &row))
                rows[m_StreetByNameIn.value(5).toString()].append(row);
            m_StreetByNameIn.finish();
            for (auto it = rows.cbegin(); it != rows.cend(); ++it)
                takeRows(*it, reading, true, &readingCodes[it.key()], &readingStreets[it.key()]);
        }
        for (auto it = readingStreets.cbegin(); it != readingStreets.cend(); ++it) {
            QSet<QString>& seen = streetCodes[it.key()];
            QVector<Object>& objects = streets[it.key()];
            for (const Object& object : *it) {
                if (!seen.contains(object.code)) {
                    seen.insert(object.code);
                    objects.append(object);
                }
            }
        }
    }
    return streets;
}

const AddressResolver::Object* AddressResolver::kladrByCode(const QString& code)
{
    auto known = m_ByCode.constFind(code);
    if (known != m_ByCode.cend())
        return known->code.isEmpty() ? nullptr : &*known;
    if (m_ByCode.size() > CodeCacheLimit)
        m_ByCode.clear();
    Object object;
    m_KladrByCode.bindValue(0, code);
    if (m_KladrByCode.exec()) {
        // The current record, or the first one when none is current, as the address takes it.
        while (m_KladrByCode.next()) {
            if (object.code.isEmpty() || isCurrent(m_KladrByCode.value(3).toString())) {
                object = { m_KladrByCode.value(0).toString(), m_KladrByCode.value(1).toString(), code,
                    m_KladrByCode.value(4).toString(), QString() };
                if (isCurrent(m_KladrByCode.value(3).toString()))
                    break;
            }
        }
        m_KladrByCode.finish();
    }
    known = m_ByCode.insert(code, object);
    return known->code.isEmpty() ? nullptr : &*known;
}

// Each street's groups in index order, as its own statement gives them.
void AddressResolver::readHouseGroups(const QStringList& streetCodes)
{
    m_HousesIn.bindValue(0, SqlText::jsonArray(streetCodes));
    if (!m_HousesIn.exec()) {
        m_LastError = m_HousesIn.lastError().text();
        return;
    }
    for (const QString& code : streetCodes)
        m_HouseGroups[code];
    while (m_HousesIn.next())
        m_HouseGroups[m_HousesIn.value(0).toString()].append(
            { m_HousesIn.value(1).toString(), m_HousesIn.value(2).toString() });
    m_HousesIn.finish();
}

QVector<HouseGroup> AddressResolver::houseGroups(const QString& streetCode)
{
    const auto known = m_HouseGroups.constFind(streetCode);
    if (known != m_HouseGroups.cend())
        return *known;
    QVector<HouseGroup> groups;
    m_Houses.bindValue(0, streetCode);
    if (!m_Houses.exec()) {
        m_LastError = m_Houses.lastError().text();
        return groups;
    }
    while (m_Houses.next())
        groups.append({ m_Houses.value(0).toString(), m_Houses.value(1).toString() });
    m_Houses.finish();
    return groups;
}

QString AddressResolver::compose(
    const Object& locality, const Object* street, const AddressLine& line, const QString& index)
{
    // As the search composes its rows; then the apartment, which a letter needs.
    PostalAddress::Fields fields;
    fields.index = index;
    fields.locality = locality.name;
    fields.localityType = locality.scname;
    fields.code = locality.code;
    fields.codeSs = locality.code.left(2);
    fields.codeRrr = locality.code.mid(2, 3);
    if (street) {
        fields.street = street->name;
        fields.streetType = street->scname;
    }
    AddressShape shape;
    shape.street = street != nullptr;
    shape.house = street != nullptr && line.hasHouse();
    const AddressNameCache& names = m_Connection.names();
    QString address = PostalAddress::compose(
        fields, shape, line.house().text(), [&names](const QString& code) { return names.lookup(code); });
    if (!line.apartment().isEmpty()) {
        const int blank = line.apartment().indexOf(QLatin1Char(' '));
        address += QLatin1Char(',') + line.apartment().left(blank).toLower() + QLatin1Char('.')
            + line.apartment().mid(blank + 1);
    }
    return address;
}

void AddressResolver::addCandidates(
    const Combination& combination, const AddressLine& line, AddressAnswer* answer)
{
    const Object& locality = combination.localityObject;
    QStringList chain;
    const QString regionCode = locality.code.left(2) + QLatin1String("000000000");
    const QString districtCode = locality.code.left(5) + QLatin1String("000000");
    chain << locality.index;
    if (districtCode != locality.code && districtCode != regionCode) {
        const Object* district = kladrByCode(districtCode);
        chain << (district ? district->index : QString());
    }
    if (regionCode != locality.code) {
        const Object* region = kladrByCode(regionCode);
        chain << (region ? region->index : QString());
    }
    const auto firstIndex = [](const QStringList& indexes) {
        for (const QString& index : indexes) {
            if (!index.trimmed().isEmpty())
                return index.trimmed();
        }
        return QString();
    };

    for (const Object* object : { &combination.localityObject, &combination.streetObject }) {
        if (!object->formerName.isEmpty()) {
            answer->bFormerName = true;
            const QString note = QStringLiteral("«%1» — прежнее название, теперь %2 %3")
                                     .arg(object->formerName, object->scname, object->name);
            if (!answer->notes.contains(note))
                answer->notes << note;
        }
    }

    if (combination.street < 0) {
        AddressCandidate candidate;
        candidate.grade = AddressGrade::Locality;
        candidate.index = firstIndex(chain);
        candidate.localityCode = locality.code;
        candidate.address = compose(locality, nullptr, line, candidate.index);
        answer->candidates << candidate;
        return;
    }

    const Object& street = combination.streetObject;
    if (!line.hasHouse()) {
        AddressCandidate candidate;
        candidate.grade = AddressGrade::Street;
        candidate.index = firstIndex(QStringList { street.index } + chain);
        candidate.localityCode = locality.code;
        candidate.streetCode = street.code;
        candidate.address = compose(locality, &street, line, candidate.index);
        answer->candidates << candidate;
        return;
    }
    const QVector<HouseGroup> groups = houseGroups(street.code);
    for (const HouseIndexMatch& match :
        resolveHouseIndex(groups, line.house(), QStringList { street.index } + chain)) {
        AddressCandidate candidate;
        candidate.localityCode = locality.code;
        candidate.streetCode = street.code;
        candidate.index = match.index.trimmed();
        candidate.address = compose(locality, &street, line, candidate.index);
        if (match.group < 0) {
            candidate.grade = AddressGrade::Street;
        } else {
            candidate.houseList = groups.at(match.group).list;
            candidate.grade = HouseList(candidate.houseList).match(line.house()) == HouseList::Match::Exact
                ? AddressGrade::House
                : AddressGrade::Range;
        }
        answer->candidates << candidate;
    }
}

void AddressResolver::beginBatch()
{
    if (isReady())
        m_Connection.database().transaction();
}

void AddressResolver::endBatch()
{
    if (isReady())
        m_Connection.database().commit();
}

AddressAnswer AddressResolver::resolve(const QString& line)
{
    return resolve(AddressLine::read(line, m_Types));
}

AddressAnswer AddressResolver::resolve(const AddressLine& line)
{
    // A bare number after a name ("п Мамон 4, ул Ленина"): before another part it ends the name,
    // as people write the house after the street; after the last part it is the house. The other
    // reading is tried when the first finds nothing.
    if (line.isValid() && line.houseFollowsPart() >= 0) {
        const AddressLine inName = line.withHouseInName();
        const bool bNameFirst = line.houseFollowsPart() + 1 < line.parts().size();
        AddressAnswer answer = resolveReading(bNameFirst ? inName : line);
        if (answer.candidates.isEmpty() && m_LastError.isEmpty()) {
            AddressAnswer other = resolveReading(bNameFirst ? line : inName);
            if (!other.candidates.isEmpty())
                return other;
        }
        return answer;
    }
    return resolveReading(line);
}

AddressAnswer AddressResolver::resolveReading(const AddressLine& line)
{
    // The common names read only where the other parts allow; when nothing fits that way, every
    // record again, for the street named alone and for saying what did not fit.
    AddressAnswer answer = resolveReading(line, true);
    if (answer.candidates.isEmpty() && m_LastError.isEmpty() && isReady() && line.isValid()) {
        ++m_nFullReads;
        answer = resolveReading(line, false);
    }
    return answer;
}

AddressAnswer AddressResolver::resolveReading(const AddressLine& line, bool bNarrow)
{
    AddressAnswer answer;
    if (!isReady()) {
        answer.problem = m_Error;
        return answer;
    }
    if (!line.isValid()) {
        answer.problem = line.refusal();
        return answer;
    }
    m_LastError.clear();

    const QVector<AddressLine::Part>& parts = line.parts();
    QVector<QVector<Object>> kladr(parts.size());
    int narrowed = -1;
    if (bNarrow && parts.size() > 1) {
        int most = m_nNarrowAbove;
        for (int i = 0; i < parts.size(); ++i) {
            const int count = isStreetOnlyType(parts.at(i)) ? 0 : recordCount(parts.at(i));
            if (count > most) {
                most = count;
                narrowed = i;
            }
        }
    }
    for (int i = 0; i < parts.size(); ++i) {
        if (i != narrowed && !isStreetOnlyType(parts.at(i)))
            kladr[i] = kladrByName(parts.at(i));
    }
    if (narrowed >= 0) {
        const Restriction allowed = restriction(narrowed, parts, kladr);
        kladr[narrowed] = kladrByName(parts.at(narrowed), &allowed);
    }
    const auto partText = [&parts](int i) {
        const AddressLine::Part& part = parts.at(i);
        return part.type.isEmpty() ? part.name : part.type.toLower() + QLatin1Char(' ') + part.name;
    };
    // The codes each part names, for the tests below: an object above another has the other's
    // code cut to its own level and filled with zeros. Codes are digits, compared as numbers.
    QVector<QSet<QString>> kladrCodes(parts.size());
    QVector<QSet<qint64>> kladrNumbers(parts.size());
    for (int j = 0; j < parts.size(); ++j) {
        for (const Object& object : kladr.at(j)) {
            kladrCodes[j].insert(object.code);
            if (object.number >= 0)
                kladrNumbers[j].insert(object.number);
        }
    }
    const auto hasUpper = [&](int j, const Object& object) {
        if (kladrCodes.at(j).isEmpty())
            return false;
        const QString own = object.code.left(11);
        qint64 number = -1;
        if (object.number >= 0)
            number = own.size() == object.code.size() ? object.number : own.toLongLong();
        for (const qint64 scale : { 1000000000LL, 1000000LL, 1000LL }) {
            if (number >= 0) {
                const qint64 upper = number / scale * scale;
                if (upper != number && kladrNumbers.at(j).contains(upper))
                    return true;
                continue;
            }
            const int length = scale == 1000 ? 8 : scale == 1000000 ? 5 : 2;
            const QString upper = own.left(length) + QString(11 - length, QLatin1Char('0'));
            if (upper != own && kladrCodes.at(j).contains(upper))
                return true;
        }
        return false;
    };
    const auto streetAble = [&](int j) { return this->streetAble(parts.at(j)); };

    // First what each locality needs, then the streets of all of them by street part at once.
    struct Fit {
        int part;
        const Object* locality;
        int streetPart; // -1: the locality alone
        int failed; // the part that contradicts it, or -1
    };
    QVector<Fit> fits;
    QHash<int, QStringList> streetLocalities;
    for (int i = 0; i < parts.size(); ++i) {
        for (const Object& locality : kladr.at(i)) {
            int streetPart = -1;
            int failed = -1;
            for (int j = 0; j < parts.size() && failed < 0; ++j) {
                // The same object written twice ("Москва г, г Москва": the region and its city) is
                // no contradiction.
                if (j == i || hasUpper(j, locality) || kladrCodes.at(j).contains(locality.code))
                    continue;
                if (streetPart >= 0 || !streetAble(j))
                    failed = j;
                else
                    streetPart = j;
            }
            fits.append({ i, &locality, failed >= 0 ? -1 : streetPart, failed });
            if (failed < 0 && streetPart >= 0)
                streetLocalities[streetPart].append(locality.code);
        }
    }
    QHash<int, QHash<QString, QVector<Object>>> streetsOf;
    for (auto it = streetLocalities.cbegin(); it != streetLocalities.cend(); ++it)
        streetsOf.insert(it.key(), streetsIn(parts.at(it.key()), *it));

    QVector<Combination> combinations;
    // The last contradiction met, told only when nothing fits.
    const Fit* lastFailure = nullptr;
    for (const Fit& fit : qAsConst(fits)) {
        if (fit.failed >= 0) {
            lastFailure = &fit;
        } else if (fit.streetPart < 0) {
            combinations.append({ fit.part, *fit.locality, -1, Object() });
        } else {
            const QVector<Object> streets = streetsOf.value(fit.streetPart).value(fit.locality->code);
            if (streets.isEmpty())
                lastFailure = &fit;
            for (const Object& street : streets)
                combinations.append({ fit.part, *fit.locality, fit.streetPart, street });
        }
    }
    QString failure;
    if (lastFailure && lastFailure->failed >= 0)
        failure = QStringLiteral("«%1» не подходит к %2 %3")
                      .arg(partText(lastFailure->failed), lastFailure->locality->scname,
                          lastFailure->locality->name);
    else if (lastFailure)
        failure = QStringLiteral("улица «%1» не найдена в %2 %3")
                      .arg(partText(lastFailure->streetPart), lastFailure->locality->scname,
                          lastFailure->locality->name);

    // No locality fits: a street named alone, or with a region or district only.
    if (combinations.isEmpty() && !bNarrow) {
        int streetPart = -1;
        bool bOthersUpper = true;
        for (int j = 0; j < parts.size(); ++j) {
            const bool bUpperOnly = !kladr.at(j).isEmpty()
                && std::all_of(kladr.at(j).cbegin(), kladr.at(j).cend(),
                    [](const Object& o) { return significantLength(o.code) <= 5; });
            if (bUpperOnly)
                continue;
            if (streetPart >= 0 || !streetAble(j))
                bOthersUpper = false;
            streetPart = j;
        }
        if (streetPart >= 0 && bOthersUpper) {
            for (const Object& street : streetsByName(parts.at(streetPart), QString(), AnywhereLimit)) {
                bool bInside = true;
                for (int j = 0; j < parts.size() && bInside; ++j)
                    bInside = j == streetPart || hasUpper(j, street);
                if (!bInside)
                    continue;
                const Object* locality = kladrByCode(street.code.left(11));
                if (locality)
                    combinations.append({ -1, *locality, streetPart, street });
            }
        }
    }

    if (!m_LastError.isEmpty()) {
        answer.problem = QStringLiteral("ошибка базы данных: %1").arg(m_LastError);
        return answer;
    }
    m_HouseGroups.clear();
    if (line.hasHouse() && combinations.size() > 1) {
        QStringList streetCodes;
        for (const Combination& combination : qAsConst(combinations)) {
            if (combination.street >= 0 && !streetCodes.contains(combination.streetObject.code))
                streetCodes.append(combination.streetObject.code);
        }
        if (streetCodes.size() > 1)
            readHouseGroups(streetCodes);
    }
    for (const Combination& combination : combinations)
        addCandidates(combination, line, &answer);
    m_HouseGroups.clear();
    // Two groups of one street with one index are one answer.
    QSet<QString> seen;
    for (int i = 0; i < answer.candidates.size();) {
        const AddressCandidate& candidate = answer.candidates.at(i);
        const QString key
            = candidate.index + QChar(0x1f) + candidate.address + QChar(0x1f) + gradeText(candidate.grade);
        if (seen.contains(key)) {
            answer.candidates.removeAt(i);
        } else {
            seen.insert(key);
            ++i;
        }
    }
    if (!m_LastError.isEmpty()) {
        answer.candidates.clear();
        answer.problem = QStringLiteral("ошибка базы данных: %1").arg(m_LastError);
        return answer;
    }

    if (answer.candidates.isEmpty()) {
        // Told from every record.
        if (bNarrow)
            return answer;
        for (int i = 0; i < parts.size(); ++i) {
            if (kladr.at(i).isEmpty() && streetsByName(parts.at(i), QString(), 1).isEmpty()) {
                failure = QStringLiteral("«%1» нет в классификаторе").arg(partText(i));
                break;
            }
        }
        answer.problem = failure.isEmpty() ? QStringLiteral("части адреса не сходятся") : failure;
        answer.notes.clear();
        return answer;
    }

    QSet<QString> indexes;
    for (const AddressCandidate& candidate : answer.candidates)
        indexes.insert(candidate.index);
    if (indexes.size() > 1) {
        answer.grade = AddressGrade::Ambiguous;
        answer.problem
            = QStringLiteral("подходят объекты с разными индексами: %1").arg(answer.candidates.size());
        return answer;
    }
    const AddressCandidate& first = answer.candidates.first();
    if (first.index.isEmpty()) {
        answer.problem = QStringLiteral("у найденного объекта нет индекса");
        return answer;
    }
    answer.grade = first.grade;
    for (const AddressCandidate& candidate : answer.candidates)
        answer.grade = std::max(answer.grade, candidate.grade);
    answer.index = first.index;
    answer.address = first.address;
    if (!line.index().isEmpty() && line.index() != answer.index) {
        answer.bIndexDiffers = true;
        answer.notes
            << QStringLiteral("в строке индекс %1, по классификатору %2").arg(line.index(), answer.index);
    }
    return answer;
}
