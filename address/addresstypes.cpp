// SPDX-License-Identifier: GPL-3.0-or-later
#include "addresstypes.h"

#include "addressline.h"

void AddressTypes::add(int nLevel, const QString& shortName, const QString& fullName)
{
    const QString shortWord = AddressLine::normalWord(shortName.trimmed());
    if (shortWord.isEmpty())
        return;
    const int mask = nLevel > 0 && nLevel < 31 ? 1 << nLevel : 0;
    m_ShortLevels[shortWord] |= mask;
    addWord(shortWord, shortWord, mask);
    // Full names of several words ("Поселок городского типа") are written as one word nowhere.
    addWord(AddressLine::normalName(fullName), shortWord, mask);
}

void AddressTypes::addWord(const QString& word, const QString& shortName, int levelMask)
{
    if (word.isEmpty() || word.contains(QLatin1Char(' ')))
        return;
    Word& entry = m_Words[word];
    if (!entry.shortNames.contains(shortName))
        entry.shortNames.append(shortName);
    entry.levelMask |= levelMask;
}

void AddressTypes::addCommonSpellings()
{
    // Spellings of everyday letters that the dictionary does not list, with the short name each
    // stands for; one that names a type the dictionary lacks adds nothing.
    static const char* const spellings[][2] = {
        { "просп", "пр-кт" },
        { "пр-т", "пр-кт" },
        { "р-он", "р-н" },
        { "рн", "р-н" },
        { "бул", "б-р" },
        { "бульв", "б-р" },
        { "пос", "п" },
        { "поселок", "п" },
        { "дер", "д" },
        { "обл", "обл" },
        { "респ", "Респ" },
        { "республика", "Респ" },
        { "мкрн", "мкр" },
        { "микрорайон", "мкр" },
        { "наб", "наб" },
        { "шоссе", "ш" },
        { "станица", "ст-ца" },
    };
    for (const auto& spelling : spellings) {
        const QString shortWord = AddressLine::normalWord(QString::fromUtf8(spelling[1]));
        const auto known = m_ShortLevels.constFind(shortWord);
        if (known != m_ShortLevels.cend())
            addWord(AddressLine::normalWord(QString::fromUtf8(spelling[0])), shortWord, *known);
    }
}

bool AddressTypes::isUpperLevelOnly(const QString& normalWord) const
{
    const int mask = m_Words.value(normalWord).levelMask;
    return mask != 0 && (mask & ~((1 << 1) | (1 << 2))) == 0;
}
