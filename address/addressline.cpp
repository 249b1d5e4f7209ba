// SPDX-License-Identifier: GPL-3.0-or-later
#include "addressline.h"

#include "addresstypes.h"

#include <QRegularExpression>

#include <QSet>
#include <algorithm>

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool startsWithDigit(const QString& token)
{
    return !token.isEmpty() && isAsciiDigit(token.at(0));
}

bool isIndex(const QString& token)
{
    return token.size() == 6 && std::all_of(token.cbegin(), token.cend(), isAsciiDigit);
}

// "1-Я", "2-Й": an ordinal of a name ("1-я Линия"), never a house.
bool isOrdinal(const QString& normalToken)
{
    static const QRegularExpression ordinal(QStringLiteral("^[0-9]+-(Я|Й|Е|ГО)$"));
    return ordinal.match(normalToken).hasMatch();
}

// The words that begin a house; the first two are dropped, the others are part of the house.
const QStringList& houseWords()
{
    static const QStringList words { QStringLiteral("Д"), QStringLiteral("ДОМ"), QStringLiteral("ВЛД"),
        QStringLiteral("ВЛ"), QStringLiteral("ВЛАДЕНИЕ"), QStringLiteral("ДВЛД"),
        QStringLiteral("ДОМОВЛАДЕНИЕ") };
    return words;
}

// The words of a house's own parts, which may follow it after a comma.
bool isHousePartWord(const QString& token)
{
    static const QSet<QString> words { QStringLiteral("К"), QStringLiteral("КОР"), QStringLiteral("КОРП"),
        QStringLiteral("КОРПУС"), QStringLiteral("С"), QStringLiteral("СТР"), QStringLiteral("СТРОЕНИЕ"),
        QStringLiteral("ЛИТ"), QStringLiteral("ЛИТЕР"), QStringLiteral("ЛИТЕРА") };
    return words.contains(token);
}

// The words of an apartment, office or room, and the one form of each.
QString apartmentWord(const QString& token)
{
    static const QHash<QString, QString> words {
        { QStringLiteral("КВ"), QStringLiteral("КВ") },
        { QStringLiteral("КВАРТИРА"), QStringLiteral("КВ") },
        { QStringLiteral("ОФ"), QStringLiteral("ОФ") },
        { QStringLiteral("ОФИС"), QStringLiteral("ОФ") },
        { QStringLiteral("ПОМ"), QStringLiteral("ПОМ") },
        { QStringLiteral("ПОМЕЩЕНИЕ"), QStringLiteral("ПОМ") },
        { QStringLiteral("КОМН"), QStringLiteral("КОМН") },
        { QStringLiteral("КОМНАТА"), QStringLiteral("КОМН") },
    };
    return words.value(token);
}

// A token of a house: it has a digit, is one letter or a mark, or is one of the house's words.
bool isHouseToken(const QString& token)
{
    if (isOrdinal(token) || token.startsWith(QChar(0x0001)))
        return false;
    if (std::any_of(token.cbegin(), token.cend(), isAsciiDigit))
        return true;
    return token.size() == 1 || isHousePartWord(token) || houseWords().contains(token)
        || !std::any_of(token.cbegin(), token.cend(), [](QChar c) { return c.isLetter(); });
}

// Splits "Д12", "КВ5", "ВЛД3" into the word and its number; other tokens stay whole.
QStringList splitGluedNumber(const QString& token)
{
    static const QRegularExpression glued(QStringLiteral("^(Д|ДОМ|ВЛД|ВЛ|ДВЛД|КВ|ОФ|ПОМ|КОМН)([0-9].*)$"));
    const QRegularExpressionMatch match = glued.match(token);
    if (!match.hasMatch())
        return { token };
    return { match.captured(1), match.captured(2) };
}

// Quotes, brackets, dots and the number sign only surround or mark: blanks. A semicolon is a
// comma.
QString blankMarks(const QString& line)
{
    QString text;
    text.reserve(line.size());
    for (const QChar c : line) {
        if (c == QLatin1Char(';') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            text += QLatin1Char(','); // a line break in a spreadsheet cell parts as a comma does
        else if (c == QLatin1Char('"') || c == QLatin1Char('\'') || c == QChar(0x00AB) || c == QChar(0x00BB)
            || c == QChar(0x201C) || c == QChar(0x201D) || c == QChar(0x201E) || c == QLatin1Char('(')
            || c == QLatin1Char(')') || c == QChar(0x2116) || c == QLatin1Char('.') || c.isSpace())
            text += QLatin1Char(' ');
        else
            text += c;
    }
    return text;
}

// Words in quotes are a name as it stands ("ул. «8 Марта»", "СНТ \"Дружба 2\""): marked with this
// character, they are neither a type, nor a house, nor an index.
constexpr QChar Literal(0x0001);

bool isLiteral(const QString& token)
{
    return token.startsWith(Literal);
}

QString withoutMark(const QString& token)
{
    return isLiteral(token) ? token.mid(1) : token;
}

bool opensQuote(QChar c)
{
    return c == QLatin1Char('"') || c == QChar(0x00AB) || c == QChar(0x201C) || c == QChar(0x201E);
}

bool closes(QChar open, QChar c)
{
    return open == QLatin1Char('"') ? c == QLatin1Char('"')
        : open == QChar(0x00AB)     ? c == QChar(0x00BB)
                                    : c == QChar(0x201D) || c == QChar(0x201C);
}

// Marks every word inside a closed pair of quotes; commas inside them separate nothing.
QString markQuoted(const QString& line)
{
    QString text;
    text.reserve(line.size() + 8);
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        int close = -1;
        if (opensQuote(c)) {
            for (int j = i + 1; j < line.size() && close < 0; ++j) {
                if (closes(c, line.at(j)))
                    close = j;
            }
        }
        if (close < 0) {
            text += c;
            continue;
        }
        text += QLatin1Char(' ');
        bool bWordStart = true;
        for (int j = i + 1; j < close; ++j) {
            const QChar inner = line.at(j);
            if (inner.isSpace() || inner == QLatin1Char(',') || inner == QLatin1Char(';')
                || inner == QLatin1Char('.')) {
                text += QLatin1Char(' ');
                bWordStart = true;
            } else {
                if (bWordStart)
                    text += Literal;
                bWordStart = false;
                text += inner;
            }
        }
        text += QLatin1Char(' ');
        i = close;
    }
    return text;
}

// The line's segments (between commas), each as its tokens in normal form.
QVector<QStringList> tokenize(const QString& line)
{
    const QString text = blankMarks(markQuoted(line));
    QVector<QStringList> segments;
    for (const QString& segment : text.split(QLatin1Char(','))) {
        QStringList tokens;
        for (const QString& raw : segment.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (isLiteral(raw)) {
                const QString word = AddressLine::normalWord(raw.mid(1));
                if (!word.isEmpty())
                    tokens += Literal + word;
                continue;
            }
            const QString word = AddressLine::normalWord(raw);
            if (!word.isEmpty())
                tokens += splitGluedNumber(word);
        }
        if (!tokens.isEmpty())
            segments.append(tokens);
    }
    return segments;
}

} // namespace

QString AddressLine::normalWord(const QString& word)
{
    QString out;
    out.reserve(word.size());
    for (const QChar c : word) {
        if (c == QLatin1Char('.'))
            continue;
        const QChar upper = c.toUpper();
        out += upper == QChar(0x0401) ? QChar(0x0415) : upper; // Ё as Е
    }
    // "1-ая", "1ая", "1я" are one name, as are "2-ой" and "2-й", "3-ье" and "3-е".
    if (!out.isEmpty() && isAsciiDigit(out.at(0)) && out.at(out.size() - 1).isLetter()) {
        static const QRegularExpression ordinal(
            QStringLiteral("^([0-9]+)-?(АЯ|ЯЯ|Я|ОЙ|ИЙ|ЫЙ|Й|ОЕ|ЕЕ|ЬЕ|Е|ОГО|ГО)$"));
        const QRegularExpressionMatch match = ordinal.match(out);
        if (match.hasMatch()) {
            const QString ending = match.captured(2);
            const QString one = ending.endsWith(QChar(0x042F)) ? QStringLiteral("Я")
                : ending.endsWith(QChar(0x0419))               ? QStringLiteral("Й")
                : ending.endsWith(QChar(0x0415))               ? QStringLiteral("Е")
                                                               : QStringLiteral("ГО");
            out = match.captured(1) + QLatin1Char('-') + one;
        }
    }
    return out;
}

QString AddressLine::normalName(const QString& name)
{
    QStringList words;
    for (const QString& word : name.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString normal = normalWord(word);
        if (!normal.isEmpty())
            words.append(normal);
    }
    return words.join(QLatin1Char(' '));
}

QString AddressLine::normalText(const QString& text)
{
    QString blanked = blankMarks(text);
    blanked.replace(QLatin1Char(','), QLatin1Char(' '));
    return normalName(blanked);
}

AddressLine AddressLine::read(const QString& line, const AddressTypes& types)
{
    AddressLine result;
    const auto refuse = [&result](const QString& why) {
        result = AddressLine();
        result.m_Refusal = why;
        return result;
    };

    QStringList houseText;
    bool bHouseOpen = false; // the last segment was the house: its parts may follow
    bool bHouse = false;
    QString pendingRefusal;

    const QVector<QStringList> segments = tokenize(line);
    if (segments.isEmpty())
        return refuse(QStringLiteral("строка пуста"));

    for (int s = 0; s < segments.size(); ++s) {
        QStringList tokens = segments.at(s);

        // An index: a six-digit number opening a segment ("344000, Ростов", "344000 Ростов").
        if (isIndex(tokens.first())) {
            if (!result.m_Index.isEmpty() && result.m_Index != tokens.first())
                return refuse(QStringLiteral("два индекса: %1 и %2").arg(result.m_Index, tokens.first()));
            result.m_Index = tokens.takeFirst();
            bHouseOpen = false;
            if (tokens.isEmpty())
                continue;
        }

        // The house's own parts after a comma: "д. 91, корп. 1", "12, стр. 2".
        if (bHouseOpen && isHousePartWord(tokens.first()) && tokens.size() > 1
            && (startsWithDigit(tokens.at(1)) || tokens.at(1).size() == 1)) {
            int i = 0;
            while (i < tokens.size() && apartmentWord(tokens.at(i)).isEmpty() && isHouseToken(tokens.at(i))
                && !houseWords().contains(tokens.at(i)) && !isIndex(tokens.at(i)))
                houseText << tokens.at(i++);
            tokens = tokens.mid(i);
            if (tokens.isEmpty())
                continue;
        }
        bHouseOpen = false;

        Part current;
        QStringList nameWords;
        const auto finishPart = [&]() {
            if (!nameWords.isEmpty() && houseWords().contains(current.type)
                && startsWithDigit(nameWords.first())
                && std::all_of(nameWords.cbegin(), nameWords.cend(), isHouseToken)) {
                // "8 д": a house word with a number is the house, whichever comes first.
                if (bHouse)
                    pendingRefusal = QStringLiteral("два номера дома");
                bHouse = true;
                if (current.type != QLatin1String("Д") && current.type != QLatin1String("ДОМ"))
                    houseText << current.type;
                houseText << nameWords;
            } else if (!nameWords.isEmpty()) {
                QStringList words;
                for (const QString& word : qAsConst(nameWords))
                    words << withoutMark(word);
                current.name = words.join(QLatin1Char(' '));
                result.m_Parts.append(current);
            } else if (!current.type.isEmpty()) {
                // A type word alone is a name that happens to be one ("Слобода").
                result.m_Parts.append({ current.type, QString() });
            }
            current = Part();
            nameWords.clear();
        };

        // True when the part ends before tokens[next]: the segment's end, a number, an apartment,
        // an index or a house word before a number.
        const auto endsAt = [&tokens](int next) {
            return next >= tokens.size() || startsWithDigit(tokens.at(next))
                || !apartmentWord(tokens.at(next)).isEmpty() || isIndex(tokens.at(next))
                || (houseWords().contains(tokens.at(next)) && next + 1 < tokens.size()
                    && startsWithDigit(tokens.at(next + 1)));
        };
        for (int i = 0; i < tokens.size(); ++i) {
            const QString& token = tokens.at(i);
            const bool bLast = i + 1 == tokens.size();

            if (isIndex(token)) {
                finishPart();
                if (!result.m_Index.isEmpty() && result.m_Index != token)
                    return refuse(QStringLiteral("два индекса: %1 и %2").arg(result.m_Index, token));
                result.m_Index = token;
                continue;
            }

            const QString apartment = apartmentWord(token);
            if (!apartment.isEmpty() && !bLast) {
                finishPart();
                if (!result.m_Apartment.isEmpty())
                    return refuse(QStringLiteral("две квартиры или офиса"));
                result.m_Apartment = (QStringList { apartment } + tokens.mid(i + 1)).join(QLatin1Char(' '));
                break;
            }

            // The house begins at its word before a number, or at a number after a name or
            // standing first in its segment, when what follows is a house too.
            const bool bHouseWord
                = houseWords().contains(token) && !bLast && startsWithDigit(tokens.at(i + 1));
            // The house runs to the apartment, to another house word, or to a type word that starts
            // the next part; a house part word before a number ("с 3") may go on with it.
            const auto houseEndFrom = [&](bool bPartsGoOn) {
                int end = i + 1;
                while (end < tokens.size()
                    && (apartmentWord(tokens.at(end)).isEmpty() || end + 1 == tokens.size())
                    && !houseWords().contains(tokens.at(end)) && !isIndex(tokens.at(end))
                    && (!types.contains(tokens.at(end))
                        || (bPartsGoOn && isHousePartWord(tokens.at(end)) && end + 1 < tokens.size()
                            && startsWithDigit(tokens.at(end + 1)))))
                    ++end;
                return end;
            };
            const auto allHouse = [&](int end) {
                for (int j = i; j < end; ++j) {
                    if (!isHouseToken(tokens.at(j)))
                        return false;
                }
                return true;
            };
            int houseEnd = houseEndFrom(true);
            bool bHouseNumber = false;
            if (!bHouseWord && startsWithDigit(token) && !isOrdinal(token)
                && (!nameWords.isEmpty() || current.type.isEmpty())) {
                bHouseNumber = allHouse(houseEnd);
                if (!bHouseNumber) {
                    houseEnd = houseEndFrom(false);
                    bHouseNumber = allHouse(houseEnd);
                }
                // "Нижний Мамон 4 д": a number before the type that follows its name is the name's.
                if (bHouseNumber && current.type.isEmpty() && houseEnd < tokens.size()
                    && types.contains(tokens.at(houseEnd)) && endsAt(houseEnd + 1))
                    bHouseNumber = false;
            }
            if (bHouseWord || bHouseNumber) {
                const bool bAfterName = bHouseNumber && !nameWords.isEmpty();
                finishPart();
                if (bHouse && result.m_nHousePart >= 0) {
                    // "снт Гай 5, ул Жукова, д. 25": the first number ended a name after all.
                    result.m_Parts[result.m_nHousePart].name
                        += QLatin1Char(' ') + houseText.join(QLatin1Char(' '));
                    result.m_nHousePart = -1;
                    houseText.clear();
                    bHouse = false;
                }
                if (bHouse)
                    return refuse(QStringLiteral("два номера дома"));
                if (bAfterName)
                    result.m_nHousePart = result.m_Parts.size() - 1;
                bHouse = true;
                bHouseOpen = true;
                int j = i;
                // "Д" and "ДОМ" say nothing of the house; "ВЛД 3" is a владение, not house 3.
                if (token == QLatin1String("Д") || token == QLatin1String("ДОМ"))
                    ++j;
                for (; j < houseEnd && (j == i || isHouseToken(tokens.at(j))); ++j)
                    houseText << tokens.at(j);
                i = j - 1;
                continue;
            }

            if (types.contains(token)) {
                // What follows the word: a name, or the end of the part (the segment's end, a
                // house or an apartment).
                const bool bPartEnds = endsAt(i + 1);
                // The segment's last word is a type too ("Старое Село нп"): this one is a name word.
                bool bTypeAtEnd = false;
                for (int j = i + 1; j < tokens.size() && !bPartEnds; ++j) {
                    if (endsAt(j + 1)) {
                        bTypeAtEnd = types.contains(tokens.at(j));
                        break;
                    }
                }
                if (nameWords.isEmpty() && current.type.isEmpty()) {
                    current.type = token;
                    continue;
                }
                if (!nameWords.isEmpty() && current.type.isEmpty() && !bTypeAtEnd) {
                    if (bPartEnds || types.isUpperLevelOnly(token)) {
                        current.type = token; // after its name: "Ростовская обл"
                        finishPart();
                    } else {
                        finishPart(); // before the next name: "Москва ул Ленина"
                        current.type = token;
                    }
                    continue;
                }
                if (!nameWords.isEmpty() && !current.type.isEmpty() && !bPartEnds && !bTypeAtEnd) {
                    finishPart(); // "г Москва ул Ленина"; "нп Старое Село" keeps its Село
                    current.type = token;
                    continue;
                }
            }
            nameWords << token;
        }
        finishPart();
    }

    if (!pendingRefusal.isEmpty())
        return refuse(pendingRefusal);
    if (bHouse) {
        result.m_House = HouseNumber(houseText.join(QLatin1Char(' ')));
        result.m_HouseWords = houseText.join(QLatin1Char(' '));
        if (!result.m_House.refusal().isEmpty())
            return refuse(QStringLiteral("в номере дома %1").arg(result.m_House.refusal()));
        if (!result.m_House.hasDigit())
            return refuse(QStringLiteral("в номере дома \"%1\" нет ни одной цифры")
                              .arg(houseText.join(QLatin1Char(' '))));
    }
    if (result.m_Parts.isEmpty())
        return refuse(QStringLiteral("нет ни одного названия: ни пункта, ни улицы"));
    return result;
}

AddressLine AddressLine::withHouseInName() const
{
    AddressLine line = *this;
    if (m_nHousePart < 0 || m_nHousePart >= m_Parts.size())
        return line;
    line.m_Parts[m_nHousePart].name += QLatin1Char(' ') + m_HouseWords;
    line.m_House = HouseNumber();
    line.m_HouseWords.clear();
    line.m_nHousePart = -1;
    return line;
}

QString AddressLine::normalForm() const
{
    QStringList out;
    if (!m_Index.isEmpty())
        out << m_Index;
    // Names in quotes, so that nothing in them reads as a type, a house or an index again.
    for (const Part& part : m_Parts) {
        const QString name = QLatin1Char('"') + part.name + QLatin1Char('"');
        out << (part.type.isEmpty() ? name : part.type + QLatin1Char(' ') + name);
    }
    if (hasHouse())
        out << (startsWithDigit(m_House.text()) ? QStringLiteral("Д ") + m_House.text() : m_House.text());
    if (!m_Apartment.isEmpty())
        out << m_Apartment;
    return out.join(QStringLiteral(", "));
}

bool AddressLine::operator==(const AddressLine& other) const
{
    return m_Refusal == other.m_Refusal && m_Index == other.m_Index && m_Parts == other.m_Parts
        && m_House.text() == other.m_House.text() && m_Apartment == other.m_Apartment;
}

QDebug operator<<(QDebug debug, const AddressLine& line)
{
    QDebugStateSaver saver(debug);
    if (!line.isValid())
        debug.nospace() << "AddressLine(refused: " << line.refusal() << ')';
    else
        debug.nospace() << "AddressLine(" << line.normalForm() << ')';
    return debug;
}
