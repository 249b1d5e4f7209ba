// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dbfwriter.h"

#include <QHash>
#include <QMap>
#include <QStringList>
#include <QVector>

// A made-up but realistic address classifier in the real files' layouts: regions, districts,
// cities and settlements with consistent codes (SS RRR GGG PPP AA), their streets (+UUUU) and
// house groups (+DDDD). The same options and seed always give the same records.
namespace KladrSample {

enum class Table { Kladr, Street, Doma };

// Scale 1.0 is about the real classifier's size.
inline constexpr double FullKladr = 220000;
inline constexpr double FullStreet = 1300000;
inline constexpr double FullDoma = 2600000;

struct Options {
    double scale = 1.0;
    quint64 seed = 1;
};

// Receives every record in file order, deleted ones included, as the field texts of the table's
// layout below (no leading or trailing blanks, each within its field length).
class RecordSink {
public:
    virtual ~RecordSink() = default;
    virtual void record(Table table, const QStringList& values, bool bDeleted) = 0;
};

void generate(const Options& options, RecordSink& sink);

// KLADR: NAME C40, SOCR C10, CODE C13, INDEX C6, GNINMB C4, UNO C4, OCATD C11, STATUS C1.
// STREET: NAME C40, SOCR C10, CODE C17, INDEX C6, GNINMB C4, UNO C4, OCATD C11.
// DOMA: NAME C40, KORP C10, SOCR C10, CODE C19, INDEX C6, GNINMB C4, UNO C4, OCATD C11.
QVector<DbfWriter::Field> fields(Table table);
QString fileName(Table table); // "KLADR.DBF", "STREET.DBF", "DOMA.DBF"

// The post's reference of post offices that goes with a sample, in the layout of the post's
// PIndx<N>.dbf: INDEX C6, OPSNAME C60, OPSTYPE C50, OPSSUBM C6, REGION C60, AUTONOM C60,
// AREA C60, CITY C60, CITY_1 C60, ACTDATE D8, INDEXOLD C6.
QVector<DbfWriter::Field> postOfficeFields();
inline constexpr const char* PostOfficeFileName = "PIndx26.dbf";

// Collects the indexes the classifier's records carry (pass it the generated records) and makes
// the offices for them: most indexes get an office; some offices name a former index, which no
// office has any more although the classifier may still carry it; a few indexes have no office.
class PostOffices : public RecordSink {
public:
    void record(Table table, const QStringList& values, bool bDeleted) override;
    // The records in index order, as the texts of postOfficeFields() (ACTDATE as "yyyyMMdd").
    QList<QStringList> offices(quint64 seed) const;

private:
    struct Place {
        QString name;
        QString socr;
    };
    QHash<QString, Place> m_Places; // KLADR code (11 characters) to name
    QMap<QString, QString> m_Indexes; // index to the code of the first locality carrying it
};

struct Counts {
    qint64 kladr = 0;
    qint64 street = 0;
    qint64 doma = 0;
    qint64 deleted = 0;
    qint64 postOffices = 0;
};

// Writes outDir/BASE/SOCRBASE.DBF (the given bytes, the real dictionary), the three generated
// tables and the post offices for their indexes (BASE/PIndx26.dbf). On failure returns false with a readable
// reason in *error.
bool writeSample(const QString& outDir, const QByteArray& socrbase, const Options& options, Counts* counts,
    QString* error);

} // namespace KladrSample
