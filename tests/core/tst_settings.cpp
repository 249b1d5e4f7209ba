// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

// Reading of Velmora.ini and update.info. Files are written byte for byte so that the encoding
// under test is the one on disk, not whatever QSettings would write.
class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void localDbDir_data();
    void localDbDir();
    void homeDirectoryCreated_data();
    void homeDirectoryCreated();
    void packagedSettings();
    void settingsWrittenByRunScript_data();
    void settingsWrittenByRunScript();
    void updateLocation_data();
    void updateLocation();
    void descriptor_data();
    void descriptor();
    void unreadableFilesGiveDefaults();
    void isZipType_data();
    void isZipType();

private:
    // Directories named through %HOME% are created: HOME points here, never at the real one.
    QTemporaryDir m_Home;

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

void TestSettings::initTestCase()
{
    QVERIFY(m_Home.isValid());
    qputenv("HOME", QFile::encodeName(m_Home.path()));
    QCOMPARE(QDir::homePath(), m_Home.path());
}

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

// "<home>" and "<app>" stand for the home and the application directory of the row.
void TestSettings::homeDirectoryCreated_data()
{
    QTest::addColumn<QString>("path"); // LocalDB/Path, written as UTF-8
    QTest::addColumn<QString>("directory"); // the directory to look at afterwards
    QTest::addColumn<bool>("created");

    QTest::newRow("per-user directory") << QStringLiteral("%HOME%/.local/share/velmora")
                                        << QStringLiteral("<home>/.local/share/velmora") << true;
    QTest::newRow("Cyrillic name") << QStringLiteral("%HOME%/Почта/индексы")
                                   << QStringLiteral("<home>/Почта/индексы") << true;
    QTest::newRow("trailing separator")
        << QStringLiteral("%HOME%/addresses/") << QStringLiteral("<home>/addresses") << true;
    QTest::newRow("lower-case %home% is no home")
        << QStringLiteral("%home%/kladr") << QStringLiteral("<app>/%home%/kladr") << false;
    QTest::newRow("absolute directory is left alone")
        << QStringLiteral("<app>/share/kladr") << QStringLiteral("<app>/share/kladr") << false;
}

void TestSettings::homeDirectoryCreated()
{
    QFETCH(QString, path);
    QFETCH(QString, directory);
    QFETCH(bool, created);

    QTemporaryDir app;
    QVERIFY(app.isValid());
    path.replace(QStringLiteral("<app>"), app.path());
    directory.replace(QStringLiteral("<app>"), app.path()).replace(QStringLiteral("<home>"), m_Home.path());
    writeFile(
        app.path() + "/Velmora.ini", "[ThisFile]\nCodePage=UTF-8\n[LocalDB]\nPath=" + path.toUtf8() + "\n");
    // A relative path is relative to the current directory: keep it inside the test's directory.
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(app.path()));

    QVERIFY(!QFileInfo::exists(directory));
    const QString localDbDir = Settings::readLocalDbDir(app.path());
    QVERIFY(QDir::setCurrent(previous));
    QCOMPARE(QFileInfo(localDbDir).isDir(), created);
    QCOMPARE(QFileInfo(directory).isDir(), created);
    if (created)
        QCOMPARE(QFileInfo(localDbDir).canonicalFilePath(), QFileInfo(directory).canonicalFilePath());
    // Reading again finds the directory made the first time.
    QCOMPARE(Settings::readLocalDbDir(app.path()), localDbDir);
}

// The settings file the package installs beside the programs: a directory of each user's own,
// in the encoding the file names.
void TestSettings::packagedSettings()
{
    QFile packaged(QStringLiteral(VELMORA_TESTDATA_DIR "/../../packaging/Velmora.ini"));
    QVERIFY(packaged.open(QIODevice::ReadOnly));
    const QByteArray bytes = packaged.readAll();
    QTextCodec* codec = QTextCodec::codecForName("Windows-1251");
    QVERIFY(bytes.contains("CodePage=Windows-1251"));
    QCOMPARE(codec->fromUnicode(codec->toUnicode(bytes)), bytes);

    // A home of its own: the directory must not exist before the first read.
    QTemporaryDir home;
    QVERIFY(home.isValid());
    qputenv("HOME", QFile::encodeName(home.path()));
    const auto restoreHome = qScopeGuard([this] { qputenv("HOME", QFile::encodeName(m_Home.path())); });

    QTemporaryDir app;
    QVERIFY(app.isValid());
    writeFile(app.path() + "/Velmora.ini", bytes);
    const QString expected = home.path() + "/.local/share/velmora";
    QVERIFY(!QFileInfo::exists(expected));
    QCOMPARE(Settings::readLocalDbDir(app.path()), expected);
    QVERIFY(QFileInfo(expected).isDir());
    // No update location configured: update.info is looked for in the local database directory.
    QCOMPARE(Settings::readUpdateLocation(app.path(), expected).descriptorPath, expected + "/update.info");
}

// scripts/run writes Velmora.ini for the sample; the path must read back as it was written.
void TestSettings::settingsWrittenByRunScript_data()
{
    QTest::addColumn<QString>("directory");

    QTest::newRow("ASCII") << QStringLiteral("/home/ivan/velmora/build/sample");
    QTest::newRow("Cyrillic home") << QStringLiteral("/home/Иван/velmora/build/sample");
    QTest::newRow("letters Windows-1251 lacks") << QStringLiteral("/home/Åsa/Ελένη/sample");
    QTest::newRow("comma, semicolon, spaces") << QStringLiteral("/srv/a, b; c/Почта d");
    QTest::newRow("quote and backslash") << QStringLiteral("/srv/\"x\"\\y");
    QTest::newRow("equals sign and brackets") << QStringLiteral("/srv/[a]=b");
}

void TestSettings::settingsWrittenByRunScript()
{
    QFETCH(QString, directory);

    QTemporaryDir app;
    QVERIFY(app.isValid());
    const QString script = QStringLiteral(VELMORA_TESTDATA_DIR "/../../scripts/run");
    QProcess bash;
    bash.start(QStringLiteral("bash"),
        { QStringLiteral("-c"), QStringLiteral("source \"$1\" && velmora_write_settings \"$2\" \"$3\""),
            QStringLiteral("bash"), script, app.path() + "/Velmora.ini", directory });
    QVERIFY(bash.waitForFinished(-1));
    QCOMPARE(bash.exitStatus(), QProcess::NormalExit);
    QVERIFY2(bash.exitCode() == 0, bash.readAllStandardError().constData());

    QCOMPARE(Settings::readLocalDbDir(app.path()), directory);
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
    // One separator between the two, whichever side brings it.
    QTest::newRow("separator on both sides") << QByteArray("[Updater]\nUpdatePath=./\n")
                                             << QStringLiteral("./") << QStringLiteral("./update.info");
    QTest::newRow("separator on neither side")
        << QByteArray("[Updater]\nInfoFile=update.info\n") << QStringLiteral("/local")
        << QStringLiteral("/local/update.info");
    QTest::newRow("share named without a trailing slash")
        << QByteArray("[Updater]\nUpdatePath=/srv/velmora-update\nInfoFile=update.info\n")
        << QStringLiteral("/srv/velmora-update") << QStringLiteral("/srv/velmora-update/update.info");
    QTest::newRow("Windows separators")
        << QByteArray("[Updater]\nUpdatePath=/srv/update\\\\\nInfoFile=\\\\update.info\n")
        << QStringLiteral("/srv/update\\") << QStringLiteral("/srv/update/update.info");
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
        << QStringLiteral("v") << QStringLiteral("/upd/KLADR.sqlite")
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
