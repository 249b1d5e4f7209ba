#include "settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

// Reading of Velmora.ini and update.info. Files are written byte for byte so that the encoding
// under test is the one on disk, not whatever QSettings would write.
class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void localDbDir_data();
    void localDbDir();
    void updateLocation_data();
    void updateLocation();
    void descriptor_data();
    void descriptor();
    void unreadableFilesGiveDefaults();
    void isZipType_data();
    void isZipType();

private:
    static QByteArray cp1251(const QString& text)
    {
        return QTextCodec::codecForName("Windows-1251")->fromUnicode(text);
    }
    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), qint64(bytes.size()));
    }
};

// "<app>" in the expected value stands for the application directory of the row.
void TestSettings::localDbDir_data()
{
    QTest::addColumn<QByteArray>("ini"); // null: no settings file
    QTest::addColumn<QString>("expected");

    const QString cyrillic = QStringLiteral("/srv/Почтовые индексы/база");
    const QString home = QDir::homePath();

    QTest::newRow("no file") << QByteArray() << QStringLiteral("<app>");
    QTest::newRow("no LocalDB group") << QByteArray("[Updater]\nUpdatePath=/x\n") << QStringLiteral("<app>");
    QTest::newRow("plain path") << QByteArray("[LocalDB]\nPath=/var/lib/velmora\n")
                                << QStringLiteral("/var/lib/velmora");
    QTest::newRow("path as the import writes it")
        << QByteArray("[LocalDB]\nPath=/opt/velmora/\n") << QStringLiteral("/opt/velmora/");
    QTest::newRow("empty path is kept") << QByteArray("[LocalDB]\nPath=\n") << QString();
    QTest::newRow("%HOME% replaced") << QByteArray("[LocalDB]\nPath=%HOME%/kladr\n") << home + "/kladr";
    QTest::newRow("every %HOME% replaced")
        << QByteArray("[LocalDB]\nPath=%HOME%/a/%HOME%\n") << home + "/a/" + home;
    QTest::newRow("lower-case %home% kept")
        << QByteArray("[LocalDB]\nPath=%home%/kladr\n") << QStringLiteral("%home%/kladr");
    QTest::newRow("mixed-case %Home% kept")
        << QByteArray("[LocalDB]\nPath=%Home%/kladr\n") << QStringLiteral("%Home%/kladr");
    QTest::newRow("Windows-1251 by default")
        << QByteArray("[LocalDB]\nPath=" + cp1251(cyrillic) + "\n") << cyrillic;
    QTest::newRow("Windows-1251 named")
        << QByteArray("[ThisFile]\nCodePage=Windows-1251\n[LocalDB]\nPath=" + cp1251(cyrillic) + "\n")
        << cyrillic;
    QTest::newRow("codec read before keys of earlier groups")
        << QByteArray("[LocalDB]\nPath=" + cp1251(cyrillic) + "\n[ThisFile]\nCodePage=Windows-1251\n")
        << cyrillic;
    QTest::newRow("UTF-8 named") << QByteArray(
        "[ThisFile]\nCodePage=UTF-8\n[LocalDB]\nPath=" + cyrillic.toUtf8() + "\n")
                                 << cyrillic;
    QTest::newRow("IBM 866 named") << QByteArray("[ThisFile]\nCodePage=IBM 866\n[LocalDB]\nPath="
        + QTextCodec::codecForName("IBM 866")->fromUnicode(cyrillic) + "\n")
                                   << cyrillic;
    QTest::newRow("unknown codec, ASCII path")
        << QByteArray("[ThisFile]\nCodePage=KOI-none\n[LocalDB]\nPath=/data\n") << QStringLiteral("/data");
    QTest::newRow("malformed lines around the key")
        << QByteArray("garbage without section\n[LocalDB\n=novalue\n[LocalDB]\nPath=/ok\n")
        << QStringLiteral("/ok");
}

void TestSettings::localDbDir()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString appDir = dir.path();
    if (!ini.isNull())
        writeFile(appDir + "/Velmora.ini", ini);
    expected.replace(QStringLiteral("<app>"), appDir);

    QCOMPARE(Settings::readLocalDbDir(appDir), expected);
}

void TestSettings::updateLocation_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("updatePath");
    QTest::addColumn<QString>("descriptorPath");

    // The local database directory passed in is "/local".
    QTest::newRow("no file") << QByteArray() << QStringLiteral("/local")
                             << QStringLiteral("/local/update.info");
    QTest::newRow("only InfoFile") << QByteArray("[Updater]\nInfoFile=/other.info\n")
                                   << QStringLiteral("/local") << QStringLiteral("/local/other.info");
    QTest::newRow("only UpdatePath") << QByteArray("[Updater]\nUpdatePath=/share\n")
                                     << QStringLiteral("/share") << QStringLiteral("/share/update.info");
    QTest::newRow("as the import writes it") << QByteArray("[Updater]\nUpdatePath=./\nInfoFile=update.info\n")
                                             << QStringLiteral("./") << QStringLiteral("./update.info");
    QTest::newRow("mixed pair doubles the separator")
        << QByteArray("[Updater]\nUpdatePath=./\n") << QStringLiteral("./")
        << QStringLiteral(".//update.info");
    QTest::newRow("mixed pair loses the separator")
        << QByteArray("[Updater]\nInfoFile=update.info\n") << QStringLiteral("/local")
        << QStringLiteral("/localupdate.info");
    QTest::newRow("%HOME% not expanded in UpdatePath")
        << QByteArray("[Updater]\nUpdatePath=%HOME%/upd\n") << QStringLiteral("%HOME%/upd")
        << QStringLiteral("%HOME%/upd/update.info");
    QTest::newRow("Cyrillic share in Windows-1251")
        << QByteArray("[Updater]\nUpdatePath=" + cp1251(QStringLiteral("//сервер/обновления")) + "\n")
        << QStringLiteral("//сервер/обновления") << QStringLiteral("//сервер/обновления/update.info");
}

void TestSettings::updateLocation()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, updatePath);
    QFETCH(QString, descriptorPath);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (!ini.isNull())
        writeFile(dir.path() + "/Velmora.ini", ini);

    const Settings::UpdateLocation location
        = Settings::readUpdateLocation(dir.path(), QStringLiteral("/local"));
    QCOMPARE(location.updatePath, updatePath);
    QCOMPARE(location.descriptorPath, descriptorPath);
}

void TestSettings::descriptor_data()
{
    QTest::addColumn<QByteArray>("info");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("filePath");
    QTest::addColumn<QString>("fileType");
    QTest::addColumn<bool>("isZip");

    // The update path passed in is "/upd".
    QTest::newRow("empty file") << QByteArray() << QString() << QStringLiteral("/upd/KLADR.sqlite")
                                << QStringLiteral("RAW") << false;
    QTest::newRow("only Version") << QByteArray("[DataBase]\nVersion=Tue Dec 8 17:20:17 2026\n")
                                  << QStringLiteral("Tue Dec 8 17:20:17 2026")
                                  << QStringLiteral("/upd/KLADR.sqlite") << QStringLiteral("RAW") << false;
    QTest::newRow("only FileType ZIP")
        << QByteArray("[DataBase]\nFileType=ZIP\n") << QString() << QStringLiteral("/upd/KLADR.sqlite")
        << QStringLiteral("ZIP") << true;
    QTest::newRow("lower-case zip is plain")
        << QByteArray("[DataBase]\nFileType=zip\n") << QString() << QStringLiteral("/upd/KLADR.sqlite")
        << QStringLiteral("zip") << false;
    QTest::newRow("import's placeholder is plain")
        << QByteArray("[DataBase]\nVersion=v\nFileName=KLADR.sqlite\nFileType=!!! set RAW or ZIP here !!!\n")
        << QStringLiteral("v") << QStringLiteral("/updKLADR.sqlite")
        << QStringLiteral("!!! set RAW or ZIP here !!!") << false;
    QTest::newRow("file name appended as written")
        << QByteArray("[DataBase]\nFileName=/KLADR.sqlite.zip\nFileType=ZIP\n") << QString()
        << QStringLiteral("/upd/KLADR.sqlite.zip") << QStringLiteral("ZIP") << true;
    QTest::newRow("Cyrillic in Windows-1251 by default")
        << QByteArray("[DataBase]\nVersion=" + cp1251(QStringLiteral("сборка 7"))
               + "\nFileName=" + cp1251(QStringLiteral("/база.sqlite")) + "\n")
        << QStringLiteral("сборка 7") << QStringLiteral("/upd/база.sqlite") << QStringLiteral("RAW") << false;
    QTest::newRow("Cyrillic in UTF-8 named") << QByteArray(
        "[ThisFile]\nCodePage=UTF-8\n[DataBase]\nVersion=" + QStringLiteral("сборка 8").toUtf8() + "\n")
                                             << QStringLiteral("сборка 8")
                                             << QStringLiteral("/upd/KLADR.sqlite") << QStringLiteral("RAW")
                                             << false;
    QTest::newRow("no DataBase group")
        << QByteArray("[ThisFile]\nCodePage=Windows-1251\n") << QString()
        << QStringLiteral("/upd/KLADR.sqlite") << QStringLiteral("RAW") << false;
}

void TestSettings::descriptor()
{
    QFETCH(QByteArray, info);
    QFETCH(QString, version);
    QFETCH(QString, filePath);
    QFETCH(QString, fileType);
    QFETCH(bool, isZip);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.path() + "/update.info";
    writeFile(path, info);

    const Settings::UpdateDescriptor descriptor = Settings::readDescriptor(path, QStringLiteral("/upd"));
    QCOMPARE(descriptor.version, version);
    QCOMPARE(descriptor.filePath, filePath);
    QCOMPARE(descriptor.fileType, fileType);
    QCOMPARE(descriptor.isZip, isZip);
}

// A directory where the file should be cannot be read, even by root: every key takes its default.
void TestSettings::unreadableFilesGiveDefaults()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkdir("Velmora.ini"));
    QVERIFY(QDir(dir.path()).mkdir("update.info"));

    QCOMPARE(Settings::readLocalDbDir(dir.path()), dir.path());
    const Settings::UpdateLocation location
        = Settings::readUpdateLocation(dir.path(), QStringLiteral("/local"));
    QCOMPARE(location.descriptorPath, QStringLiteral("/local/update.info"));
    const Settings::UpdateDescriptor descriptor
        = Settings::readDescriptor(dir.path() + "/update.info", QStringLiteral("/upd"));
    QCOMPARE(descriptor.version, QString());
    QCOMPARE(descriptor.filePath, QStringLiteral("/upd/KLADR.sqlite"));
    QCOMPARE(descriptor.isZip, false);
}

void TestSettings::isZipType_data()
{
    QTest::addColumn<QString>("fileType");
    QTest::addColumn<bool>("isZip");

    QTest::newRow("ZIP") << QStringLiteral("ZIP") << true;
    QTest::newRow("zip") << QStringLiteral("zip") << false;
    QTest::newRow("Zip") << QStringLiteral("Zip") << false;
    QTest::newRow("RAW") << QStringLiteral("RAW") << false;
    QTest::newRow("ZIP with trailing text") << QStringLiteral("ZIP archive") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestSettings::isZipType()
{
    QFETCH(QString, fileType);
    QFETCH(bool, isZip);
    QCOMPARE(Settings::isZipType(fileType), isZip);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
