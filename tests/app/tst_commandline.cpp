// keldar as a terminal sees it: what it refuses, and how it says so.
#include "tests/support/files.h"

#include <QProcess>
#include <QTest>

using namespace keldar::test;

class TestCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("long option") << QStringList{"--bogus"} << "unknown option '--bogus'";
        QTest::newRow("with a value") << QStringList{"--seed=7"} << "unknown option '--seed'";
        QTest::newRow("short options") << QStringList{"-vz"} << "unknown option '-vz'";
        // Answered without a display, as --version alone is.
        QTest::newRow("beside --version")
            << QStringList{"--version", "--bogus"} << "unknown option '--bogus'";
        QTest::newRow("argument") << QStringList{"extra"} << "unexpected argument 'extra'";
    }
    void refused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        // Again and again: threads begun at start may still be at work as it
        // refuses, and the program has to end cleanly all the same.
        for (int run = 0; run < 10; ++run) {
            QProcess keldar;
            keldar.start(binDir() + QStringLiteral("/keldar"), arguments);
            QVERIFY(keldar.waitForFinished(30000));
            QCOMPARE(keldar.exitStatus(), QProcess::NormalExit);
            QCOMPARE(keldar.exitCode(), 1);
            QCOMPARE(keldar.readAllStandardOutput(), QByteArray());
            // One line, the last: whatever the toolkit said before it is its own.
            const QString err = QString::fromUtf8(keldar.readAllStandardError());
            QCOMPARE(err.section(u'\n', -2),
                     QStringLiteral("keldar: %1; try --help\n").arg(message));
            QVERIFY2(!err.contains(QLatin1String("Usage")), qPrintable(err));
        }
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
