// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

// The locality codes (11 digits) that one name has, kept compactly to be intersected in memory:
// a common locality name has a couple of thousand records and a common street name lies in ten
// thousand localities, so probing the index for each costs more than keeping both lists. A code
// is its region (two digits) and the rest (nine digits, 32 bits); the rest are kept sorted by
// region.
class KladrCodeSet {
public:
    // Codes separated by commas, in any order and repeated, as group_concat writes them. The set
    // is invalid when one of them is not 11 digits: such a list is no set of codes.
    static KladrCodeSet fromList(const QString& list);

    bool isValid() const { return m_bValid; }
    int size() const { return m_Rest.size(); }
    // The memory the set holds, for the bound on what is kept.
    qint64 bytes() const;
    // The codes of both sets, ascending.
    QStringList intersected(const KladrCodeSet& other) const;
    // The codes of either set.
    KladrCodeSet united(const KladrCodeSet& other) const;

private:
    static constexpr int Regions = 100;
    static KladrCodeSet fromSorted(const QVector<qint64>& codes);
    QVector<qint64> codes() const;

    // Where each region's codes begin in m_Rest; Regions + 1 entries, the last is the size.
    QVector<int> m_Starts;
    QVector<quint32> m_Rest;
    bool m_bValid = true;
};

// Code sets kept from one search or line to the next, by a key their reader chooses (the name and
// where it was read), within a bound of memory: the code lists of a full classifier's common
// names fit. Emptied whole when full: the names asked for since come back first.
class KladrCodeSetCache {
public:
    static constexpr qint64 DefaultBudget = 8 * 1024 * 1024;

    explicit KladrCodeSetCache(qint64 budget = DefaultBudget)
        : m_nBudget(budget)
    {
    }

    // The set kept for key; null when none is.
    const KladrCodeSet* find(const QString& key) const;
    void insert(const QString& key, const KladrCodeSet& set);
    void clear();

    // Whether key was asked for before; it counts as asked for from now on. A reader that reads a
    // set only for a name asked for again spares a name searched once the cost of its set.
    bool askedBefore(const QString& key);

private:
    // Keys remembered as asked for, at most: each costs its text alone.
    static constexpr int MaxAsked = 10000;

    QHash<QString, KladrCodeSet> m_Sets;
    QSet<QString> m_Asked;
    qint64 m_nBytes = 0;
    qint64 m_nBudget;
};
