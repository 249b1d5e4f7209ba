// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "addressline.h"
#include "addresstypes.h"
#include "kladrcodeset.h"
#include "searchconnection.h"

#include <QHash>
#include <QMap>
#include <QPair>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVector>

// How sure an answer is, best first. The words are the ones the user reads.
enum class AddressGrade {
    House, // "дом": a house group names the house
    Range, // "диапазон": the house number lies in a group's range
    Street, // "улица": the street's index
    Locality, // "пункт": the locality's index
    Ambiguous, // "неоднозначно": several objects with different indexes fit
    NotFound, // "не найден"
};
QString gradeText(AddressGrade grade);

// One object the line may mean, with its index and composed address.
struct AddressCandidate {
    AddressGrade grade = AddressGrade::NotFound;
    QString index;
    QString address;
    QString localityCode; // 11 characters
    QString streetCode; // 15 characters; empty without a street
    QString houseList; // the house group that answered; empty otherwise
};

struct AddressAnswer {
    AddressGrade grade = AddressGrade::NotFound;
    // Empty for Ambiguous and NotFound.
    QString index;
    QString address;
    // Every object that fits (one for a sure answer, several for Ambiguous, none for NotFound).
    QVector<AddressCandidate> candidates;
    // NotFound: the part that failed, or why the line was refused.
    QString problem;
    // What the user should know beside the answer: a former name, an index in the line that
    // differs from the classifier's.
    QStringList notes;
    bool bIndexDiffers = false;
    bool bFormerName = false;
};

// Resolves address lines against a local database, read only, through the search's kept
// connection (SearchConnection) and its address composition (PostalAddress). One object serves
// one thread: it opens its named connection in the constructor's thread and removes it in the
// destructor; a database file replaced meanwhile is seen by the next resolver (readsFile tells).
class AddressResolver {
public:
    explicit AddressResolver(const QString& databaseFile);
    ~AddressResolver();
    AddressResolver(const AddressResolver&) = delete;
    AddressResolver& operator=(const AddressResolver&) = delete;

    // False when the database cannot be opened or read; the reason is in error().
    bool isReady() const { return m_Error.isEmpty(); }
    const QString& error() const { return m_Error; }
    const AddressTypes& types() const { return m_Types; }
    // True while the path names the file this resolver opened, unchanged: no other file renamed
    // over it, nothing written to it since.
    bool readsFile(const QString& databaseFile) const;

    // Many lines in a row read one snapshot: without it SQLite takes and drops its file lock for
    // every statement, which costs more than the statements themselves.
    void beginBatch();
    void endBatch();

    // A part whose name has more records than this (the part with the most) is read only for the
    // codes the line's other parts allow. The answers are the same; tests raise it to compare.
    void setNarrowAbove(int nRecords) { m_nNarrowAbove = nRecords; }
    // A locality name with more records than this is narrowed to the localities with the line's
    // street by intersecting code lists kept in memory instead of probing the street index for
    // each record. The answers are the same; tests lower it to compare.
    void setIntersectAbove(int nRecords) { m_nIntersectAbove = nRecords; }
    // How many readings found nothing narrowed and were read again with every record.
    int fullReads() const { return m_nFullReads; }

    AddressAnswer resolve(const QString& line);
    AddressAnswer resolve(const AddressLine& line);

private:
    struct Object {
        QString name;
        QString scname;
        QString code; // 11 (KLADR) or 15 (STREET) characters
        QString index;
        QString formerName; // the name the line used, when it is a former one
        qint64 number = -1; // the code as a number, for the tests of which object holds which
    };
    // A record as a statement gives it, before the rules of names and former names.
    struct Row {
        QString name;
        QString scname;
        QString code;
        QString codeSt;
        QString index;
    };
    struct Combination {
        int locality = -1; // part index
        Object localityObject;
        int street = -1;
        Object streetObject;
    };

    // The codes a part's records are read for, when reading them all would be a waste: code
    // ranges (from, to), and the codes that have a street of one of these names.
    struct Restriction {
        QVector<QPair<QString, QString>> ranges;
        QStringList streetNames;
    };

    AddressAnswer resolveReading(const AddressLine& line);
    AddressAnswer resolveReading(const AddressLine& line, bool bNarrow);
    int recordCount(const AddressLine::Part& part);
    int recordCount(const QString& name);
    bool hasStreetName(const QString& name);
    Restriction restriction(
        int part, const QVector<AddressLine::Part>& parts, const QVector<QVector<Object>>& kladr);
    bool streetAble(const AddressLine::Part& part) const;
    QStringList codesWithStreets(const QString& localityName, const QStringList& streetNames, bool* bDone);
    KladrCodeSet codeSet(QSqlQuery& query, const QString& key, const QString& name);
    bool prepare();
    bool readTypes();
    bool readAliases(const char* table, const char* namesTable);
    QStringList namesFor(const QString& normalName) const;
    QVector<AddressLine::Part> readings(const AddressLine::Part& part) const;
    QVector<Object> kladrByName(const AddressLine::Part& part, const Restriction* restriction = nullptr);
    QVector<Object> kladrByOneName(const AddressLine::Part& part, const Restriction* restriction);
    bool readKladrRows(QSqlQuery& query, QMap<qint64, Row>* rows);
    QVector<Object> streetsByName(const AddressLine::Part& part, const QString& localityCode, int nLimit);
    QVector<Object> streetsByOneName(const AddressLine::Part& part, const QString& localityCode, int nLimit);
    QHash<QString, QVector<Object>> streetsIn(
        const AddressLine::Part& part, const QStringList& localityCodes);
    void takeRows(const QVector<Row>& rows, const AddressLine::Part& part, bool bStreet, QSet<QString>* codes,
        QVector<Object>* objects);
    static bool readRow(QSqlQuery& query, Row* row);
    const QString& normalType(const QString& scname);
    bool current(QSqlQuery& byCode, Object* object);
    const Object* kladrByCode(const QString& code);
    bool isStreetOnlyType(const AddressLine::Part& part) const;
    QString compose(
        const Object& locality, const Object* street, const AddressLine& line, const QString& index);
    void addCandidates(const Combination& combination, const AddressLine& line, AddressAnswer* answer);
    QVector<HouseGroup> houseGroups(const QString& streetCode);
    void readHouseGroups(const QStringList& streetCodes);

    // Declared first, destroyed last: the statements below use it.
    SearchConnection m_Connection;
    QString m_DatabaseFile;
    QByteArray m_FileStamp;
    QString m_Error;
    AddressTypes m_Types;
    // Normal names that differ from the stored upper-case ones (ё, "1-ая"), with those names.
    QHash<QString, QStringList> m_Aliases;
    QSqlQuery m_KladrByName;
    QSqlQuery m_KladrCount;
    QSqlQuery m_StreetNameExists;
    QSqlQuery m_KladrInRange;
    QSqlQuery m_KladrWithStreet;
    QSqlQuery m_KladrWithStreets;
    QSqlQuery m_KladrWithCodes;
    QSqlQuery m_KladrCodes;
    QSqlQuery m_StreetLocalityCodes;
    QSqlQuery m_KladrByCode;
    QSqlQuery m_StreetByName;
    QSqlQuery m_StreetByNameAnywhere;
    QSqlQuery m_StreetByNameIn;
    QSqlQuery m_StreetByCode;
    QSqlQuery m_Houses;
    QSqlQuery m_HousesIn;
    // The house groups of the streets of the line being resolved, read at once.
    QHash<QString, QVector<HouseGroup>> m_HouseGroups;
    // Region and district records by code for the composed address; bounded by the classifier.
    QHash<QString, Object> m_ByCode;
    // How many KLADR records have a name; bounded by the classifier's names, cleared when full.
    QHash<QString, int> m_RecordCounts;
    // Whether a street has the name: most spellings tried (the type word inside the name) have
    // none. Bounded the same way.
    QHash<QString, bool> m_StreetNames;
    // The codes of the common locality names ('K' and the name) and of the street names ('S')
    // they were intersected with.
    KladrCodeSetCache m_CodeSets;
    // A type's short name as the classifier writes it, in normal form; a few dozen.
    QHash<QString, QString> m_NormalTypes;
    QString m_LastError;
    int m_nNarrowAbove = 0;
    int m_nIntersectAbove = 100;
    int m_nFullReads = 0;
};
