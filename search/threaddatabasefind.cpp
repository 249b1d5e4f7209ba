#include "threaddatabasefind.h"

#include "housesearch.h"
#include "threadtimer.h"
#include "workerhost.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace {

void addColumn(QHash<QString, ResultColumn>& columns, const QString& key, const QString& header, int column)
{
    ResultColumn entry;
    entry.header = header;
    entry.column = column;
    columns.insert(key, entry);
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
    // The run holds a connection and the caller's parameter block; let it finish with both.
    wait();
}

QString ThreadDataBaseFind::sqlLiteral(const QString& text)
{
    QString doubled = text;
    doubled.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + doubled + QLatin1Char('\'');
}

QString ThreadDataBaseFind::makeCondition(const LevelFilter& level)
{
    // name_upper was built with the same Unicode upper-casing.
    const QString literal = sqlLiteral(level.text.toUpper());
    return (level.isMask ? QLatin1String("LIKE ") : QLatin1String("= ")) + literal + QLatin1Char(' ');
}

QString ThreadDataBaseFind::buildStatement(const LevelFilter& locality, const LevelFilter& street)
{
    const bool hasLocality = !locality.text.isEmpty();
    const bool hasStreet = !street.text.isEmpty();
    QHash<QString, ResultColumn>& columns = m_pSearchParams->columns;

    QString statement = QStringLiteral("SELECT ");
    if (hasStreet && hasLocality)
        statement += QLatin1String("d.index_ ");
    else if (hasStreet)
        statement += QLatin1String("s.index_ ");
    else
        statement += QLatin1String("k.index_ ");
    statement += QLatin1String(", k.name, k.socr, k.scname, k.code, k.code_ss, k.code_rrr, k.code_ggg ");

    columns.clear();
    addColumn(columns, QStringLiteral("index"), QStringLiteral("Индекс"), 0);
    addColumn(columns, QStringLiteral("city"), QStringLiteral("Населенный пункт"), 1);
    addColumn(columns, QStringLiteral("city_t"), QStringLiteral("Тип пункта"), 2);
    addColumn(columns, QStringLiteral("city_t_"), QStringLiteral("_city_type"), 3);
    addColumn(columns, QStringLiteral("city_code"), QStringLiteral("_city_code"), 4);
    addColumn(columns, QStringLiteral("city_code_ss"), QStringLiteral("_city_code_ss"), 5);
    addColumn(columns, QStringLiteral("city_code_rrr"), QStringLiteral("_city_code_rrr"), 6);
    addColumn(columns, QStringLiteral("city_code_ggg"), QStringLiteral("_city_code_ggg"), 7);

    if (hasStreet) {
        statement += QLatin1String(", s.name, s.socr, s.scname ");
        addColumn(columns, QStringLiteral("street"), QStringLiteral("Улица"), 8);
        addColumn(columns, QStringLiteral("street_t"), QStringLiteral("Тип объекта"), 9);
        addColumn(columns, QStringLiteral("street_t_"), QStringLiteral("_street_type"), 10);
        if (hasLocality) {
            statement += QLatin1String(", d.name ");
            addColumn(columns, QStringLiteral("home"),
                QStringLiteral("Номера домов (Н-нечетные, Ч-четные, --- все)"), 11);
        }
    }

    statement += QLatin1String("FROM kladr k ");
    if (hasStreet) {
        statement += QLatin1String(", street s ");
        if (hasLocality)
            statement += QLatin1String(", doma d INDEXED BY index_doma_index ");
    }

    statement += QLatin1String(" WHERE ");
    if (hasLocality)
        statement += QLatin1String("k.name_upper ") + makeCondition(locality);
    if (hasStreet) {
        if (hasLocality)
            statement += QLatin1String("AND d.code_street = s.code AND ");
        statement += QLatin1String("s.name_upper ") + makeCondition(street)
            + QLatin1String("AND s.code_kladr = k.code ");
    }
    statement += QLatin1String("AND k.code_st = '00' ");

    if (hasLocality && hasStreet) {
        statement += QLatin1String("UNION SELECT s.index_ , k.name , k.socr , k.scname , k.code , "
                                   "k.code_ss , k.code_rrr , k.code_ggg , s.name , s.socr , "
                                   "s.scname , '---' FROM KLADR k, STREET s WHERE ")
            + QLatin1String("s.name_upper ") + makeCondition(street) + QLatin1String("AND k.name_upper ")
            + makeCondition(locality)
            + QLatin1String("AND s.code_kladr = k.code AND s.index_ != '' and k.code_st = '00'");
    }

    statement += QLatin1String(" LIMIT 100");
    return statement;
}

void ThreadDataBaseFind::reportError(const QString& text)
{
    m_pHost->addState(QStringLiteral("Ошибка: ") + text, false);
}

void ThreadDataBaseFind::run()
{
    if (!m_pHost || !m_pSearchParams)
        return;

    const SearchParams snapshot = *m_pSearchParams;
    const LevelFilter& locality = snapshot.level(SearchParams::LocalityLevel);
    const LevelFilter& street = snapshot.level(SearchParams::StreetLevel);

    // Without either level the WHERE clause would begin with AND; there is nothing to search.
    if (locality.text.isEmpty() && street.text.isEmpty()) {
        m_pHost->addState(QStringLiteral("Поиск не выполнен: введите название населенного пункта "
                                         "или улицы."),
            false);
        emit signalVisible(false);
        return;
    }

    // A house on a street: every house group of the streets found, matched in code.
    if (!street.text.isEmpty() && !snapshot.house.isEmpty()) {
        searchHouse(locality, street, snapshot.house);
        return;
    }

    emit signalUpdateText(QStringLiteral("Выполнение запроса..."));
    emit signalUpdateProgress(0, 1);

    const QString statement = buildStatement(locality, street);
    qDebug().noquote() << QStringLiteral("Trying to make next querry: \"%1\"").arg(statement);
    m_pHost->addState(QStringLiteral(">>>: ") + statement, false);

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_ConnectionName);
        db.setDatabaseName(m_DatabaseFile);
        // The search only reads; read-only also keeps a missing file from being created empty.
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (m_DatabaseFile.isEmpty() || !db.open()) {
            const QString text = m_DatabaseFile.isEmpty() ? QStringLiteral("не задан файл базы данных")
                                                          : db.lastError().text();
            reportError(text);
            qDebug() << db.lastError();
            emit signalVisible(false);
        } else {
            search(db, statement);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(m_ConnectionName);
}

void ThreadDataBaseFind::search(QSqlDatabase& db, const QString& statement)
{
    QSqlQuery query(db);
    // Both sides of every LIKE are upper-cased already, so case-sensitive matching returns the
    // same rows, and it lets SQLite use the name_upper indexes for prefix masks.
    if (!query.exec(QStringLiteral("PRAGMA case_sensitive_like=ON")))
        qDebug() << query.lastError();
    // Every search opens a fresh connection with a cold page cache; mapping the file reads the
    // pages the joins touch straight from the system's cache instead of one read call each.
    if (!query.exec(QStringLiteral("PRAGMA mmap_size=1073741824")))
        qDebug() << query.lastError();

    query.setForwardOnly(true);
    if (!query.prepare(statement)) {
        reportError(query.lastError().text());
        qDebug() << query.lastError();
        emit signalVisible(false);
        return;
    }

    emit signalVisible(true);
    if (m_pTimer)
        m_pTimer->startProgress();

    bool ok = query.exec();
    SearchResult result;
    if (ok) {
        result.columns = query.record();
        while (query.next())
            result.rows.append(query.record());
        // A step can fail after the first rows (a locked or damaged file).
        ok = !query.lastError().isValid();
    }
    if (ok) {
        emit signalFind(result);
    } else {
        qDebug() << query.lastError();
        reportError(query.lastError().text());
    }

    if (m_pTimer)
        m_pTimer->stopProgress();
    emit signalVisible(false);
}

void ThreadDataBaseFind::searchHouse(
    const LevelFilter& locality, const LevelFilter& street, const QString& house)
{
    const HouseSearch houseSearch(locality, street, house);
    // Without a digit no list can hold the house; searching would only list every group.
    if (!houseSearch.house().hasDigit()) {
        m_pHost->addState(
            QStringLiteral("Поиск не выполнен: в номере дома \"%1\" нет ни одной цифры.").arg(house), false);
        emit signalVisible(false);
        return;
    }

    emit signalUpdateText(QStringLiteral("Выполнение запроса..."));
    emit signalUpdateProgress(0, 1);
    qDebug().noquote() << QStringLiteral("Trying to make next querry: \"%1\"").arg(houseSearch.statement());
    m_pHost->addState(QStringLiteral(">>>: ") + houseSearch.statement(), false);

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_ConnectionName);
        db.setDatabaseName(m_DatabaseFile);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (m_DatabaseFile.isEmpty() || !db.open()) {
            reportError(m_DatabaseFile.isEmpty() ? QStringLiteral("не задан файл базы данных")
                                                 : db.lastError().text());
            emit signalVisible(false);
        } else {
            {
                QSqlQuery pragmas(db);
                // As for the other searches: prefix masks use the name_upper indexes, and the
                // pages come from the system's cache.
                pragmas.exec(QStringLiteral("PRAGMA case_sensitive_like=ON"));
                pragmas.exec(QStringLiteral("PRAGMA mmap_size=1073741824"));
            }
            emit signalVisible(true);
            if (m_pTimer)
                m_pTimer->startProgress();
            SearchResult result;
            QString error;
            if (houseSearch.run(db, m_pSearchParams->columns, &result, &error)) {
                emit signalFind(result);
            } else {
                qDebug() << error;
                reportError(error);
            }
            if (m_pTimer)
                m_pTimer->stopProgress();
            emit signalVisible(false);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(m_ConnectionName);
}
