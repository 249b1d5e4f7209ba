// SPDX-License-Identifier: GPL-3.0-or-later
#include "threaddatabasefind.h"

#include "distinctrowfetcher.h"
#include "housesearch.h"
#include "schema.h"
#include "sqltext.h"
#include "threadtimer.h"
#include "twolevelplan.h"
#include "workerhost.h"

#include <QDebug>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <functional>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

constexpr int RowLimit = 100;

void addColumn(QHash<QString, ResultColumn>& columns, const QString& key, const QString& header, int column)
{
    ResultColumn entry;
    entry.header = header;
    entry.column = column;
    columns.insert(key, entry);
}

// Condition on a name column: the column followed by its comparison.
using NameCondition = std::function<QString(const char* column, const LevelFilter& level, const char* names)>;

// The SELECTs of the statement: the first, and with both levels the second, which the statement
// joins with UNION.
QStringList selects(const LevelFilter& locality, const LevelFilter& street, const NameCondition& condition)
{
    const bool hasLocality = !locality.text.isEmpty();
    const bool hasStreet = !street.text.isEmpty();
    const char* kladrName = "k.name_upper";
    const char* streetName = "s.name_upper";

    QString first = QStringLiteral("SELECT ");
    if (hasStreet && hasLocality)
        first += QLatin1String("d.index_ ");
    else if (hasStreet)
        first += QLatin1String("s.index_ ");
    else
        first += QLatin1String("k.index_ ");
    first += QLatin1String(", k.name, k.socr, k.scname, k.code, k.code_ss, k.code_rrr, k.code_ggg ");
    if (hasStreet) {
        first += QLatin1String(", s.name, s.socr, s.scname ");
        if (hasLocality)
            first += QLatin1String(", d.name ");
    }

    first += QLatin1String("FROM kladr k ");
    if (hasStreet) {
        first += QLatin1String(", street s ");
        if (hasLocality)
            first += QLatin1String(", doma d INDEXED BY index_doma_index ");
    }

    first += QLatin1String(" WHERE ");
    if (hasLocality)
        first += condition(kladrName, locality, Schema::KladrNames);
    if (hasStreet) {
        if (hasLocality)
            first += QLatin1String("AND d.code_street = s.code AND ");
        first += condition(streetName, street, Schema::StreetNames)
            + QLatin1String("AND s.code_kladr = k.code ");
    }
    first += QLatin1String("AND k.code_st = '00' ");
    if (!(hasLocality && hasStreet))
        return { first };

    const QString second = QLatin1String("SELECT s.index_ , k.name , k.socr , k.scname , k.code , "
                                         "k.code_ss , k.code_rrr , k.code_ggg , s.name , s.socr , "
                                         "s.scname , '---' FROM KLADR k, STREET s WHERE ")
        + condition(streetName, street, Schema::StreetNames) + QLatin1String("AND ")
        + condition(kladrName, locality, Schema::KladrNames)
        + QLatin1String("AND s.code_kladr = k.code AND s.index_ != '' and k.code_st = '00'");
    return { first, second };
}

// A mask that begins with a wildcard cannot use the name indexes: SQLite would test every row
// of the table. Matching it against the table's distinct names instead tests each name once and
// finds the rows by index. A mask of wildcards only matches (nearly) every name, and the plain
// scan finds its first rows at once.
bool matchesDistinctNames(const LevelFilter& level)
{
    const QString& text = level.text;
    return level.isMask && !text.isEmpty() && SqlText::isWildcard(text.front())
        && std::any_of(text.cbegin(), text.cend(), [](QChar c) { return !SqlText::isWildcard(c); });
}

// Which file a path names now: device and inode, so that a file renamed over the path reads as
// another file. Empty when the file is missing, or where there are no inodes to tell files apart:
// the connection is then opened for every search.
QByteArray fileIdentity(const QString& fileName)
{
#ifdef Q_OS_UNIX
    struct stat status { };
    if (::stat(QFile::encodeName(fileName).constData(), &status) != 0)
        return QByteArray();
    return QByteArray::number(quint64(status.st_dev)) + ':' + QByteArray::number(quint64(status.st_ino));
#else
    Q_UNUSED(fileName);
    return QByteArray();
#endif
}

} // namespace

ThreadDataBaseFind::ThreadDataBaseFind(QObject* parent)
    : QThread(parent)
    , m_ConnectionName(QStringLiteral("velmora-search-%1").arg(quintptr(this), 0, 16))
{
    qRegisterMetaType<SearchResult>();
}

ThreadDataBaseFind::~ThreadDataBaseFind()
{
    // The run holds a connection; let it end, promptly.
    requestInterruption();
    wait();
    closeConnection();
}

bool ThreadDataBaseFind::openConnection(QSqlDatabase& db, QString* text)
{
    if (m_DatabaseFile.isEmpty()) {
        closeConnection();
        *text = QStringLiteral("не задан файл базы данных");
        return false;
    }
    const QByteArray identity = fileIdentity(m_DatabaseFile);
    if (!identity.isEmpty() && m_OpenedFile == m_DatabaseFile && m_OpenedIdentity == identity) {
        db = QSqlDatabase::database(m_ConnectionName, false);
        if (db.isOpen())
            return true;
        db = QSqlDatabase();
    }
    closeConnection();

    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_ConnectionName);
    db.setDatabaseName(m_DatabaseFile);
    // The search only reads; read-only also keeps a missing file from being created empty.
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open()) {
        *text = db.lastError().text();
        qDebug() << db.lastError();
        db = QSqlDatabase();
        closeConnection();
        return false;
    }
    QSqlQuery query(db);
    // Both sides of every LIKE are upper-cased already, so case-sensitive matching returns the
    // same rows, and it lets SQLite use the name_upper indexes for prefix masks.
    if (!query.exec(QStringLiteral("PRAGMA case_sensitive_like=ON")))
        qDebug() << query.lastError();
    // Pages come straight from the system's cache through the mapping instead of one read call
    // each, and stay mapped for the searches that follow.
    if (!query.exec(QStringLiteral("PRAGMA mmap_size=1073741824")))
        qDebug() << query.lastError();
    m_OpenedFile = m_DatabaseFile;
    m_OpenedIdentity = identity;
    return true;
}

void ThreadDataBaseFind::closeConnection()
{
    m_OpenedFile.clear();
    m_OpenedIdentity.clear();
    // Removing it closes it; asking for it first would be refused outside the search thread.
    if (QSqlDatabase::contains(m_ConnectionName))
        QSqlDatabase::removeDatabase(m_ConnectionName);
}

QString ThreadDataBaseFind::sqlLiteral(const QString& text)
{
    return SqlText::literal(text);
}

QString ThreadDataBaseFind::makeCondition(const LevelFilter& level)
{
    // name_upper was built with the same Unicode upper-casing.
    const QString literal = sqlLiteral(level.text.toUpper());
    return (level.isMask ? QLatin1String("LIKE ") : QLatin1String("= ")) + literal + QLatin1Char(' ');
}

QHash<QString, ResultColumn> ThreadDataBaseFind::columnMap(bool bLocality, bool bStreet)
{
    QHash<QString, ResultColumn> columns;
    addColumn(columns, QStringLiteral("index"), QStringLiteral("Индекс"), 0);
    addColumn(columns, QStringLiteral("city"), QStringLiteral("Населенный пункт"), 1);
    addColumn(columns, QStringLiteral("city_t"), QStringLiteral("Тип пункта"), 2);
    addColumn(columns, QStringLiteral("city_t_"), QStringLiteral("_city_type"), 3);
    addColumn(columns, QStringLiteral("city_code"), QStringLiteral("_city_code"), 4);
    addColumn(columns, QStringLiteral("city_code_ss"), QStringLiteral("_city_code_ss"), 5);
    addColumn(columns, QStringLiteral("city_code_rrr"), QStringLiteral("_city_code_rrr"), 6);
    addColumn(columns, QStringLiteral("city_code_ggg"), QStringLiteral("_city_code_ggg"), 7);
    if (bStreet) {
        addColumn(columns, QStringLiteral("street"), QStringLiteral("Улица"), 8);
        addColumn(columns, QStringLiteral("street_t"), QStringLiteral("Тип объекта"), 9);
        addColumn(columns, QStringLiteral("street_t_"), QStringLiteral("_street_type"), 10);
        if (bLocality)
            addColumn(columns, QStringLiteral("home"),
                QStringLiteral("Номера домов (Н-нечетные, Ч-четные, --- все)"), 11);
    }
    return columns;
}

ThreadDataBaseFind::Statements ThreadDataBaseFind::buildStatements(
    const LevelFilter& locality, const LevelFilter& street, const QStringList& nameTables)
{
    Statements statements;
    const QStringList logged
        = selects(locality, street, [](const char* column, const LevelFilter& level, const char*) {
              return QLatin1String(column) + QLatin1Char(' ') + makeCondition(level);
          });
    statements.logged = logged.join(QLatin1String("UNION ")) + QLatin1String(" LIMIT 100");

    statements.executed = selects(
        locality, street, [&nameTables](const char* column, const LevelFilter& level, const char* names) {
            const QString name = QLatin1String(names);
            if (!matchesDistinctNames(level) || !nameTables.contains(name, Qt::CaseInsensitive))
                return QLatin1String(column) + QLatin1Char(' ') + makeCondition(level);
            return QLatin1String(column) + QLatin1String(" IN (SELECT name_upper FROM ") + name
                + QLatin1String(" WHERE name_upper ") + makeCondition(level) + QLatin1String(") ");
        });
    return statements;
}

bool ThreadDataBaseFind::begin(const QString& logged, QSqlDatabase& db)
{
    emit signalUpdateText(QStringLiteral("Выполнение запроса..."));
    emit signalUpdateProgress(0, 1);
    qDebug().noquote() << QStringLiteral("Trying to make next querry: \"%1\"").arg(logged);
    m_pHost->addState(QStringLiteral(">>>: ") + logged, false);

    QString error;
    if (openConnection(db, &error))
        return true;
    reportError(error);
    emit signalVisible(false);
    return false;
}

void ThreadDataBaseFind::reportError(const QString& text)
{
    m_pHost->addState(QStringLiteral("Ошибка: ") + text, false);
}

void ThreadDataBaseFind::run()
{
    if (!m_pHost)
        return;

    const LevelFilter& locality = m_SearchParams.level(SearchParams::LocalityLevel);
    const LevelFilter& street = m_SearchParams.level(SearchParams::StreetLevel);

    // Without either level the WHERE clause would begin with AND; there is nothing to search.
    if (locality.text.isEmpty() && street.text.isEmpty()) {
        m_pHost->addState(QStringLiteral("Поиск не выполнен: введите название населенного пункта "
                                         "или улицы."),
            false);
        emit signalVisible(false);
        return;
    }

    // A house on a street: every house group of the streets found, matched in code.
    if (!street.text.isEmpty() && !m_SearchParams.house.isEmpty()) {
        searchHouse(locality, street, m_SearchParams.house);
        return;
    }

    SearchResult result;
    result.columnMap = columnMap(!locality.text.isEmpty(), !street.text.isEmpty());
    Statements statements = buildStatements(locality, street, QStringList());
    QSqlDatabase db;
    if (!begin(statements.logged, db))
        return;
    // A database installed from elsewhere may lack the distinct names; the masks then test the
    // tables' rows. Only a mask that begins with a wildcard, and the search by both levels, need
    // to know.
    const bool bothLevels = !locality.text.isEmpty() && !street.text.isEmpty();
    TwoLevelPlan::NameTables nameTables;
    if (bothLevels || matchesDistinctNames(locality) || matchesDistinctNames(street))
        nameTables = TwoLevelPlan::nameTablesOf(db);
    statements = buildStatements(locality, street, nameTables.tables);
    if (bothLevels) {
        const QStringList planned = TwoLevelPlan::statements(db, locality, street, nameTables);
        if (!planned.isEmpty())
            statements.executed = planned;
    }
    if (!search(db, statements, result)) {
        // A failed statement may mean a damaged or replaced file: the next search starts afresh.
        db = QSqlDatabase();
        closeConnection();
    }
}

bool ThreadDataBaseFind::search(QSqlDatabase& db, const Statements& statements, SearchResult& result)
{
    DistinctRowFetcher fetcher(db, RowLimit);
    if (!fetcher.prepare(statements.executed)) {
        reportError(fetcher.lastError().text());
        qDebug() << fetcher.lastError();
        emit signalVisible(false);
        return false;
    }
    for (const QString& executed : statements.executed)
        qDebug().noquote() << QStringLiteral("Running: \"%1\"").arg(executed);

    emit signalVisible(true);
    if (m_pTimer)
        m_pTimer->startProgress();

    const bool fetched = fetcher.fetch([this] { return isInterruptionRequested(); });
    if (fetched) {
        result.columns = fetcher.columns();
        result.rows = fetcher.rows();
        emit signalFind(result);
    } else if (fetcher.lastError().isValid()) {
        qDebug() << fetcher.lastError();
        reportError(fetcher.lastError().text());
    }

    if (m_pTimer)
        m_pTimer->stopProgress();
    emit signalVisible(false);
    return fetched || !fetcher.lastError().isValid();
}

void ThreadDataBaseFind::searchHouse(
    const LevelFilter& locality, const LevelFilter& street, const QString& house)
{
    const HouseSearch houseSearch(locality, street, house);
    // Without a digit no list can hold the house; searching would only list every group.
    if (!houseSearch.house().hasDigit()) {
        const QString& refusal = houseSearch.house().refusal();
        m_pHost->addState(refusal.isEmpty()
                ? QStringLiteral("Поиск не выполнен: в номере дома \"%1\" нет ни одной цифры.").arg(house)
                : QStringLiteral("Поиск не выполнен: в номере дома %1.").arg(refusal),
            false);
        emit signalVisible(false);
        return;
    }

    QSqlDatabase db;
    if (!begin(houseSearch.statement(), db))
        return;
    emit signalVisible(true);
    if (m_pTimer)
        m_pTimer->startProgress();
    SearchResult result;
    QString error;
    const bool found = houseSearch.run(db, result.columnMap, &result, &error);
    if (found) {
        emit signalFind(result);
    } else {
        qDebug() << error;
        reportError(error);
    }
    if (m_pTimer)
        m_pTimer->stopProgress();
    emit signalVisible(false);
    if (!found) {
        db = QSqlDatabase();
        closeConnection();
    }
}
