#include "tests/support/files.h"
#include "tests/support/scriptedhost.h"
#include "ui/tutorial.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

using namespace keldar;
using namespace keldar::test;

namespace {

void writeTutorial(const QString &path)
{
    QVERIFY(writeFile(path, "tutorial\n"));
}

// A drive root and an installation (bin/ beside share/) in one scratch
// folder, with a host that sees the program in bin/.
struct Layout {
    QTemporaryDir dir;
    QString drive() const { return dir.path() + QStringLiteral("/drive"); }
    QString bin() const { return dir.path() + QStringLiteral("/prefix/bin"); }
    QString onDrive() const { return drive() + QStringLiteral("/KELDAR/Tutorial_KELDAR.txt"); }
    QString installed() const
    {
        return dir.path() + QStringLiteral("/prefix/share/keldar/Tutorial_KELDAR.txt");
    }
    ScriptedHost host{DrivePaths(drive(), bin())};
};

} // namespace

class TestTutorial : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findsTheTutorial_data()
    {
        QTest::addColumn<bool>("onDrive");
        QTest::addColumn<bool>("installed");
        QTest::newRow("the copy on the program's drive wins") << true << true;
        QTest::newRow("only on the drive") << true << false;
        QTest::newRow("only installed") << false << true;
    }
    void findsTheTutorial()
    {
        QFETCH(bool, onDrive);
        QFETCH(bool, installed);
        Layout l;
        if (onDrive)
            writeTutorial(l.onDrive());
        if (installed)
            writeTutorial(l.installed());
        openTutorial(l.host, nullptr);
        QCOMPARE(l.host.documentsOpened,
                 QStringList{QDir::cleanPath(onDrive ? l.onDrive() : l.installed())});
        QVERIFY(l.host.messages.isEmpty());
    }

    void missingTutorialIsReportedByName()
    {
        Layout l;
        openTutorial(l.host, nullptr);
        QVERIFY(l.host.documentsOpened.isEmpty());
        QCOMPARE(l.host.messages.size(), 1);
        const QString text = l.host.messages.first().text;
        QVERIFY2(text.contains(QLatin1String("Tutorial_KELDAR.txt")), qPrintable(text));
        QVERIFY2(text.contains(QLatin1String("not found")), qPrintable(text));
        QVERIFY2(text.contains(QDir::toNativeSeparators(QDir::cleanPath(l.installed()))),
                 qPrintable(text));
    }

    void viewerThatWillNotStartIsReportedInARealBox()
    {
        Layout l;
        writeTutorial(l.installed());
        l.host.openSucceeds = false;
        l.host.realBoxes = true;
        QString shown;
        ModalAnswerer::answerNext([&shown](QWidget *box) {
            shown = ModalAnswerer::boxText(box);
            auto *mb = qobject_cast<QMessageBox *>(box);
            QVERIFY(mb);
            QCOMPARE(mb->icon(), QMessageBox::NoIcon);
            mb->button(QMessageBox::Ok)->click();
        });
        openTutorial(l.host, nullptr);
        QCOMPARE(l.host.documentsOpened.size(), 1);
        QVERIFY2(shown.contains(QDir::toNativeSeparators(QDir::cleanPath(l.installed()))),
                 qPrintable(shown));
        QVERIFY2(shown.contains(QLatin1String("viewer")), qPrintable(shown));
    }

    void shippedTutorialReadsInAPlainViewer()
    {
        const QString text = shippedTutorial();
        QVERIFY(!text.isEmpty());
        const QStringList lines = text.split(u'\n');
        for (int i = 0; i < lines.size(); ++i) {
            const QString &line = lines.at(i);
            QVERIFY2(line.size() <= 78, qPrintable(QStringLiteral("line %1 too long").arg(i + 1)));
            QVERIFY2(!line.contains(u'\t') && !line.endsWith(u' '),
                     qPrintable(QStringLiteral("line %1").arg(i + 1)));
            for (QChar c : line)
                QVERIFY2(c.unicode() < 128, qPrintable(QStringLiteral("line %1").arg(i + 1)));
        }
    }
};

QTEST_MAIN(TestTutorial)
#include "tst_tutorial.moc"
