#include "generation/module1.h"
#include "tests/support/scriptedhost.h"

#include <QTest>

using namespace keldar;
using namespace keldar::test;

class TestModule1 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void selectFolder_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("result");
        const auto row = [](const char *tag, const char *answer, const char *result) {
            QTest::newRow(tag) << QString::fromLatin1(answer) << QString::fromLatin1(result);
        };
        row("cancel", "", "");
        row("root keeps its separator", "/", "/");
        row("folder", "/srv/instances", "/srv/instances");
        row("trailing separator dropped", "/srv/instances/", "/srv/instances");
    }
    void selectFolder()
    {
        QFETCH(QString, answer);
        QFETCH(QString, result);
        test::ScriptedHost host(DrivePaths(QStringLiteral("/c"), QStringLiteral("/bin")));
        host.folderAnswers = {answer};
        QCOMPARE(Module1::SelectFolder(host, nullptr, QStringLiteral("Where?")), result);
        QCOMPARE(host.folderPrompts, QStringList{QStringLiteral("Where?")});
    }
};

QTEST_GUILESS_MAIN(TestModule1)
#include "tst_module1.moc"
