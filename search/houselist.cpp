// SPDX-License-Identifier: GPL-3.0-or-later
#include "houselist.h"

#include <QHash>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

constexpr qint64 NoEnd = std::numeric_limits<qint64>::max();
// More digits than this are no house number any classifier writes; they would overflow.
constexpr int MaxDigits = 18;

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Upper case, ё as е, and the Latin letters a keyboard left in Latin mode types instead of their
// Cyrillic twins ("12A", "H(1-15)").
QChar foldLetter(QChar c)
{
    static const QString latin = QStringLiteral("ABCEHKMOPTXY");
    static const QString cyrillic = QStringLiteral("АВСЕНКМОРТХУ");
    c = c.toUpper();
    if (c == QChar(0x0401)) // Ё
        return QChar(0x0415); // Е
    const int at = latin.indexOf(c);
    return at < 0 ? c : cyrillic.at(at);
}

// Blanks, dots, commas and the number sign only separate words ("д. 12", "корп.1", "№ 12",
// "д. 91, корп. 1").
bool isSeparator(QChar c)
{
    return c.isSpace() || c == QLatin1Char('.') || c == QLatin1Char(',') || c == QChar(0x2116);
}

// Digits without leading zeros ("012" is house 12); "0" stays.
QString stripZeros(const QString& digits)
{
    int first = 0;
    while (first < digits.size() - 1 && digits.at(first) == QLatin1Char('0'))
        ++first;
    return digits.mid(first);
}

bool parseNumber(const QString& digits, qint64* number)
{
    if (digits.isEmpty() || digits.size() > MaxDigits)
        return false;
    for (const QChar c : digits) {
        if (!isAsciiDigit(c))
            return false;
    }
    *number = digits.toLongLong();
    return true;
}

// "a-b" or, with bSingleAllowed, "a" alone.
bool parseRange(const QString& text, bool bSingleAllowed, qint64* from, qint64* to)
{
    const int dash = text.indexOf(QLatin1Char('-'));
    if (dash < 0) {
        if (!bSingleAllowed || !parseNumber(text, from))
            return false;
        *to = *from;
        return true;
    }
    if (!parseNumber(text.left(dash), from) || !parseNumber(text.mid(dash + 1), to))
        return false;
    if (*from > *to)
        std::swap(*from, *to);
    return true;
}

// The designators a word is glued from ("КСТР" as this form writes "корп. стр.", "КА" as it
// writes "корпус А"), in their one form; empty when the word is not made of designators and at
// most one last letter.
QString splitDesignators(const QString& word, const QHash<QString, QString>& designators)
{
    for (int split = word.size(); split > 0; --split) {
        const auto head = designators.constFind(word.left(split));
        if (head == designators.cend())
            continue;
        const QString rest = word.mid(split);
        if (rest.isEmpty())
            return *head;
        const QString glued = splitDesignators(rest, designators);
        if (!glued.isEmpty())
            return *head + glued;
        // Letters may follow a designator: "КА", "СТРБК", "СТРАБ".
        if (rest.at(0).isLetter()) {
            const QString after = splitDesignators(rest.mid(1), designators);
            if (!after.isEmpty())
                return *head + rest.at(0) + after;
            if (rest.size() <= 2
                && std::all_of(rest.cbegin(), rest.cend(), [](QChar c) { return c.isLetter(); }))
                return *head + rest;
        }
    }
    return QString();
}

} // namespace

HouseNumber::HouseNumber(const QString& text)
{
    // Words and numbers as the text runs; separators end a word, other marks ("/", "-") stay.
    enum class Kind { Number, Word, Mark };
    struct Token {
        Kind kind;
        QString text;
    };
    QVector<Token> tokens;
    for (const QChar raw : text) {
        const QChar c = foldLetter(raw);
        if (isSeparator(c)) {
            tokens.append({ Kind::Mark, QString() }); // a break, dropped below
            continue;
        }
        const Kind kind = isAsciiDigit(c) ? Kind::Number : c.isLetter() ? Kind::Word : Kind::Mark;
        if (kind != Kind::Mark && !tokens.isEmpty() && tokens.last().kind == kind)
            tokens.last().text += c;
        else
            tokens.append({ kind, QString(c) });
    }

    bool bKorpus = false;
    int numbers = 0;
    for (int i = 0; i < tokens.size(); ++i) {
        const Token& token = tokens.at(i);
        if (token.kind == Kind::Mark && token.text.isEmpty())
            continue;
        // The next token that is not a break, and whether a break came first.
        int next = i + 1;
        while (next < tokens.size() && tokens.at(next).kind == Kind::Mark && tokens.at(next).text.isEmpty())
            ++next;
        const bool bNumberFollows = next < tokens.size() && tokens.at(next).kind == Kind::Number;
        if (token.kind == Kind::Number) {
            if (bNumberFollows) {
                // "12 1": 121, or 12 and a part whose word is missing? Neither guess is safe.
                m_Text.clear();
                m_nNumber = -1;
                m_Refusal = QStringLiteral("две группы цифр подряд без обозначения между ними (\"%1\")")
                                .arg(text.simplified());
                return;
            }
            const QString digits = stripZeros(token.text);
            if (numbers++ == 0 && !parseNumber(digits, &m_nNumber))
                m_nNumber = NoEnd;
            m_Text += digits;
            continue;
        }
        if (token.kind == Kind::Mark) {
            m_Text += token.text;
            continue;
        }
        const QString& word = token.text;
        if (m_Text.isEmpty() && (word == QStringLiteral("Д") || word == QStringLiteral("ДОМ")))
            continue;
        // "12 лит. А" is the house 12А, as the lists write it.
        if (word == QStringLiteral("ЛИТ") || word == QStringLiteral("ЛИТЕР")
            || word == QStringLiteral("ЛИТЕРА"))
            continue;
        // Designators: the ways people write them, and the one form of each.
        static const QHash<QString, QString> designators {
            { QStringLiteral("ДОМОВЛАДЕНИЕ"), QStringLiteral("двлд") },
            { QStringLiteral("ДОМОВЛ"), QStringLiteral("двлд") },
            { QStringLiteral("ДВЛД"), QStringLiteral("двлд") },
            { QStringLiteral("ВЛАДЕНИЕ"), QStringLiteral("влд") },
            { QStringLiteral("ВЛАД"), QStringLiteral("влд") },
            { QStringLiteral("ВЛД"), QStringLiteral("влд") },
            { QStringLiteral("ВЛ"), QStringLiteral("влд") },
            { QStringLiteral("КОРПУС"), QStringLiteral("к") },
            { QStringLiteral("КОРП"), QStringLiteral("к") },
            { QStringLiteral("КОР"), QStringLiteral("к") },
            { QStringLiteral("К"), QStringLiteral("к") },
            { QStringLiteral("СТРОЕНИЕ"), QStringLiteral("стр") },
            { QStringLiteral("СТР"), QStringLiteral("стр") },
        };
        const auto designator = designators.constFind(word);
        if (designator != designators.cend()) {
            m_Text += *designator;
            bKorpus = bKorpus || *designator == QStringLiteral("к");
        } else if (word == QStringLiteral("С") && (bKorpus || bNumberFollows)) {
            // "12к1с2", "20с3": after a корпус or before a number a lone С is a строение; "12с"
            // is house 12 with the letter С.
            m_Text += QStringLiteral("стр");
        } else if (word.size() == 2 && word.at(1) == QChar(0x0421) && bNumberFollows) {
            // "12Ас3": a letter glued to a строение.
            m_Text += word.at(0) + QStringLiteral("стр");
        } else if (const QString glued = splitDesignators(word, designators); !glued.isEmpty()) {
            // Designators glued ("кстр" as this form writes "корп. стр."): each, in order.
            m_Text += glued;
            bKorpus = bKorpus || glued.startsWith(QStringLiteral("к"));
        } else if (word.size() > 1 && designators.contains(word.mid(1))) {
            // A letter glued to a designator, as lists write it: "12Ак1" is 12А корпус 1.
            m_Text += word.at(0) + designators.value(word.mid(1));
            bKorpus = bKorpus || designators.value(word.mid(1)) == QStringLiteral("к");
        } else {
            // A letter of the house ("12А") or a word we do not know, kept as written.
            m_Text += word;
        }
    }
    m_bPlain = numbers == 1 && !m_Text.isEmpty() && std::all_of(m_Text.cbegin(), m_Text.cend(), isAsciiDigit);
}

HouseList::HouseList(const QString& list)
{
    for (const QString& item : list.split(QLatin1Char(','), Qt::SkipEmptyParts))
        addItem(item);
}

void HouseList::addItem(const QString& item)
{
    QString compact;
    for (const QChar c : item) {
        if (!c.isSpace())
            compact += foldLetter(c);
    }
    if (compact.isEmpty())
        return;

    const QChar odd(0x041D); // Н
    const QChar even(0x0427); // Ч
    qint64 from = 0;
    qint64 to = 0;
    if (compact.count(QLatin1Char('-')) == compact.size()) {
        m_Ranges.append({ 0, NoEnd, Parity::Any });
        return;
    }
    if (compact.size() == 1 && (compact.at(0) == odd || compact.at(0) == even)) {
        m_Ranges.append({ 0, NoEnd, compact.at(0) == odd ? Parity::Odd : Parity::Even });
        return;
    }
    if (compact.size() > 3 && (compact.at(0) == odd || compact.at(0) == even)
        && compact.at(1) == QLatin1Char('(') && compact.endsWith(QLatin1Char(')'))
        && parseRange(compact.mid(2, compact.size() - 3), true, &from, &to)) {
        m_Ranges.append({ from, to, compact.at(0) == odd ? Parity::Odd : Parity::Even });
        return;
    }
    if (parseRange(compact, false, &from, &to)) {
        m_Ranges.append({ from, to, Parity::Any });
        return;
    }

    const HouseNumber house(item);
    if (!house.hasDigit())
        return; // nothing a typed house could be compared with
    if (house.isPlainNumber())
        m_Ranges.append({ house.number(), house.number(), Parity::Any });
    else
        m_Houses.append(house.text());
}

bool HouseList::holdsNumber(const Range& range, qint64 number)
{
    if (number < range.from || number > range.to)
        return false;
    switch (range.parity) {
    case Parity::Odd:
        return number % 2 == 1;
    case Parity::Even:
        return number % 2 == 0;
    case Parity::Any:
        break;
    }
    return true;
}

HouseList::Match HouseList::match(const HouseNumber& house) const
{
    if (!house.hasDigit())
        return Match::None;
    // A plain number is named by a one-number item ("12", "Н(7)", "5-5"); anything else by its text.
    if (house.isPlainNumber()) {
        for (const Range& range : m_Ranges) {
            if (range.from == range.to && holdsNumber(range, house.number()))
                return Match::Exact;
        }
    } else if (m_Houses.contains(house.text())) {
        return Match::Exact;
    }
    for (const Range& range : m_Ranges) {
        if (holdsNumber(range, house.number()))
            return Match::Number;
    }
    return Match::None;
}

QVector<HouseIndexMatch> resolveHouseIndex(
    const QVector<HouseGroup>& groups, const HouseNumber& house, const QStringList& chain)
{
    if (!house.hasDigit())
        return {};

    QString chainIndex;
    for (const QString& index : chain) {
        if (!index.trimmed().isEmpty()) {
            chainIndex = index;
            break;
        }
    }

    QVector<HouseList::Match> matches;
    matches.reserve(groups.size());
    HouseList::Match best = HouseList::Match::None;
    for (const HouseGroup& group : groups) {
        matches.append(HouseList(group.list).match(house));
        best = std::max(best, matches.last());
    }
    if (best == HouseList::Match::None)
        return { { -1, chainIndex } };

    QVector<HouseIndexMatch> result;
    for (int i = 0; i < groups.size(); ++i) {
        if (matches.at(i) == best) {
            const QString& index = groups.at(i).index;
            result.append({ i, index.trimmed().isEmpty() ? chainIndex : index });
        }
    }
    return result;
}
