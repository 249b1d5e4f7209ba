// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-tool import killed with SIGKILL while a table's rows go in, then run again: the
// second run drops what the first left half done and ends with a complete database.

#include "importfixture.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using KladrSample::Table;

class TestImportKill : public QObject {
    Q_OBJECT

private slots:
    void killedWhileRowsGoIn_data()
    {
        QTest::addColumn<QString>("table");
        QTest::newRow("KLADR") << QStringLiteral("KLADR");
        QTest::newRow("STREET") << QStringLiteral("STREET");
        QTest::newRow("DOMA") << QStringLiteral("DOMA");
    }

    void killedWhileRowsGoIn()
    {
        QFETCH(QString, table);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile socrbase(Fixture::socrbasePath());
        QVERIFY(socrbase.open(QIODevice::ReadOnly));
        KladrSample::Options options;
        options.scale = 0.01;
        options.seed = 7;
        QString error;
        QVERIFY2(KladrSample::writeSample(dir.path(), socrbase.readAll(), options, nullptr, &error),
            qPrintable(error));

        class Count : public KladrSample::RecordSink {
        public:
            QMap<Table, qint64> live;
            void record(Table t, const QStringList&, bool bDeleted) override
            {
                if (!bDeleted)
                    ++live[t];
            }
        } count;
        KladrSample::generate(options, count);
        QVERIFY(count.live.value(Table::Doma) > 2 * 10200);

        // Killed on the line that announces the table's rows: its working table exists, and
        // rows are going in.
        QProcess first;
        first.setProcessChannelMode(QProcess::MergedChannels);
        bool creating = false;
        bool killed = false;
        connect(&first, &QProcess::readyReadStandardOutput, this, [&] {
            while (!killed && first.canReadLine()) {
                const QString line = QString::fromUtf8(first.readLine()).trimmed();
                if (line.endsWith(QStringLiteral("Создание таблицы %1.").arg(table)))
                    creating = true;
                else if (creating && line.contains(QStringLiteral(": Добавление "))) {
                    first.kill();
                    killed = true;
                }
            }
        });
        first.start(QStringLiteral(VELMORA_TOOL), { QStringLiteral("import"), dir.path() });
        QVERIFY(first.waitForStarted());
        QVERIFY(first.waitForFinished(120000));
        QVERIFY(killed);
        QCOMPARE(first.exitStatus(), QProcess::CrashExit);
        const QString database = dir.filePath(QStringLiteral("KLADR.sqlite"));
        QVERIFY(!Fixture::sqlValues(
            database, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"))
                     .contains(table));

        QProcess second;
        second.setProcessChannelMode(QProcess::MergedChannels);
        second.start(QStringLiteral(VELMORA_TOOL), { QStringLiteral("import"), dir.path() });
        QVERIFY(second.waitForFinished(120000));
        const QString log = QString::fromUtf8(second.readAll());
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QVERIFY2(second.exitCode() == 0, qPrintable(log));
        QVERIFY2(log.contains(
                     QStringLiteral("Удаление неполных таблиц прерванного импорта: %1_partial.").arg(table)),
            qPrintable(log));

        const QList<QPair<QString, Table>> tables = { { QStringLiteral("KLADR"), Table::Kladr },
            { QStringLiteral("STREET"), Table::Street }, { QStringLiteral("DOMA"), Table::Doma } };
        for (const auto& [name, kind] : tables) {
            QCOMPARE(Fixture::sqlValues(database, QStringLiteral("SELECT COUNT(*) FROM ") + name),
                QStringList { QString::number(count.live.value(kind)) });
        }
        // The seven, the four of the search by postal index and the post offices' two.
        QCOMPARE(Fixture::sqlValues(
                     database, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'index'")),
            QStringList { "13" });
        QCOMPARE(Fixture::sqlValues(
                     database, QStringLiteral("SELECT name FROM sqlite_master WHERE name LIKE '%partial'")),
            QStringList());
        QCOMPARE(
            Fixture::sqlValues(database, QStringLiteral("PRAGMA integrity_check")), QStringList { "ok" });
        QCOMPARE(
            Fixture::sqlValues(database, QStringLiteral("SELECT COUNT(*) FROM info")), QStringList { "1" });
    }
};

QTEST_GUILESS_MAIN(TestImportKill)
#include "tst_importkill.moc"
