// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// A house number written the way people write it ("д. 12 корп. 1", "12a", "вл. 3") or the way the
// classifier's lists write it ("12к1", "влд3"), brought to one form so that both compare equal:
// upper case, ё as е, Latin letters that look Cyrillic as Cyrillic, blanks and dots dropped, a
// leading "д."/"дом" dropped, commas between the house and its parts dropped ("д. 91, корп. 1"),
// корпус/корп/кор as к, строение/стр (and a lone с before a number, "20с3") as стр,
// владение/вл/влд as влд, домовладение/двлд as двлд. Two digit groups with nothing but blanks or
// commas between ("12 1", "0 1") say neither one number nor a house and its part: such a text is
// refused, so that reading the one form again always gives the same house.
class HouseNumber {
public:
    HouseNumber() = default;
    explicit HouseNumber(const QString& text);

    // The one form: designators in lower case, everything else in upper case ("12к1стр2", "12А",
    // "12/1", "влд3"). Two houses are the same house exactly when their texts are equal.
    const QString& text() const { return m_Text; }
    // The first number of the house (12 for "12к1", 3 for "влд3"); -1 when it has no digit.
    qint64 number() const { return m_nNumber; }
    bool hasDigit() const { return m_nNumber >= 0; }
    // Only digits: "12", not "12А".
    bool isPlainNumber() const { return m_bPlain; }
    // Why the text is no house (empty when it is one or has no digit at all); a refused house has
    // no digit, no text, and matches nothing.
    const QString& refusal() const { return m_Refusal; }

private:
    QString m_Text;
    QString m_Refusal;
    qint64 m_nNumber = -1;
    bool m_bPlain = false;
};

// One house list of the classifier (the name of a house group): items separated by commas.
// An item is one house ("12", "12А", "12/1", "12к1", "12стр2", "влд3"), a range ("1-9" every
// number, "Н(1-15)" the odd ones, "Ч(2-20)" the even ones, "Н(7)" one number, reversed ends
// allowed), a whole parity ("Н", "Ч"), or "---" (every house).
class HouseList {
public:
    enum class Match {
        None,
        // A range, a plain number or "---" holds the house's number, but no item names the house.
        Number,
        // An item names the house itself.
        Exact,
    };

    HouseList() = default;
    explicit HouseList(const QString& list);

    Match match(const HouseNumber& house) const;
    bool holds(const HouseNumber& house) const { return match(house) != Match::None; }

private:
    enum class Parity { Any, Odd, Even };
    struct Range {
        qint64 from;
        qint64 to;
        Parity parity;
    };
    void addItem(const QString& item);
    static bool holdsNumber(const Range& range, qint64 number);

    QVector<Range> m_Ranges;
    QStringList m_Houses;
};

// A house group of a street: its list and its postal index (possibly empty).
struct HouseGroup {
    QString list;
    QString index;
};

// One answer for a house on a street: the group that gives it (-1 when no group holds the house
// and the index comes from the street and the objects above it), and the index.
struct HouseIndexMatch {
    int group = -1;
    QString index;

    bool operator==(const HouseIndexMatch& other) const
    {
        return group == other.group && index == other.index;
    }
};

// The index of a house on one street. chain: the indexes that follow the groups, nearest first
// (the street's, the locality's, the district's, the region's); empty texts are skipped.
// The groups whose lists name the house answer; otherwise those whose ranges or plain numbers
// hold its number; otherwise the chain does (one entry, group -1). A holding group without an
// index takes the chain's. Every holding group gives an entry, so two groups that disagree are
// both reported. A house without a digit gets no entry.
QVector<HouseIndexMatch> resolveHouseIndex(
    const QVector<HouseGroup>& groups, const HouseNumber& house, const QStringList& chain);
