// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The words that name an object type ("г", "город", "ул", "улица", "пр-кт", "проспект"), read from
// the classifier's own type dictionary: every short and every full name, plus the few spellings
// people use that the dictionary lacks ("просп", "р-он"). A word is looked up in its normal form
// (AddressLine::normalWord): upper case, ё as е, without dots.
class AddressTypes {
public:
    // One entry of the dictionary: a level (1 region … 5 street, 0 unknown), the short and the
    // full name, as the classifier writes them.
    void add(int nLevel, const QString& shortName, const QString& fullName);
    // The common spellings beside the dictionary; each maps to a short name given by add().
    void addCommonSpellings();

    bool isEmpty() const { return m_Words.isEmpty(); }
    bool contains(const QString& normalWord) const { return m_Words.contains(normalWord); }
    // The short names (normal form) a word may stand for; empty for no type word.
    QStringList shortNames(const QString& normalWord) const { return m_Words.value(normalWord).shortNames; }
    // True when every type the word names is a region's or a district's: such a word follows its
    // name more often than it precedes the next one ("Ростовская обл Ростов-на-Дону").
    bool isUpperLevelOnly(const QString& normalWord) const;
    // The levels a short name (normal form) is used on, as a mask: bit n for level n.
    int levels(const QString& normalShort) const { return m_ShortLevels.value(normalShort); }

private:
    struct Word {
        QStringList shortNames;
        int levelMask = 0;
    };
    void addWord(const QString& word, const QString& shortName, int levelMask);

    QHash<QString, Word> m_Words;
    QHash<QString, int> m_ShortLevels;
};
