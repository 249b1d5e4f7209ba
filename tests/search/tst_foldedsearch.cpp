// SPDX-License-Identifier: GPL-3.0-or-later
// Е and Ё on a generated classifier: every name written with Ё is found by its spelling with Е
// and the reverse, exactly and with masks, with and without the distinct-name tables. What must
// be found is read from the tables here, by folding the names in code.

#include "searchrun.h"
#include "toolrun.h"

#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QChar Ye(0x0415);
const QChar Yo(0x0401);

QString withYe(QString text)
{
    return text.replace(Yo, Ye);
}

QString withYo(QString text)
{
    return text.replace(Ye, Yo);
}

// A mask as a regular expression on the folded name.
QRegularExpression maskPattern(const QString& mask)
{
    QString pattern;
    for (QChar c : mask)
        pattern += c == '%' ? QStringLiteral(".*")
            : c == '_'      ? QStringLiteral(".")
                            : QRegularExpression::escape(c);
    return QRegularExpression(QLatin1Char('^') + pattern + QLatin1Char('$'));
}

struct Name {
    bool street = false;
    QString upper;
    QSet<QString> codes; // the current records bearing it
};

} // namespace

class TestFoldedSearch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void eitherLetterFindsTheName_data();
    void eitherLetterFindsTheName();

private:
    QTemporaryDir m_Dir;
    QString m_WithNames;
    QString m_WithoutNames;
    QVector<Name> m_Names;
};

void TestFoldedSearch::initTestCase()
{
    QVERIFY(m_Dir.isValid());
    const QString dir = m_Dir.filePath("db");
    ToolRun run = runTool({ "sample", "--out", dir, "--scale", "0.002", "--seed", "5" });
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    run = runTool({ "import", dir });
    QVERIFY2(run.exitCode == 0, qPrintable(run.out.join('\n') + run.err));
    m_WithNames = dir + "/KLADR.sqlite";
    m_WithoutNames = m_Dir.filePath("without-names.sqlite");
    QVERIFY(QFile::copy(m_WithNames, m_WithoutNames));

    const QString connection = QStringLiteral("folded");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(m_WithoutNames);
        QVERIFY(db.open());
        QSqlQuery query(db);
        // As a database of an earlier version, or one installed from elsewhere, may be.
        QVERIFY(query.exec("DROP TABLE KLADR_NAMES"));
        QVERIFY(query.exec("DROP TABLE STREET_NAMES"));
        db.setDatabaseName(m_WithNames);
        QVERIFY(db.open());

        // Every name with Ё, and as many with Е only, of localities and of streets.
        for (const bool street : { false, true }) {
            const QString table = street ? "street" : "kladr";
            // A street is found through its locality's current record, as the search joins them.
            QVERIFY(query.exec(street
                    ? QStringLiteral("SELECT s.name_upper, s.code FROM street s JOIN kladr k "
                                     "ON s.code_kladr = k.code AND k.code_st = '00'")
                    : QStringLiteral("SELECT name_upper, code FROM kladr WHERE code_st = '00'")));
            // Ordered, so every run tries the same names.
            QMap<QString, QSet<QString>> codes;
            while (query.next())
                codes[query.value(0).toString()].insert(query.value(1).toString());
            int withYe = 0;
            int withYo = 0;
            for (auto it = codes.cbegin(); it != codes.cend(); ++it) {
                const bool yo = it.key().contains(Yo);
                if (!yo && (!it.key().contains(Ye) || withYe >= withYo + 5))
                    continue;
                (yo ? withYo : withYe) += 1;
                m_Names.append({ street, it.key(), it.value() });
            }
            QVERIFY2(withYo >= 5, qPrintable(table));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

void TestFoldedSearch::eitherLetterFindsTheName_data()
{
    QTest::addColumn<bool>("nameTables");
    QTest::newRow("with the distinct-name tables") << true;
    QTest::newRow("without them") << false;
}

void TestFoldedSearch::eitherLetterFindsTheName()
{
    QFETCH(bool, nameTables);
    const QString file = nameTables ? m_WithNames : m_WithoutNames;

    RecordingHost host;
    ThreadDataBaseFind thread;
    thread.setHost(&host);
    thread.setDatabaseFile(file);
    SearchResult last;
    QObject::connect(
        &thread, &ThreadDataBaseFind::signalFind, [&](const SearchResult& result) { last = result; });

    int searches = 0;
    for (const Name& name : qAsConst(m_Names)) {
        const QString folded = withYe(name.upper);
        // Typed in lower case, as people type: every Е as Ё, and every Ё as Е; masks on the
        // beginning (an index range), the end (the names, or the table) and one letter.
        const QStringList typed { withYe(name.upper).toLower(), withYo(name.upper).toLower(),
            folded.left(folded.size() - 2).toLower() + "%", "%" + folded.mid(2).toLower(),
            "_" + withYo(name.upper).mid(1).toLower() };
        for (const QString& text : typed) {
            last = SearchResult();
            thread.find(paramsFor(name.street ? QString() : text, name.street ? text : QString()));
            QVERIFY(thread.waitIdle(60000));
            ++searches;
            const QString what = text + (name.street ? " (street)" : " (locality)");
            QVERIFY2(!last.columns.isEmpty(), qPrintable(what + ": " + host.lines().join('\n')));

            const int nameColumn = name.street ? 8 : 1;
            const int codeColumn = name.street ? -1 : 4;
            const QRegularExpression pattern = maskPattern(withYe(text.toUpper()));
            QSet<QString> found;
            for (const QSqlRecord& row : last.rows) {
                const QString rowName = withYe(row.value(nameColumn).toString().toUpper());
                QVERIFY2(pattern.match(rowName).hasMatch(), qPrintable(what + " found " + rowName));
                if (withYe(row.value(nameColumn).toString().toUpper()) == folded && codeColumn >= 0)
                    found.insert(row.value(codeColumn).toString());
            }
            // Every record of the name, unless more rows than shown matched.
            bool hasName = false;
            for (const QSqlRecord& row : last.rows)
                hasName = hasName || row.value(nameColumn).toString().toUpper() == name.upper;
            if (!last.truncated) {
                QVERIFY2(hasName, qPrintable(what + " misses " + name.upper));
                if (codeColumn >= 0)
                    QVERIFY2(name.codes - found == QSet<QString>(), qPrintable(what + " misses records"));
            }
        }
    }
    QVERIFY(searches >= 50);
}

QTEST_GUILESS_MAIN(TestFoldedSearch)
#include "tst_foldedsearch.moc"
