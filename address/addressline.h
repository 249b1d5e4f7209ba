// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "houselist.h"

#include <QDebug>
#include <QString>
#include <QVector>

class AddressTypes;

// One address written on one line as people write it, read into its parts:
//   [index,] part, part, …, [house [, its parts]] [, apartment]
// A part is a name with its type word before or after it, or without one ("г. Ростов-на-Дону",
// "Ростовская обл", "Ленина"). Parts are separated by commas; without commas, a type word between
// two names starts a new part ("г Москва ул Ленина д 5"). The house begins at "д"/"дом"/"влд" or
// at a number that follows a name; корпус, строение, letters and "/" belong to it, commas
// included ("д. 91, корп. 1"). "кв"/"оф" and the like start the apartment, kept apart and never
// matched. A six-digit number standing alone is the index.
// Every name and type word is kept in its normal form (normalWord), so that two lines written
// differently read the same when they say the same thing.
class AddressLine {
public:
    struct Part {
        QString name; // normal form; never empty
        QString type; // the type word in normal form ("Г", "ГОРОД", "УЛ"); empty when left out
        bool operator==(const Part& other) const { return name == other.name && type == other.type; }
    };

    AddressLine() = default;
    static AddressLine read(const QString& line, const AddressTypes& types);

    bool isValid() const { return m_Refusal.isEmpty(); }
    // Why the line is no address (empty when it is one).
    const QString& refusal() const { return m_Refusal; }

    const QString& index() const { return m_Index; }
    const QVector<Part>& parts() const { return m_Parts; }
    // Empty when the line names no house.
    const HouseNumber& house() const { return m_House; }
    bool hasHouse() const { return !m_House.text().isEmpty(); }
    // The apartment or office as written after its word, in normal form ("КВ 5", "ОФ 12").
    const QString& apartment() const { return m_Apartment; }

    // The part a bare house number followed in the same segment ("п Мамон 4, ул Ленина": 0), or
    // -1. Such a number may be the end of the part's name instead.
    int houseFollowsPart() const { return m_nHousePart; }
    // The other reading: the house number as the end of the name of houseFollowsPart(), no house.
    AddressLine withHouseInName() const;

    // The line again, in the form this reader writes: "344000, Г РОСТОВ-НА-ДОНУ, УЛ ЛЕНИНА,
    // Д 12к1, КВ 5". Reading it again gives an equal value.
    QString normalForm() const;

    // Upper case, ё as е, without dots; "1-ая", "1ая", "1я" as "1-Я" ("2-ой" as "2-Й", "3-ье" as
    // "3-Е"). Type words, names and the classifier's names are compared in this form.
    static QString normalWord(const QString& word);
    // A whole name: its words in normal form, joined by one blank.
    static QString normalName(const QString& name);
    // A name as the classifier stores it, read as a line's name would be: marks that a line
    // drops (dots, quotes, brackets, commas) as blanks, then normalName.
    static QString normalText(const QString& text);

    bool operator==(const AddressLine& other) const;
    bool operator!=(const AddressLine& other) const { return !(*this == other); }

private:
    QString m_Refusal;
    QString m_Index;
    QVector<Part> m_Parts;
    HouseNumber m_House;
    QString m_Apartment;
    QString m_HouseWords;
    int m_nHousePart = -1;
};

QDebug operator<<(QDebug debug, const AddressLine& line);
