// SPDX-License-Identifier: GPL-3.0-or-later
#include "kladrsample.h"

#include <QDate>
#include <QDir>
#include <QFile>

#include <cmath>

namespace KladrSample {

namespace {

    // splitmix64: tiny, and unlike the standard distributions it gives the same numbers everywhere.
    class Random {
    public:
        explicit Random(quint64 seed)
            : m_State(seed)
        {
        }
        quint64 next()
        {
            quint64 z = (m_State += 0x9E3779B97F4A7C15ull);
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            return z ^ (z >> 31);
        }
        int below(int n) { return n <= 0 ? 0 : int(next() % quint64(n)); }
        double unit() { return double(next() >> 11) / double(1ull << 53); }
        bool chance(double p) { return unit() < p; }
        template <typename T, int N> const T& pick(const T (&items)[N]) { return items[below(N)]; }

    private:
        quint64 m_State;
    };

    struct Region {
        const char* name;
        const char* socr;
        const char* capital;
    };

    // Moscow and Rostov come first so that even a small sample answers the searches a new user
    // tries first ("Москва", "_остов%").
    // clang-format off
const Region Regions[] = {
    { "Москва", "г", "Москва" }, { "Ростовская", "обл", "Ростов-на-Дону" },
    { "Адыгея", "Респ", "Майкоп" }, { "Башкортостан", "Респ", "Уфа" }, { "Бурятия", "Респ", "Улан-Удэ" },
    { "Алтай", "Респ", "Горно-Алтайск" }, { "Дагестан", "Респ", "Махачкала" }, { "Ингушетия", "Респ", "Магас" },
    { "Кабардино-Балкарская", "Респ", "Нальчик" }, { "Калмыкия", "Респ", "Элиста" },
    { "Карачаево-Черкесская", "Респ", "Черкесск" }, { "Карелия", "Респ", "Петрозаводск" },
    { "Коми", "Респ", "Сыктывкар" }, { "Марий Эл", "Респ", "Йошкар-Ола" }, { "Мордовия", "Респ", "Саранск" },
    { "Саха /Якутия/", "Респ", "Якутск" }, { "Северная Осетия - Алания", "Респ", "Владикавказ" },
    { "Татарстан", "Респ", "Казань" }, { "Тыва", "Респ", "Кызыл" }, { "Удмуртская", "Респ", "Ижевск" },
    { "Хакасия", "Респ", "Абакан" }, { "Чеченская", "Респ", "Грозный" },
    { "Чувашская Республика -", "Чувашия", "Чебоксары" }, { "Алтайский", "край", "Барнаул" },
    { "Краснодарский", "край", "Краснодар" }, { "Красноярский", "край", "Красноярск" },
    { "Приморский", "край", "Владивосток" }, { "Ставропольский", "край", "Ставрополь" },
    { "Хабаровский", "край", "Хабаровск" }, { "Амурская", "обл", "Благовещенск" },
    { "Архангельская", "обл", "Архангельск" }, { "Астраханская", "обл", "Астрахань" },
    { "Белгородская", "обл", "Белгород" }, { "Брянская", "обл", "Брянск" }, { "Владимирская", "обл", "Владимир" },
    { "Волгоградская", "обл", "Волгоград" }, { "Вологодская", "обл", "Вологда" },
    { "Воронежская", "обл", "Воронеж" }, { "Ивановская", "обл", "Иваново" }, { "Иркутская", "обл", "Иркутск" },
    { "Калининградская", "обл", "Калининград" }, { "Калужская", "обл", "Калуга" },
    { "Камчатский", "край", "Петропавловск-Камчатский" }, { "Кемеровская", "обл", "Кемерово" },
    { "Кировская", "обл", "Киров" }, { "Костромская", "обл", "Кострома" }, { "Курганская", "обл", "Курган" },
    { "Курская", "обл", "Курск" }, { "Ленинградская", "обл", "Гатчина" }, { "Липецкая", "обл", "Липецк" },
    { "Магаданская", "обл", "Магадан" }, { "Московская", "обл", "Красногорск" },
    { "Мурманская", "обл", "Мурманск" }, { "Нижегородская", "обл", "Нижний Новгород" },
    { "Новгородская", "обл", "Великий Новгород" }, { "Новосибирская", "обл", "Новосибирск" },
    { "Омская", "обл", "Омск" }, { "Оренбургская", "обл", "Оренбург" }, { "Орловская", "обл", "Орёл" },
    { "Пензенская", "обл", "Пенза" }, { "Пермский", "край", "Пермь" }, { "Псковская", "обл", "Псков" },
    { "Рязанская", "обл", "Рязань" }, { "Самарская", "обл", "Самара" }, { "Саратовская", "обл", "Саратов" },
    { "Сахалинская", "обл", "Южно-Сахалинск" }, { "Свердловская", "обл", "Екатеринбург" },
    { "Смоленская", "обл", "Смоленск" }, { "Тамбовская", "обл", "Тамбов" }, { "Тверская", "обл", "Тверь" },
    { "Томская", "обл", "Томск" }, { "Тульская", "обл", "Тула" }, { "Тюменская", "обл", "Тюмень" },
    { "Ульяновская", "обл", "Ульяновск" }, { "Челябинская", "обл", "Челябинск" },
    { "Забайкальский", "край", "Чита" }, { "Ярославская", "обл", "Ярославль" },
    { "Санкт-Петербург", "г", "Зеленогорск" }, { "Еврейская", "Аобл", "Биробиджан" },
    { "Ненецкий", "АО", "Нарьян-Мар" }, { "Ханты-Мансийский Автономный округ - Югра", "АО", "Ханты-Мансийск" },
    { "Чукотский", "АО", "Анадырь" }, { "Ямало-Ненецкий", "АО", "Салехард" }, { "Севастополь", "г", "Инкерман" },
    { "Крым", "Респ", "Симферополь" },
};
constexpr int RegionCount = int(sizeof(Regions) / sizeof(Regions[0]));

const char* const Districts[] = {
    "Ивановский", "Петровский", "Михайловский", "Александровский", "Никольский", "Покровский",
    "Берёзовский", "Сосновский", "Каменский", "Васильевский", "Андреевский", "Знаменский", "Дубровский",
    "Троицкий", "Ольховский", "Заречный", "Октябрьский", "Первомайский", "Советский", "Кировский",
    "Ленинский", "Калининский", "Пролетарский", "Красногвардейский", "Усть-Каменский", "Ясногорский",
    "Белоярский", "Верхнекамский", "Нижнеудинский", "Шатровский", "Ельниковский", "Озёрский",
    "Чернышевский", "Богучанский", "Краснохолмский", "Весьегонский", "Лебяжьевский", "Юргамышский",
    "Грачёвский", "Соль-Илецкий", "Тёмкинский", "Починковский", "Кологривский", "Новоусманский",
};

const char* const Villages[] = {
    "Ивановка", "Петровка", "Михайловка", "Александровка", "Никольское", "Покровка", "Берёзовка",
    "Сосновка", "Каменка", "Васильевка", "Андреевка", "Подгорное", "Знаменка", "Дубровка", "Красное",
    "Троицкое", "Успенка", "Ольховка", "Вознесенка", "Воскресенское", "Ключи", "Речное", "Озёрное",
    "Лесное", "Садовое", "Нагорное", "Ёлкино", "Алексеевка", "Новосёлки", "Дмитриевка", "Георгиевка",
    "Николаевка", "Павловка", "Сергеевка", "Степановка", "Григорьевка", "Фёдоровка", "Юрьевка",
    "Богородское", "Спасское", "Рождествено", "Липовка", "Вишнёвка", "Яблоновка", "Калиновка",
    "Рябиновка", "Черёмушки", "Малиновка", "Полянка", "Луговое", "Заречье", "Загорье", "Подлесное",
    "Высокое", "Широкое", "Глубокое", "Горки", "Дубки", "Ельники", "Сосновый Бор", "Зелёный Гай",
    "Красный Яр", "Белый Ключ", "Старое Село", "Новое Село", "Мирный", "Октябрьский", "Первомайский",
    "Восход", "Рассвет", "Заря", "Маяк", "Победа", "Искра", "Дружба", "Колос", "Нива", "Журавли",
    "Лебяжье", "Орлово", "Соколово", "Воробьёвка", "Грачёвка", "Медведево", "Волково", "Зайцево",
    "Кузнецово", "Морозовка", "Снегирёво", "Ягодное", "Ореховка", "Пески", "Глинки", "Камыши",
    "Ракитное", "Вербовка", "Осиновка", "Клёновка", "Дубовка", "Ильинское", "Преображенка", "Казанское",
    "Введенское", "Архангельское", "Верх-Ирмень", "Усть-Луга", "Нижний Мамон", "Большие Вязёмы", "Мостовица",
};

const char* const VillageTypes[] = { "д", "д", "д", "с", "с", "п", "п", "х", "ст-ца", "сл", "аул", "снт", "нп" };

const char* const CityPrefixes[] = {
    "Ново", "Старо", "Красно", "Бело", "Черно", "Верхне", "Нижне", "Железно", "Зелено", "Светло", "Яро",
    "Каменно", "Лесо", "Озёр", "Сосново", "Камыш", "Ель", "Берёзо",
};
const char* const CitySuffixes[] = {
    "горск", "дар", "каменск", "заводск", "славль", "водск", "уральск", "реченск", "ярск", "полье",
    "бережный", "мостовск", "озёрск", "борск", "гривск",
};
const char* const CityHyphenated[] = {
    "Усть-", "Соль-", "Петро-", "Кирово-", "Ростов-на-", "Каменск-", "Нарьян-", "Гаврилов-",
};
const char* const Rivers[] = {
    "Лабинск", "Илецк", "Кут", "Дону", "Уральский", "Шахтинский", "Мар", "Ям", "Катав", "Ишим", "Камчатск",
};

const char* const Streets[] = {
    "Ленина", "Советская", "Мира", "Молодёжная", "Садовая", "Центральная", "Школьная", "Лесная", "Новая",
    "Набережная", "Полевая", "Заречная", "Октябрьская", "Гагарина", "Пушкина", "Комсомольская",
    "Северная", "Южная", "Луговая", "Зелёная", "Солнечная", "Береговая", "Нагорная", "Рабочая",
    "Первомайская", "Строителей", "Победы", "Кирова", "Чапаева", "Калинина", "Горького", "Лермонтова",
    "Толстого", "Чехова", "Гоголя", "Некрасова", "Островского", "Маяковского", "Фрунзе", "Дзержинского",
    "Свердлова", "Куйбышева", "Энгельса", "Маркса", "Коммунистическая", "Пролетарская",
    "Красноармейская", "Пионерская", "Спортивная", "Вокзальная", "Железнодорожная", "Заводская",
    "Фабричная", "Колхозная", "Трудовая", "Мичурина", "Тимирязева", "Ломоносова", "Суворова", "Кутузова",
    "Жукова", "Королёва", "Циолковского", "Есенина", "Шолохова", "Крупской", "Матросова", "Космонавтов",
    "Юбилейная", "Весенняя", "Берёзовая", "Сосновая", "Рябиновая", "Вишнёвая", "Кленовая", "Дачная",
    "Парковая", "Цветочная", "Речная", "Озёрная", "Родниковая", "Степная", "Почтовая", "Больничная",
    "8 Марта", "50 лет Октября", "60 лет Победы", "Ивана Франко", "Героев-Панфиловцев", "Мусы Джалиля",
    "Сакко и Ванцетти", "Розы Люксембург", "Нефтяников", "Шахтёров", "Энергетиков", "Связистов",
    "Гвардейская", "Ёлочная", "Соловьиная", "Тихая",
};

// Weighted: most streets are "ул". "пр" is deliberately missing from SOCRBASE.DBF.
const char* const StreetTypes[] = {
    "ул", "ул", "ул", "ул", "ул", "ул", "ул", "ул", "ул", "ул", "ул", "ул", "ул", "ул", "пер", "пер", "пер",
    "пр-кт", "б-р", "ш", "проезд", "пл", "туп", "наб", "мкр", "кв-л", "линия", "тер", "аллея", "пр",
};

// Rare but real: names with an apostrophe or with double quotes.
const char* const QuotedStreets[] = {
    "Жанны д'Арк", "Д'Артаньяна", "О'Хары", "снт \"Рассвет\"", "гск \"Строитель\"", "снт \"Дружба-2\"",
};
const char* const QuotedVillages[] = {
    "Д'яково", "Об'ячево", "\"Заря\" снт", "Садовое товарищество \"Ромашка\"",
};

const char* const OtherActuality[] = { "01", "02", "51", "51", "99" };
    // clang-format on

    QString number(qint64 value, int width)
    {
        return QString::number(value).rightJustified(width, QLatin1Char('0'));
    }

    struct Locality {
        QString code11; // SS RRR GGG PPP
        QString name;
        QString socr;
        QString index;
        QString status;
        double streetWeight = 0;
    };

    class Generator {
    public:
        Generator(const Options& options, RecordSink& sink)
            : m_Random(options.seed)
            , m_Sink(sink)
        {
            const double scale = qMax(0.0, options.scale);
            m_nKladr = qint64(std::llround(FullKladr * scale));
            m_nStreet = qint64(std::llround(FullStreet * scale));
            m_nDoma = qint64(std::llround(FullDoma * scale));
        }

        void run()
        {
            if (m_nKladr <= 0)
                return;
            // Two regions at least, so that locality names repeat across regions.
            const int regions = int(
                qBound<qint64>(qMin<qint64>(2, m_nKladr), std::llround(m_nKladr / 2600.0), RegionCount));
            for (int r = 0; r < regions; ++r) {
                const qint64 kladrBudget = share(m_nKladr, regions, r);
                const qint64 streetBudget = share(m_nStreet, regions, r);
                const qint64 domaBudget = share(m_nDoma, regions, r);
                region(r, kladrBudget, streetBudget, domaBudget);
            }
        }

    private:
        static qint64 share(qint64 total, int parts, int i)
        {
            return total / parts + (i < total % parts ? 1 : 0);
        }

        QString actuality()
        {
            return m_Random.chance(0.10) ? QString::fromUtf8(m_Random.pick(OtherActuality))
                                         : QStringLiteral("00");
        }

        QString postalIndex(int regionPrefix)
        {
            if (m_Random.chance(0.05))
                return QString();
            return number(regionPrefix * 1000 + m_Random.below(1000), 6);
        }

        QString ocatd(int region)
        {
            return number(region, 2) + number(qint64(m_Random.next() % 1000000000ull), 9);
        }
        QString gninmb(int region) { return number(region, 2) + number(m_Random.below(100), 2); }
        QString uno() { return m_Random.chance(0.5) ? number(m_Random.below(10000), 4) : QString(); }

        // Regions and their capitals are always current and never deleted.
        void emitKladr(const Locality& l, int region, bool bCurrent = false)
        {
            const QString state = bCurrent ? QStringLiteral("00") : actuality();
            const bool deleted = m_Random.chance(0.005) && !bCurrent;
            m_Sink.record(Table::Kladr,
                { l.name, l.socr, l.code11 + state, l.index, gninmb(region), uno(), ocatd(region), l.status },
                deleted);
        }

        QString villageName()
        {
            if (m_Random.chance(0.002))
                return QString::fromUtf8(m_Random.pick(QuotedVillages));
            QString name = QString::fromUtf8(m_Random.pick(Villages));
            const double roll = m_Random.unit();
            if (roll < 0.06)
                name = name + QLatin1Char('-') + QString::fromUtf8(m_Random.pick(Villages));
            else if (roll < 0.12)
                name = (m_Random.chance(0.5) ? QStringLiteral("Верхняя ") : QStringLiteral("Нижняя ")) + name;
            else if (roll < 0.16)
                name = name + QStringLiteral(" ") + number(m_Random.below(5) + 1, 1);
            return name.left(40);
        }

        QString cityName()
        {
            if (m_Random.chance(0.15))
                return QString::fromUtf8(m_Random.pick(CityHyphenated))
                    + QString::fromUtf8(m_Random.pick(Rivers));
            return QString::fromUtf8(m_Random.pick(CityPrefixes))
                + QString::fromUtf8(m_Random.pick(CitySuffixes));
        }

        void region(int r, qint64 kladrBudget, qint64 streetBudget, qint64 domaBudget)
        {
            const int ss = r + 1;
            const int regionPrefix = 101 + (r * 7) % 600;
            const QString ssCode = number(ss, 2);
            QVector<Locality> localities;

            Locality head;
            head.code11 = ssCode + QStringLiteral("000000000");
            head.name = QString::fromUtf8(Regions[r % RegionCount].name);
            head.socr = QString::fromUtf8(Regions[r % RegionCount].socr);
            head.index = postalIndex(regionPrefix);
            head.status = QStringLiteral("0");
            emitKladr(head, ss, true);
            qint64 left = kladrBudget - 1;
            // A city of federal rank is its own region: its streets hang on the region record.
            const bool cityRegion = head.socr == QStringLiteral("г");
            if (cityRegion) {
                head.streetWeight = 300;
                localities.append(head);
            }

            // The regional capital and a few more cities directly under the region.
            const int regionCities = int(qMin<qint64>(left, left > 200 ? 3 : 1));
            for (int g = 1; g <= regionCities; ++g) {
                const bool capital = g == 1 && !cityRegion;
                Locality city;
                city.code11 = ssCode + QStringLiteral("000") + number(g, 3) + QStringLiteral("000");
                city.name = capital ? QString::fromUtf8(Regions[r % RegionCount].capital) : cityName();
                city.socr = QStringLiteral("г");
                city.index = postalIndex(regionPrefix);
                city.status = capital ? QStringLiteral("2") : QStringLiteral("0");
                city.streetWeight = capital ? 300 : 60;
                emitKladr(city, ss, capital);
                localities.append(city);
            }
            left -= regionCities;

            const qint64 districts = qMax<qint64>(left > 0 ? 1 : 0, std::llround(left / 100.0));
            for (qint64 d = 0; d < districts && d < 999; ++d) {
                qint64 budget = share(left, int(districts), int(d));
                if (budget <= 0)
                    continue;
                const QString rrr = number(d + 1, 3);
                Locality district;
                district.code11 = ssCode + rrr + QStringLiteral("000000");
                district.name = QString::fromUtf8(m_Random.pick(Districts));
                district.socr = QStringLiteral("р-н");
                district.index = postalIndex(regionPrefix);
                district.status = QStringLiteral("0");
                emitKladr(district, ss);
                --budget;

                int ggg = 0;
                int ppp = 0;
                int pppInCity = 0;
                while (budget > 0) {
                    Locality l;
                    l.index = postalIndex(regionPrefix);
                    l.status = QStringLiteral("0");
                    const double roll = m_Random.unit();
                    if (roll < 0.03 && ggg < 999) {
                        ++ggg;
                        pppInCity = 0;
                        l.code11 = ssCode + rrr + number(ggg, 3) + QStringLiteral("000");
                        l.name = cityName();
                        l.socr = m_Random.chance(0.7) ? QStringLiteral("г") : QStringLiteral("пгт");
                        l.status = QStringLiteral("1");
                        l.streetWeight = 40;
                    } else if (roll < 0.10 && ggg > 0 && pppInCity < 999) {
                        ++pppInCity;
                        l.code11 = ssCode + rrr + number(ggg, 3) + number(pppInCity, 3);
                        l.name = villageName();
                        l.socr = QString::fromUtf8(m_Random.pick(VillageTypes));
                        l.streetWeight = 3;
                    } else if (ppp < 999) {
                        ++ppp;
                        l.code11 = ssCode + rrr + QStringLiteral("000") + number(ppp, 3);
                        l.name = villageName();
                        l.socr = QString::fromUtf8(m_Random.pick(VillageTypes));
                        l.streetWeight = 2;
                    } else {
                        break;
                    }
                    emitKladr(l, ss);
                    localities.append(l);
                    --budget;
                }
            }

            streets(localities, ss, regionPrefix, streetBudget, domaBudget);
        }

        // Error diffusion hands out the street budget by weight, so the region total is exact.
        void streets(const QVector<Locality>& localities, int ss, int regionPrefix, qint64 streetBudget,
            qint64 domaBudget)
        {
            double weights = 0;
            for (const Locality& l : localities)
                weights += l.streetWeight;
            if (weights <= 0 || streetBudget <= 0)
                return;
            const double housesPerStreet = double(domaBudget) / double(streetBudget);
            double wanted = 0;
            qint64 given = 0;
            double houseWanted = 0;
            qint64 houseGiven = 0;
            for (const Locality& l : localities) {
                wanted += double(streetBudget) * l.streetWeight / weights;
                const qint64 count = qMin<qint64>(9999, qint64(std::floor(wanted + 1e-9)) - given);
                given += count;
                const int offset = m_Random.below(int(std::size(Streets)));
                for (qint64 u = 0; u < count; ++u) {
                    const QString code15 = l.code11 + number(u + 1, 4);
                    const QString streetIndex
                        = l.index.isEmpty() || m_Random.chance(0.3) ? postalIndex(regionPrefix) : l.index;
                    m_Sink.record(Table::Street,
                        { streetName(offset, u), QString::fromUtf8(m_Random.pick(StreetTypes)),
                            code15 + actuality(), streetIndex, gninmb(ss), uno(), ocatd(ss) },
                        m_Random.chance(0.005));

                    houseWanted += housesPerStreet * 2.0 * m_Random.unit();
                    const qint64 houses
                        = qMin<qint64>(9999, qMax<qint64>(0, qint64(std::floor(houseWanted)) - houseGiven));
                    houseGiven += houses;
                    for (qint64 h = 0; h < houses; ++h) {
                        const QString index = m_Random.chance(0.8) ? streetIndex : postalIndex(regionPrefix);
                        m_Sink.record(Table::Doma,
                            { houseList(),
                                m_Random.chance(0.05) ? number(m_Random.below(3) + 1, 1) : QString(),
                                QStringLiteral("ДОМ"), code15 + number(h + 1, 4), index, gninmb(ss), uno(),
                                ocatd(ss) },
                            m_Random.chance(0.005));
                    }
                }
            }
        }

        QString streetName(int offset, qint64 u)
        {
            if (m_Random.chance(0.001))
                return QString::fromUtf8(m_Random.pick(QuotedStreets));
            const qint64 pool = qint64(std::size(Streets));
            const QString base = QString::fromUtf8(Streets[(offset + u) % pool]);
            const qint64 round = u / pool;
            return round == 0 ? base : (QString::number(round + 1) + QStringLiteral("-я ") + base).left(40);
        }

        // House lists as the classifier writes them: "1-9,Н(11-25),Ч(2-40),27к1".
        QString houseList()
        {
            QString list;
            const int parts = 1 + m_Random.below(5);
            for (int i = 0; i < parts; ++i) {
                QString part;
                const int from = 1 + m_Random.below(60);
                switch (m_Random.below(7)) {
                case 0:
                    part = QString::number(from) + QLatin1Char('-')
                        + QString::number(from + 1 + m_Random.below(30));
                    break;
                case 1:
                    part = QStringLiteral("Н(") + QString::number(from | 1) + QLatin1Char('-')
                        + QString::number((from | 1) + 2 * (1 + m_Random.below(20))) + QLatin1Char(')');
                    break;
                case 2:
                    part = QStringLiteral("Ч(") + QString::number((from + 1) & ~1) + QLatin1Char('-')
                        + QString::number(((from + 1) & ~1) + 2 * (1 + m_Random.below(20)))
                        + QLatin1Char(')');
                    break;
                case 3:
                    part = QString::number(from) + QStringLiteral("к")
                        + QString::number(1 + m_Random.below(4));
                    break;
                case 4:
                    part = QString::number(from) + QStringLiteral("стр")
                        + QString::number(1 + m_Random.below(3));
                    break;
                case 5:
                    part = QString::number(from) + QString(QChar(0x0410 + m_Random.below(4))); // А..Г
                    break;
                default:
                    part = QString::number(from);
                    break;
                }
                const QString next = list.isEmpty() ? part : list + QLatin1Char(',') + part;
                if (next.size() > 40)
                    break;
                list = next;
            }
            return list;
        }

        Random m_Random;
        RecordSink& m_Sink;
        qint64 m_nKladr = 0;
        qint64 m_nStreet = 0;
        qint64 m_nDoma = 0;
    };

    class FileSink : public RecordSink {
    public:
        DbfWriter kladr;
        DbfWriter street;
        DbfWriter doma;
        PostOffices offices;
        Counts counts;

        void record(Table table, const QStringList& values, bool bDeleted) override
        {
            offices.record(table, values, bDeleted);
            if (bDeleted)
                ++counts.deleted;
            switch (table) {
            case Table::Kladr:
                kladr.append(values, bDeleted);
                ++counts.kladr;
                break;
            case Table::Street:
                street.append(values, bDeleted);
                ++counts.street;
                break;
            case Table::Doma:
                doma.append(values, bDeleted);
                ++counts.doma;
                break;
            }
        }
    };

    QString upper(const QString& text)
    {
        return text.toUpper();
    }

} // namespace

void PostOffices::record(Table table, const QStringList& values, bool bDeleted)
{
    if (bDeleted)
        return;
    const int codeField = table == Table::Doma ? 3 : 2;
    const QString code = values.value(codeField).left(11);
    const QString index = values.value(codeField + 1);
    if (table == Table::Kladr && !m_Places.contains(code))
        m_Places.insert(code, Place { values.value(0), values.value(1) });
    if (!index.isEmpty() && !m_Indexes.contains(index))
        m_Indexes.insert(index, code);
}

QList<QStringList> PostOffices::offices(quint64 seed) const
{
    // A stream of its own, so the classifier's records do not depend on the offices.
    Random random(seed ^ 0x50494E4458ull);
    QList<QStringList> records;
    QHash<QString, QString> heads; // region digits to the index of the region's head office
    QHash<QString, int> perPlace;
    QStringList retired; // indexes waiting for the office that took over their area
    for (auto it = m_Indexes.cbegin(); it != m_Indexes.cend(); ++it) {
        const QString& index = it.key();
        const QString& code = it.value();
        const double roll = random.unit();
        if (roll < 0.04)
            continue;
        if (roll < 0.08) {
            retired << index;
            continue;
        }
        const QString ss = code.left(2);
        const Place region = m_Places.value(ss + QStringLiteral("000000000"));
        const Place district = code.mid(2, 3) == QLatin1String("000")
            ? Place()
            : m_Places.value(code.left(5) + QStringLiteral("000000"));
        const Place city = code.mid(5, 3) == QLatin1String("000")
            ? Place()
            : m_Places.value(code.left(8) + QStringLiteral("000"));
        const Place place = m_Places.value(code);
        const bool isCity = place.socr == QLatin1String("г");
        const bool head = !heads.contains(ss);
        if (head)
            heads.insert(ss, index);
        const int n = ++perPlace[code];

        QString name = upper(place.name);
        if (head)
            name += QStringLiteral(" ПОЧТАМТ");
        else if (n > 1)
            name += QLatin1Char(' ') + QString::number(n);
        const QString type = head ? QStringLiteral("ПОЧТАМТ")
            : isCity              ? QStringLiteral("ГОПС")
                                  : QStringLiteral("СОПС");
        const QString area
            = district.name.isEmpty() ? QString() : upper(district.name) + QStringLiteral(" РАЙОН");
        const QString cityName = isCity ? upper(place.name) : upper(city.name);
        const QString settlement = isCity ? QString() : upper(place.name);
        const QString date
            = QDate(2020, 1, 1).addDays(random.below(2000)).toString(QStringLiteral("yyyyMMdd"));
        QString old;
        if (!retired.isEmpty() && retired.first().left(3) == index.left(3))
            old = retired.takeFirst();
        retired.clear();
        records << QStringList { index, name, type, head ? QString() : heads.value(ss),
            upper(region.name + QLatin1Char(' ') + region.socr), QString(), area, cityName, settlement, date,
            old };
    }
    return records;
}

void generate(const Options& options, RecordSink& sink)
{
    Generator(options, sink).run();
}

QVector<DbfWriter::Field> fields(Table table)
{
    switch (table) {
    case Table::Kladr:
        return { { "NAME", 40 }, { "SOCR", 10 }, { "CODE", 13 }, { "INDEX", 6 }, { "GNINMB", 4 },
            { "UNO", 4 }, { "OCATD", 11 }, { "STATUS", 1 } };
    case Table::Street:
        return { { "NAME", 40 }, { "SOCR", 10 }, { "CODE", 17 }, { "INDEX", 6 }, { "GNINMB", 4 },
            { "UNO", 4 }, { "OCATD", 11 } };
    case Table::Doma:
        return { { "NAME", 40 }, { "KORP", 10 }, { "SOCR", 10 }, { "CODE", 19 }, { "INDEX", 6 },
            { "GNINMB", 4 }, { "UNO", 4 }, { "OCATD", 11 } };
    }
    return {};
}

QVector<DbfWriter::Field> postOfficeFields()
{
    return { { "INDEX", 6 }, { "OPSNAME", 60 }, { "OPSTYPE", 50 }, { "OPSSUBM", 6 }, { "REGION", 60 },
        { "AUTONOM", 60 }, { "AREA", 60 }, { "CITY", 60 }, { "CITY_1", 60 }, { "ACTDATE", 8, 'D' },
        { "INDEXOLD", 6 } };
}

QString fileName(Table table)
{
    switch (table) {
    case Table::Kladr:
        return QStringLiteral("KLADR.DBF");
    case Table::Street:
        return QStringLiteral("STREET.DBF");
    case Table::Doma:
        return QStringLiteral("DOMA.DBF");
    }
    return QString();
}

bool writeSample(
    const QString& outDir, const QByteArray& socrbase, const Options& options, Counts* counts, QString* error)
{
    auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    const QString base = outDir + QStringLiteral("/BASE");
    if (!QDir().mkpath(base))
        return fail(QStringLiteral("cannot create directory %1").arg(base));

    QFile dictionary(base + QStringLiteral("/SOCRBASE.DBF"));
    if (!dictionary.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || dictionary.write(socrbase) != socrbase.size())
        return fail(
            QStringLiteral("cannot write %1: %2").arg(dictionary.fileName(), dictionary.errorString()));
    dictionary.close();

    FileSink sink;
    const std::pair<DbfWriter*, Table> writers[]
        = { { &sink.kladr, Table::Kladr }, { &sink.street, Table::Street }, { &sink.doma, Table::Doma } };
    for (const auto& [writer, table] : writers) {
        const QString path = base + QLatin1Char('/') + fileName(table);
        if (!writer->open(path, fields(table)))
            return fail(QStringLiteral("cannot write %1: %2").arg(path, writer->errorString()));
    }
    generate(options, sink);
    for (const auto& [writer, table] : writers) {
        if (!writer->close())
            return fail(QStringLiteral("cannot write %1: %2").arg(fileName(table), writer->errorString()));
    }
    DbfWriter offices;
    const QString officePath = base + QLatin1Char('/') + QLatin1String(PostOfficeFileName);
    if (!offices.open(officePath, postOfficeFields()))
        return fail(QStringLiteral("cannot write %1: %2").arg(officePath, offices.errorString()));
    for (const QStringList& office : sink.offices.offices(options.seed))
        offices.append(office);
    sink.counts.postOffices = offices.recordCount();
    if (!offices.close())
        return fail(QStringLiteral("cannot write %1: %2").arg(officePath, offices.errorString()));
    if (counts)
        *counts = sink.counts;
    return true;
}

} // namespace KladrSample
