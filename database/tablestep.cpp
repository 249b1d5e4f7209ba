// SPDX-License-Identifier: GPL-3.0-or-later
#include "tablestep.h"

#include "dbfblockreader.h"
#include "schema.h"
#include "sqliteinsert.h"

namespace {

QString text(const QDbf::QDbfRecord& record, int nColumn)
{
    return DbfBlockReader::text(record, nColumn);
}

// Columns: NAME 0, SOCR 1, CODE 2, INDEX 3, STATUS 7.
void mapKladr(Utf8Values& values, const QDbf::QDbfRecord& record, const TypeNames& types)
{
    const QString name = text(record, 0);
    const QString socr = text(record, 1);
    const QString code = text(record, 2);
    values.add(name);
    values.add(name.toUpper());
    values.add(types.value(socr));
    values.add(socr);
    values.add(code.leftRef(11));
    values.add(code.leftRef(2));
    values.add(code.midRef(2, 3));
    values.add(code.midRef(5, 3));
    values.add(code.midRef(8, 3));
    values.add(code.rightRef(2));
    values.add(text(record, 3));
    values.add(text(record, 7));
}

// Columns: NAME 0, SOCR 1, CODE 2, INDEX 3.
void mapStreet(Utf8Values& values, const QDbf::QDbfRecord& record, const TypeNames& types)
{
    const QString name = text(record, 0);
    const QString socr = text(record, 1);
    const QString code = text(record, 2);
    values.add(name);
    values.add(name.toUpper());
    values.add(types.value(socr));
    values.add(socr);
    values.add(code.leftRef(15));
    values.add(code.leftRef(11));
    values.add(code.rightRef(2));
    values.add(text(record, 3));
}

// Columns: NAME 0, CODE 3, INDEX 4.
void mapDoma(Utf8Values& values, const QDbf::QDbfRecord& record, const TypeNames&)
{
    const QString code = text(record, 3);
    values.add(text(record, 0));
    values.add(code.leftRef(11));
    values.add(code.leftRef(15));
    values.add(code.rightRef(2));
    values.add(text(record, 4));
}

TableStep kladr()
{
    TableStep step;
    step.table = "KLADR";
    step.file = "/BASE/KLADR.DBF";
    step.stepText = "Создание таблицы KLADR. Шаг 2 из 11. ";
    step.log.exists = "Таблица KLADR существует.";
    step.log.missing = "Таблица KLADR не существует.";
    step.log.creating = "Создание таблицы KLADR.";
    step.log.createFailedPrefix = "Не удалось создать таблицу KLADR. Ошибка: '";
    step.debug.openFailed = "Unable to open KLADR.DBF";
    // "KALDR" is the diagnostic text as it has always been reported.
    step.debug.createFailed = "Unable to create table KALDR: ";
    step.debug.insertFailed = "Unable to make INSERT into KLADR";
    step.createStatement = Schema::CreateKladr;
    step.insertStatement = Schema::InsertKladr;
    step.map = mapKladr;
    return step;
}

TableStep street()
{
    TableStep step;
    step.table = "STREET";
    step.file = "/BASE/STREET.DBF";
    step.stepText = "Создание таблицы STREET. Шаг 3 из 11. ";
    step.log.exists = "Таблица STREET существует.";
    step.log.missing = "Таблица STREET не существует.";
    step.log.creating = "Создание таблицы STREET.";
    step.log.createFailedPrefix = "Не удалось создать таблицу STREET. Ошибка: '";
    step.debug.openFailed = "Unable to open STREET.DBF";
    step.debug.createFailed = "Unable to create table STREET: ";
    step.debug.insertFailed = "Unable to make INSERT into STREET: ";
    step.createStatement = Schema::CreateStreet;
    step.insertStatement = Schema::InsertStreet;
    step.map = mapStreet;
    return step;
}

TableStep doma()
{
    TableStep step;
    step.table = "DOMA";
    step.file = "/BASE/DOMA.DBF";
    step.stepText = "Создание таблицы DOMA. Шаг 4 из 11. ";
    step.log.creating = "Создание таблицы DOMA.";
    step.log.createFailedPrefix = "Не удалось создать таблицу DOMA. Ошибка: '";
    step.debug.openFailed = "Unable to open DOMA.DBF";
    step.debug.createFailed = "Unable to create table DOMA: ";
    step.debug.insertFailed = "Unable to make INSERT into DOMA: ";
    step.createStatement = Schema::CreateDoma;
    step.insertStatement = Schema::InsertDoma;
    step.map = mapDoma;
    return step;
}

// The table's name in a schema statement, replaced by its working name.
QString onWorkingTable(const char* statement, const TableStep& step)
{
    QString sql = QLatin1String(statement);
    const QString name = QLatin1Char(' ') + QLatin1String(step.table) + QLatin1Char(' ');
    sql.replace(sql.indexOf(name), name.size(), QLatin1Char(' ') + step.workingName() + QLatin1Char(' '));
    return sql;
}

} // namespace

QString TableStep::fileName() const
{
    const QString path = QLatin1String(file);
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString TableStep::workingName() const
{
    return QLatin1String(table) + QStringLiteral("_partial");
}

QString TableStep::createWorkingTable() const
{
    return onWorkingTable(createStatement, *this);
}

QString TableStep::insertIntoWorkingTable() const
{
    return onWorkingTable(insertStatement, *this);
}

const std::array<TableStep, 3>& tableSteps()
{
    static const std::array<TableStep, 3> steps = { kladr(), street(), doma() };
    return steps;
}
