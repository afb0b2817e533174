#include "ui/drivepaths.h"

#include <QDir>
#include <QTest>

using keldar::DrivePaths;

class TestDrivePaths : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void map_data()
    {
        QTest::addColumn<QString>("drivePath");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *tag, const char *drivePath, const char *expected) {
            QTest::newRow(tag) << QString::fromLatin1(drivePath) << QString::fromLatin1(expected);
        };
        row("root", "C:\\", "/data/c");
        row("input file", "C:\\Input_data_KELDAR.TXT", "/data/c/Input_data_KELDAR.TXT");
        row("lower-case drive", "c:\\x\\y.txt", "/data/c/x/y.txt");
        row("drive without separator", "C:", "/data/c");
        row("generator", "C:\\Keldar\\Generate.exe", "/opt/keldar/bin/keldar-generate");
        row("generator any case", "c:\\KELDAR\\generate.EXE", "/opt/keldar/bin/keldar-generate");
        row("tutorial", "C:\\KELDAR\\Tutorial_KELDAR.txt", "/data/c/KELDAR/Tutorial_KELDAR.txt");
        row("other drive unchanged", "D:\\Instances", "D:\\Instances");
        row("host path unchanged", "/home/u/x", "/home/u/x");
    }
    void map()
    {
        QFETCH(QString, drivePath);
        QFETCH(QString, expected);
        DrivePaths paths(QStringLiteral("/data/c/"), QStringLiteral("/opt/keldar/bin"));
        QCOMPARE(paths.map(drivePath), QDir::cleanPath(expected));
    }

    void environmentNamesTheRoot()
    {
        qputenv("KELDAR_DRIVE_C", "/tmp/some/where");
        QCOMPARE(DrivePaths::forThisHost().root(), QStringLiteral("/tmp/some/where"));
        qputenv("KELDAR_DRIVE_C", "some/where");
        QCOMPARE(DrivePaths::forThisHost().root(), QDir::current().filePath("some/where"));
        qunsetenv("KELDAR_DRIVE_C");
        QVERIFY(DrivePaths::forThisHost().root().endsWith(QStringLiteral("/keldar")));
    }
};

QTEST_GUILESS_MAIN(TestDrivePaths)
#include "tst_drivepaths.moc"
