// SPDX-License-Identifier: GPL-3.0-or-later
#include "addressline.h"
#include "addresstypes.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

// A part of the classifier's type dictionary: level, short name, full name.
AddressTypes dictionary()
{
    AddressTypes types;
    const char* const entries[][3] = {
        { "1", "обл", "Область" },
        { "1", "Респ", "Республика" },
        { "1", "г", "Город" },
        { "2", "р-н", "Район" },
        { "3", "г", "Город" },
        { "4", "г", "Город" },
        { "4", "д", "Деревня" },
        { "4", "с", "Село" },
        { "4", "п", "Поселок" },
        { "4", "сл", "Слобода" },
        { "4", "пгт", "Поселок городского типа" },
        { "5", "ул", "Улица" },
        { "5", "пр-кт", "Проспект" },
        { "5", "пер", "Переулок" },
        { "5", "линия", "Линия" },
        { "5", "б-р", "Бульвар" },
    };
    for (const auto& entry : entries)
        types.add(
            QString::fromUtf8(entry[0]).toInt(), QString::fromUtf8(entry[1]), QString::fromUtf8(entry[2]));
    types.addCommonSpellings();
    return types;
}

} // namespace

class TestAddressLine : public QObject {
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void refuse_data();
    void refuse();
    void normalWord_data();
    void normalWord();
    void types();
    void rereadGenerated();

private:
    const AddressTypes m_Types = dictionary();
};

void TestAddressLine::read_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("normal");

    const QString rostov
        = QStringLiteral("ОБЛ \"РОСТОВСКАЯ\", Г \"РОСТОВ-НА-ДОНУ\", УЛ \"ЛЕНИНА\", Д 12к1, КВ 5");
    QTest::newRow("as on a letter")
        << "Ростовская обл, г. Ростов-на-Дону, ул. Ленина, д. 12 корп. 1, кв. 5"
        << "ОБЛ \"РОСТОВСКАЯ\", Г \"РОСТОВ-НА-ДОНУ\", УЛ \"ЛЕНИНА\", Д 12к1, КВ 5";
    QTest::newRow("full type words")
        << "Ростовская область, город Ростов-на-Дону, улица Ленина, дом 12, корпус 1, "
           "квартира 5"
        << "ОБЛАСТЬ \"РОСТОВСКАЯ\", ГОРОД \"РОСТОВ-НА-ДОНУ\", УЛИЦА \"ЛЕНИНА\", Д 12к1, КВ 5";
    QTest::newRow("types after names") << "Ростовская обл., Ростов-на-Дону г., Ленина ул., 12к1"
                                       << "ОБЛ \"РОСТОВСКАЯ\", Г \"РОСТОВ-НА-ДОНУ\", УЛ \"ЛЕНИНА\", Д 12к1";
    QTest::newRow("types left out") << "Ростов-на-Дону, Ленина, 12"
                                    << "\"РОСТОВ-НА-ДОНУ\", \"ЛЕНИНА\", Д 12";
    QTest::newRow("no commas") << "г Ростов-на-Дону ул Ленина д 12 кв 5"
                               << "Г \"РОСТОВ-НА-ДОНУ\", УЛ \"ЛЕНИНА\", Д 12, КВ 5";
    QTest::newRow("region type after, no commas") << "Ростовская обл Ростов-на-Дону"
                                                  << "ОБЛ \"РОСТОВСКАЯ\", \"РОСТОВ-НА-ДОНУ\"";
    QTest::newRow("dot glued") << "г.Ростов-на-Дону,ул.Ленина,д.12"
                               << "Г \"РОСТОВ-НА-ДОНУ\", УЛ \"ЛЕНИНА\", Д 12";
    QTest::newRow("case, ё and blanks") << "  г.   РОСТОВ-на-дону ,  ул   Берёзовая ,  д 3  "
                                        << "Г \"РОСТОВ-НА-ДОНУ\", УЛ \"БЕРЕЗОВАЯ\", Д 3";
    QTest::newRow("house after the street name") << "г Тула, ул Ленина 12а"
                                                 << "Г \"ТУЛА\", УЛ \"ЛЕНИНА\", Д 12А";
    QTest::newRow("house parts after commas") << "Тула, Ленина, д. 91, корп. 1, стр. 2"
                                              << "\"ТУЛА\", \"ЛЕНИНА\", Д 91к1стр2";
    QTest::newRow("с before a number") << "Тула, Ленина, 20с3"
                                       << "\"ТУЛА\", \"ЛЕНИНА\", Д 20стр3";
    QTest::newRow("fraction") << "Тула, Ленина, 12/1"
                              << "\"ТУЛА\", \"ЛЕНИНА\", Д 12/1";
    QTest::newRow("владение") << "Тула, Ленина, влд 3"
                              << "\"ТУЛА\", \"ЛЕНИНА\", влд3";
    QTest::newRow("house glued to д") << "Тула, Ленина, д12"
                                      << "\"ТУЛА\", \"ЛЕНИНА\", Д 12";
    QTest::newRow("office") << "Тула, Ленина, 12, оф. 301"
                            << "\"ТУЛА\", \"ЛЕНИНА\", Д 12, ОФ 301";
    QTest::newRow("apartment glued") << "Тула, Ленина, 12, кв5"
                                     << "\"ТУЛА\", \"ЛЕНИНА\", Д 12, КВ 5";
    QTest::newRow("index first") << "300000, г Тула, ул Ленина, 12"
                                 << "300000, Г \"ТУЛА\", УЛ \"ЛЕНИНА\", Д 12";
    QTest::newRow("index glued to the first name") << "300000 Тула, Ленина"
                                                   << "300000, \"ТУЛА\", \"ЛЕНИНА\"";
    QTest::newRow("index last") << "г Тула, ул Ленина, 12, 300000"
                                << "300000, Г \"ТУЛА\", УЛ \"ЛЕНИНА\", Д 12";
    QTest::newRow("ordinal 1-я") << "г Тула, ул 1-я Заводская"
                                 << "Г \"ТУЛА\", УЛ \"1-Я ЗАВОДСКАЯ\"";
    QTest::newRow("ordinal 1-ая") << "г Тула, ул 1-ая Заводская"
                                  << "Г \"ТУЛА\", УЛ \"1-Я ЗАВОДСКАЯ\"";
    QTest::newRow("ordinal 1я") << "г Тула, ул 1я Заводская"
                                << "Г \"ТУЛА\", УЛ \"1-Я ЗАВОДСКАЯ\"";
    QTest::newRow("ordinal with a type word after") << "г Тула, 1-я Линия"
                                                    << "Г \"ТУЛА\", ЛИНИЯ \"1-Я\"";
    QTest::newRow("ordinal after the type") << "г Тула, линия 1-я"
                                            << "Г \"ТУЛА\", ЛИНИЯ \"1-Я\"";
    QTest::newRow("name beginning with a number") << "г Тула, ул 8 Марта, 5"
                                                  << "Г \"ТУЛА\", УЛ \"8 МАРТА\", Д 5";
    QTest::newRow("untyped name beginning with a number") << "Тула, 50 лет Октября, 5"
                                                          << "\"ТУЛА\", \"50 ЛЕТ ОКТЯБРЯ\", Д 5";
    QTest::newRow("д as деревня") << "д Ивановка, ул Школьная, 3"
                                  << "Д \"ИВАНОВКА\", УЛ \"ШКОЛЬНАЯ\", Д 3";
    QTest::newRow("a type word alone is a name") << "Слобода, ул Школьная"
                                                 << "\"СЛОБОДА\", УЛ \"ШКОЛЬНАЯ\"";
    QTest::newRow("common spelling просп") << "г Тула, просп. Ленина"
                                           << "Г \"ТУЛА\", ПРОСП \"ЛЕНИНА\"";
    QTest::newRow("quotes and №") << "г Тула, ул «Ленина», дом № 12"
                                  << "Г \"ТУЛА\", УЛ \"ЛЕНИНА\", Д 12";
    QTest::newRow("line breaks") << "г Тула\nул Ленина\r\n12"
                                 << "Г \"ТУЛА\", УЛ \"ЛЕНИНА\", Д 12";
    QTest::newRow("semicolons") << "г Тула; ул Ленина; 12"
                                << "Г \"ТУЛА\", УЛ \"ЛЕНИНА\", Д 12";
    QTest::newRow("reversed order") << "кв. 5, д. 12, ул. Ленина, г. Тула"
                                    << "УЛ \"ЛЕНИНА\", Г \"ТУЛА\", Д 12, КВ 5";
    QTest::newRow("a name in quotes stands as written") << "СНТ \"Дружба 2\", ул «Д 5»"
                                                        << "\"СНТ ДРУЖБА 2\", УЛ \"Д 5\"";
    QTest::newRow("its own normal form") << rostov << rostov;
}

void TestAddressLine::read()
{
    QFETCH(QString, line);
    QFETCH(QString, normal);

    const AddressLine address = AddressLine::read(line, m_Types);
    QVERIFY2(address.isValid(), qPrintable(address.refusal()));
    QCOMPARE(address.normalForm(), normal);
    // The normal form read again is the same value.
    QCOMPARE(AddressLine::read(address.normalForm(), m_Types), address);
}

void TestAddressLine::refuse_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("why");

    QTest::newRow("empty") << ""
                           << "строка пуста";
    QTest::newRow("marks only") << " , . ; "
                                << "строка пуста";
    QTest::newRow("index only") << "344000"
                                << "нет ни одного названия";
    QTest::newRow("two indexes") << "344000, Тула, 300000"
                                 << "два индекса";
    QTest::newRow("two houses") << "Тула, Ленина, д 12, д 14"
                                << "два номера дома";
    QTest::newRow("two apartments") << "Тула, Ленина, 12, кв 5, кв 6"
                                    << "две квартиры";
    QTest::newRow("digit groups") << "Тула, Ленина, д 12 1"
                                  << "две группы цифр";
    QTest::newRow("zero and one") << "Тула, Ленина, 0 1"
                                  << "две группы цифр";
}

void TestAddressLine::refuse()
{
    QFETCH(QString, line);
    QFETCH(QString, why);

    const AddressLine address = AddressLine::read(line, m_Types);
    QVERIFY(!address.isValid());
    QVERIFY2(address.refusal().contains(why), qPrintable(address.refusal()));
    QVERIFY(address.parts().isEmpty());
}

void TestAddressLine::normalWord_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("normal");

    QTest::newRow("case") << "Ленина"
                          << "ЛЕНИНА";
    QTest::newRow("ё") << "Берёзовая"
                       << "БЕРЕЗОВАЯ";
    QTest::newRow("dots") << "г."
                          << "Г";
    QTest::newRow("1-я") << "1-я"
                         << "1-Я";
    QTest::newRow("1-ая") << "1-ая"
                          << "1-Я";
    QTest::newRow("1я") << "1я"
                        << "1-Я";
    QTest::newRow("2-ой") << "2-ой"
                          << "2-Й";
    QTest::newRow("3-ий") << "3-ий"
                          << "3-Й";
    QTest::newRow("5-ый") << "5-ый"
                          << "5-Й";
    QTest::newRow("3-ье") << "3-ье"
                          << "3-Е";
    QTest::newRow("a house is no ordinal") << "12а"
                                           << "12А";
}

void TestAddressLine::normalWord()
{
    QFETCH(QString, word);
    QFETCH(QString, normal);
    QCOMPARE(AddressLine::normalWord(word), normal);
    QCOMPARE(AddressLine::normalWord(normal), normal);
}

void TestAddressLine::types()
{
    QCOMPARE(m_Types.shortNames(QStringLiteral("ГОРОД")), QStringList { QStringLiteral("Г") });
    QCOMPARE(m_Types.shortNames(QStringLiteral("ПРОСП")), QStringList { QStringLiteral("ПР-КТ") });
    QCOMPARE(m_Types.shortNames(QStringLiteral("ПРОСПЕКТ")), QStringList { QStringLiteral("ПР-КТ") });
    QVERIFY(m_Types.isUpperLevelOnly(QStringLiteral("ОБЛ")));
    QVERIFY(!m_Types.isUpperLevelOnly(QStringLiteral("Г")));
    // A spelling of a type the dictionary lacks adds nothing.
    QVERIFY(!m_Types.contains(QStringLiteral("ШОССЕ")));
    // Full names of several words are no single word.
    QVERIFY(!m_Types.contains(QStringLiteral("ПОСЕЛОК ГОРОДСКОГО ТИПА")));
}

void TestAddressLine::rereadGenerated()
{
    // Lines put together from the pieces people write, in random orders and spellings: whatever
    // the reader makes of them, its normal form reads back as the same value.
    const QStringList pieces { "г.", "город", "Тула", "ул", "улица", "Ленина", "Берёзовая", "1-ая", "Линия",
        "д.", "12", "корп.", "1", "стр", "2", "кв.", "5", "оф", "300000", ",", ",", ",", "обл", "Тульская",
        "а", "/", "р-н", "Ясногорский", "с", "влд", "8", "Марта", "\"", "№" };
    QRandomGenerator random(20);
    for (int n = 0; n < 20000; ++n) {
        QStringList words;
        const int count = 1 + random.bounded(12);
        for (int i = 0; i < count; ++i)
            words << pieces.at(random.bounded(pieces.size()));
        const QString line = words.join(QLatin1Char(' '));
        const AddressLine address = AddressLine::read(line, m_Types);
        if (!address.isValid())
            continue;
        const AddressLine again = AddressLine::read(address.normalForm(), m_Types);
        QVERIFY2(again == address,
            qPrintable(QStringLiteral("%1 -> %2 -> %3").arg(line, address.normalForm(), again.normalForm())));
    }
}

QTEST_GUILESS_MAIN(TestAddressLine)
#include "tst_addressline.moc"
