// SPDX-License-Identifier: GPL-3.0-or-later
#include "kladrcodeset.h"

#include <algorithm>

namespace {

constexpr int CodeLength = 11;
constexpr qint64 RestScale = 1000000000LL; // nine digits

} // namespace

KladrCodeSet KladrCodeSet::fromList(const QString& list)
{
    QVector<qint64> codes;
    codes.reserve(list.size() / (CodeLength + 1) + 1);
    qint64 code = 0;
    int digits = 0;
    const int size = list.size();
    // A common name's list is a hundred thousand characters and more: read as plain units.
    const ushort* units = list.utf16();
    for (int i = 0; i <= size; ++i) {
        const ushort c = i < size ? units[i] : ushort(',');
        if (c == ',') {
            if (digits != CodeLength) {
                // An empty list is the empty set; an empty or short code is no code.
                if (digits == 0 && size == 0)
                    break;
                KladrCodeSet invalid;
                invalid.m_bValid = false;
                return invalid;
            }
            codes.append(code);
            code = 0;
            digits = 0;
        } else if (c >= '0' && c <= '9' && digits < CodeLength) {
            code = code * 10 + (c - '0');
            ++digits;
        } else {
            KladrCodeSet invalid;
            invalid.m_bValid = false;
            return invalid;
        }
    }
    if (!std::is_sorted(codes.cbegin(), codes.cend()))
        std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    return fromSorted(codes);
}

KladrCodeSet KladrCodeSet::fromSorted(const QVector<qint64>& codes)
{
    KladrCodeSet set;
    set.m_Rest.reserve(codes.size());
    set.m_Starts.fill(0, Regions + 1);
    int region = 0;
    for (const qint64 code : codes) {
        const int own = int(code / RestScale);
        while (region < own)
            set.m_Starts[++region] = set.m_Rest.size();
        set.m_Rest.append(quint32(code % RestScale));
    }
    while (region < Regions)
        set.m_Starts[++region] = set.m_Rest.size();
    return set;
}

QVector<qint64> KladrCodeSet::codes() const
{
    QVector<qint64> codes;
    codes.reserve(m_Rest.size());
    for (int region = 0; region < Regions && !m_Starts.isEmpty(); ++region) {
        for (int i = m_Starts.at(region); i < m_Starts.at(region + 1); ++i)
            codes.append(region * RestScale + m_Rest.at(i));
    }
    return codes;
}

qint64 KladrCodeSet::bytes() const
{
    return qint64(sizeof(KladrCodeSet)) + m_Starts.capacity() * qint64(sizeof(int))
        + m_Rest.capacity() * qint64(sizeof(quint32));
}

QStringList KladrCodeSet::intersected(const KladrCodeSet& other) const
{
    QStringList common;
    if (m_Rest.isEmpty() || other.m_Rest.isEmpty())
        return common;
    for (int region = 0; region < Regions; ++region) {
        int i = m_Starts.at(region);
        int j = other.m_Starts.at(region);
        const int end = m_Starts.at(region + 1);
        const int otherEnd = other.m_Starts.at(region + 1);
        while (i < end && j < otherEnd) {
            const quint32 a = m_Rest.at(i);
            const quint32 b = other.m_Rest.at(j);
            if (a < b) {
                ++i;
            } else if (b < a) {
                ++j;
            } else {
                common.append(
                    QString::number(region * RestScale + a).rightJustified(CodeLength, QLatin1Char('0')));
                ++i;
                ++j;
            }
        }
    }
    return common;
}

KladrCodeSet KladrCodeSet::united(const KladrCodeSet& other) const
{
    if (!m_bValid || !other.m_bValid) {
        KladrCodeSet invalid;
        invalid.m_bValid = false;
        return invalid;
    }
    const QVector<qint64> mine = codes();
    const QVector<qint64> theirs = other.codes();
    QVector<qint64> both;
    both.reserve(mine.size() + theirs.size());
    std::set_union(mine.cbegin(), mine.cend(), theirs.cbegin(), theirs.cend(), std::back_inserter(both));
    return fromSorted(both);
}

const KladrCodeSet* KladrCodeSetCache::find(const QString& key) const
{
    const auto found = m_Sets.constFind(key);
    return found == m_Sets.cend() ? nullptr : &found.value();
}

void KladrCodeSetCache::insert(const QString& key, const KladrCodeSet& set)
{
    const qint64 bytes = set.bytes() + key.size() * qint64(sizeof(QChar));
    if (m_nBytes + bytes > m_nBudget)
        clear();
    m_Sets.insert(key, set);
    m_nBytes += bytes;
}

void KladrCodeSetCache::clear()
{
    m_Sets.clear();
    m_Asked.clear();
    m_nBytes = 0;
}

bool KladrCodeSetCache::askedBefore(const QString& key)
{
    if (m_Asked.contains(key))
        return true;
    if (m_Asked.size() >= MaxAsked)
        m_Asked.clear();
    m_Asked.insert(key);
    return false;
}
