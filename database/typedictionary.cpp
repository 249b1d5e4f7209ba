// SPDX-License-Identifier: GPL-3.0-or-later
#include "typedictionary.h"

#include "dbfblockreader.h"

#include <qdbf/qdbfrecord.h>

#include <QDebug>

bool recordCountFits(ImportSession& session, const QString& path)
{
    const DbfBlockReader::HeaderCheck check = DbfBlockReader::checkHeader(path);
    if (check.fits)
        return true;
    session.log(u("Файл '") + path + u("' повреждён: в его заголовке указано записей: ")
        + QString::number(check.count) + u(", а файл вмещает записей: ") + QString::number(check.holds)
        + u(". Замените файл целым и повторите поиск."));
    qDebug() << "Header record count does not fit the file:" << path << check.count << check.holds;
    return false;
}

bool readTypeNames(ImportSession& session, TypeNames& types)
{
    const QString path = session.localDbDir() + QStringLiteral("/BASE/SOCRBASE.DBF");
    session.log(u("Попытка открытия файла '") + path + QLatin1Char('\''));
    DbfBlockReader reader;
    if (!reader.open(path)) {
        session.log(u("Не удалось открыть файл '") + path + QLatin1Char('\''));
        qDebug() << "Unable to open SOCRBASE.DBF";
        return false;
    }
    if (!recordCountFits(session, path))
        return false;
    session.log(u("Обработка таблицы SOCRBASE."));
    session.stepText(u("Обработка таблицы SOCRBASE. Шаг 1 из 11. "));
    session.rowProgress().start(reader.size());
    session.log(u("Добавление ") + QString::number(reader.size()) + u(" строк..."));

    int unreadable = 0;
    const auto addType = [&](int nRow, const QDbf::QDbfRecord& record) {
        const QVariant key = record.value(1);
        if (!key.isValid()) {
            ++unreadable;
            return;
        }
        // A later record with the same abbreviation replaces the earlier full name.
        types.insert(DbfBlockReader::text(record, 1), DbfBlockReader::text(record, 2));
        session.rowProgress().advance(nRow);
    };
    while (reader.readBlock(addType) && !session.interrupted()) { }
    session.rowProgress().finish();
    if (unreadable > 0) {
        session.log(u("Файл '") + path + u("' короче, чем указано в его заголовке: не прочитано записей: ")
            + QString::number(unreadable) + QLatin1Char('.'));
        qDebug() << "File holds fewer records than its header announces:" << path;
        return false;
    }
    if (types.isEmpty()) {
        session.log(u("Файл '") + path + u("' не содержит ни одной записи."));
        return false;
    }
    return !session.interrupted();
}
