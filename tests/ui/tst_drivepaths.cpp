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
        QTest::newRow("root") << "C:\\"
                              << "/data/c";
        QTest::newRow("input file") << "C:\\Input_data_KELDAR.TXT"
                                    << "/data/c/Input_data_KELDAR.TXT";
        QTest::newRow("lower-case drive") << "c:\\x\\y.txt"
                                          << "/data/c/x/y.txt";
        QTest::newRow("drive without separator") << "C:"
                                                 << "/data/c";
        QTest::newRow("generator") << "C:\\Keldar\\Generate.exe"
                                   << "/opt/keldar/bin/keldar-generate";
        QTest::newRow("generator any case") << "c:\\KELDAR\\generate.EXE"
                                            << "/opt/keldar/bin/keldar-generate";
        QTest::newRow("tutorial") << "C:\\KELDAR\\Tutorial_KELDAR.txt"
                                  << "/data/c/KELDAR/Tutorial_KELDAR.txt";
        QTest::newRow("other drive unchanged") << "D:\\Instances"
                                               << "D:\\Instances";
        QTest::newRow("host path unchanged") << "/home/u/x"
                                             << "/home/u/x";
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
