// SPDX-License-Identifier: GPL-3.0-or-later
#include "typedictionary.h"

#include "dbfblockreader.h"

#include <qdbf/qdbfrecord.h>

#include <QBuffer>
#include <QDebug>

namespace {
const QString SocrbaseFile = QStringLiteral("SOCRBASE.DBF");
// A dictionary larger than this is not kept in memory between the check and step 1.
constexpr qint64 KeptLimit = 4 << 20;
} // namespace

void logHeaderMismatch(ImportSession& session, const QString& path, const DbfBlockReader::HeaderCheck& header)
{
    if (header.recordLength < header.fieldsLength) {
        session.log(u("Файл '") + path + u("' повреждён: длина записи в его заголовке ")
            + QString::number(header.recordLength) + u(" байт, а его поля занимают ")
            + QString::number(header.fieldsLength) + u(". Замените файл целым."));
    } else {
        session.log(u("Файл '") + path + u("' повреждён: по его заголовку размер файла ")
            + QString::number(header.expected) + u(" байт, а файл занимает ") + QString::number(header.size)
            + u(". Замените файл целым."));
    }
    qDebug() << "Header does not fit the file:" << path << header.expected << header.size
             << header.recordLength << header.fieldsLength;
}

bool headersFit(ImportSession& session, const QStringList& fileNames)
{
    const ClassifierSource& source = session.source();
    bool fit = true;
    const auto check = [&](const QString& name, QIODevice& device) {
        // The dictionary is small; read whole, it is checked from memory and step 1 does not
        // need another pass over an archive.
        QBuffer kept;
        QIODevice* checked = &device;
        if (name == SocrbaseFile && source.isArchive() && device.size() >= 0 && device.size() <= KeptLimit) {
            kept.setData(device.readAll());
            kept.open(QIODevice::ReadOnly);
            checked = &kept;
        }
        const DbfBlockReader::HeaderCheck header = DbfBlockReader::checkHeader(*checked);
        if (checked == &kept && kept.size() == device.size())
            source.keep(name, kept.data());
        if (header.fits)
            return true;
        logHeaderMismatch(session, source.describe(name), header);
        fit = false;
        return true;
    };
    QString error;
    if (!source.visit(fileNames, check, &error)) {
        if (!error.isEmpty())
            session.log(error);
        return false;
    }
    return fit;
}

bool readTypeNames(ImportSession& session, TypeNames& types)
{
    const QString path = session.source().describe(SocrbaseFile);
    session.log(u("Попытка открытия файла '") + path + QLatin1Char('\''));
    DbfBlockReader reader;
    QString error;
    if (!reader.open(session.source(), SocrbaseFile, &error)) {
        session.log(u("Не удалось открыть файл '") + path + QLatin1Char('\''));
        if (!error.isEmpty() && session.source().isArchive())
            session.log(error);
        qDebug() << "Unable to open SOCRBASE.DBF";
        return false;
    }
    session.log(u("Обработка таблицы SOCRBASE."));
    session.stepText(u("Обработка таблицы SOCRBASE. Шаг 1 из 11. "));
    session.rowProgress().start(reader.size());
    session.log(u("Добавление ") + QString::number(reader.size()) + u(" строк..."));

    const auto addType = [&](int nRow, const QDbf::QDbfRecord& record) {
        // A later record with the same abbreviation replaces the earlier full name.
        types.insert(DbfBlockReader::text(record, 1), DbfBlockReader::text(record, 2));
        session.rowProgress().advance(nRow);
    };
    while (reader.readBlock(addType) && !session.interrupted()) { }
    session.rowProgress().finish();
    if (reader.unreadable() > 0) {
        session.log(u("Файл '") + path + u("' короче, чем указано в его заголовке: не прочитано записей: ")
            + QString::number(reader.unreadable()) + QLatin1Char('.'));
        qDebug() << "File holds fewer records than its header announces:" << path << reader.deviceError();
        return false;
    }
    if (types.isEmpty()) {
        session.log(u("Файл '") + path + u("' не содержит ни одной записи."));
        return false;
    }
    return !session.interrupted();
}
