#include "dialogs/frmdistributiongrades.h"
#include "tests/support/guitest.h"

#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

using namespace keldar;
using namespace keldar::test;

namespace {

// The hierarchy-levels window loaded (as nothing in the program does) and
// shown, ready to be looked at.
FrmDistributionGrades &openGrades(Fixture &f)
{
    FrmDistributionGrades &w = f.program->distributionGrades();
    w.show();
    return w;
}

} // namespace

class TestFrmDistributionGrades : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void levels_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QRect>("labelRect");
        QTest::addColumn<QString>("box");
        // Row r at top 960 + 360 (r - 1); odd levels on the left, even on the
        // right; boxes run down the left column and then down the right.
        struct Row {
            int level;
            const char *label;
            int width, height;
            const char *box;
        };
        const Row rows[] = {
            {1, "lblHL1", 2055, 255, "Text1"},    {2, "lblHL2", 2055, 255, "Text11"},
            {3, "lblHL3", 2055, 375, "Text2"},    {4, "lblHL4", 2055, 255, "Text12"},
            {5, "lblHL5", 2175, 375, "Text3"},    {6, "lblHL6", 2055, 375, "Text13"},
            {7, "lblHL7", 2055, 375, "Text4"},    {8, "lblHL8", 1935, 375, "Text14"},
            {9, "lblHL9", 1815, 375, "Text5"},    {10, "lblHL10", 2055, 255, "Text15"},
            {11, "lblHL11", 1815, 375, "Text6"},  {12, "lblHL12", 1695, 375, "Text16"},
            {13, "lblHL13", 1815, 375, "Text7"},  {14, "lblHl14", 1575, 375, "Text17"},
            {15, "lblHL15", 1575, 375, "Text8"},  {16, "lblHL16", 1695, 375, "Text18"},
            {17, "lblHL17", 1695, 375, "Text9"},  {18, "lblHL18", 1935, 255, "Text19"},
            {19, "lblHL19", 1575, 255, "Text10"}, {20, "lblHL20", 1815, 255, "Text20"},
        };
        for (const Row &r : rows) {
            const int top = 960 + 360 * ((r.level + 1) / 2 - 1);
            const int left = r.level % 2 == 1 ? 120 : 3240;
            QTest::addRow("level %d", r.level)
                << r.level << QString::fromLatin1(r.label) << twips(left, top, r.width, r.height)
                << QString::fromLatin1(r.box);
        }
    }
    void levels()
    {
        QFETCH(int, level);
        QFETCH(QString, label);
        QFETCH(QRect, labelRect);
        QFETCH(QString, box);
        Fixture f;
        FrmDistributionGrades &w = openGrades(f);
        auto *frame = f.child<QGroupBox>(&w, "Frame1");
        auto *l = frame->findChild<QLabel *>(label, Qt::FindDirectChildrenOnly);
        auto *b = frame->findChild<QLineEdit *>(box, Qt::FindDirectChildrenOnly);
        QVERIFY2(l, qPrintable(label));
        QVERIFY2(b, qPrintable(box));
        const QString caption = QStringLiteral("Hierarchy Level %1").arg(level);
        QCOMPARE(l->text(), caption);
        QCOMPARE(l->geometry(), labelRect);
        QVERIFY(l->fontMetrics().horizontalAdvance(caption) <= l->width());

        // The box stands beside its label, on the same line, in its column.
        const int boxLeft = level % 2 == 1 ? 2400 : 5520;
        QCOMPARE(b->geometry(), twips(boxLeft, 960 + 360 * ((level + 1) / 2 - 1), 495, 285));
        QCOMPARE(b->text(), QString());
        QCOMPARE(b->maxLength(), QLineEdit().maxLength()); // no limit of its own
        QVERIFY(b->isVisible());
        QVERIFY(b->isEnabled());
        QCOMPARE(b->accessibleName(), caption);
    }

    void windowFrameAndButtons()
    {
        Fixture f;
        FrmDistributionGrades &w = openGrades(f);
        QCOMPARE(w.windowTitle(), QStringLiteral("Distribution Hierarchy Levels"));
        QCOMPARE(w.size(), QSize(px(6555), px(5520)));
        QCOMPARE(f.child<QGroupBox>(&w, "Frame1")->geometry(), twips(120, 120, 6375, 4575));
        QCOMPARE(f.child<QGroupBox>(&w, "Frame1")->title(), QString());
        auto *intro = f.child<QLabel>(&w, "Label1");
        QCOMPARE(intro->text(), QStringLiteral("Enter the percentage of the number of nurses for "
                                               "each hierarchy level the nurses are distributed "
                                               "over"));
        QCOMPARE(intro->geometry(), twips(120, 240, 6135, 495));
        QVERIFY(intro->wordWrap());
        QCOMPARE(w.findChildren<QLineEdit *>().size(), 20);

        auto *ok = f.child<QPushButton>(&w, "cmdDistributionGrades");
        auto *cancel = f.child<QPushButton>(&w, "cmdCancelDistributionGrades");
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
        QCOMPARE(ok->geometry(), twips(1440, 4920, 1215, 495));
        QCOMPARE(cancel->geometry(), twips(3840, 4920, 1215, 495));
        for (QPushButton *b : {ok, cancel}) {
            QVERIFY(!b->isDefault());
            QVERIFY(!b->autoDefault());
            QVERIFY(b->font().pointSizeF() > QApplication::font().pointSizeF());
        }
    }

    void nothingInTheProgramOpensIt()
    {
        Fixture f;
        f.start();
        for (QAction *a : f.main().findChildren<QAction *>()) {
            if (a->objectName() == QLatin1String("mnuExit") || a->menu())
                continue;
            if (a->objectName() == QLatin1String("mnuSeed"))
                f.host.inputAnswers.append(QStringLiteral("100"));
            a->trigger();
        }
        QVERIFY(!f.program->distributionGrades().isLoaded());
        QVERIFY(!f.program->distributionGrades().isVisible());
    }

    void buttonsAndBoxesDoNothing()
    {
        Fixture f;
        f.start();
        const ParameterSet before = f.main().parameters();
        FrmDistributionGrades &w = openGrades(f);
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::keyClicks(f.child<QLineEdit>(&w, "Text1"), "150");
        QTest::keyClicks(f.child<QLineEdit>(&w, "Text20"), "abc");
        QTest::mouseClick(f.child<QPushButton>(&w, "cmdDistributionGrades"), Qt::LeftButton);
        QTest::mouseClick(f.child<QPushButton>(&w, "cmdCancelDistributionGrades"), Qt::LeftButton);

        QVERIFY(w.isVisible());
        QCOMPARE(f.child<QLineEdit>(&w, "Text1")->text(), QStringLiteral("150"));
        QCOMPARE(f.child<QLineEdit>(&w, "Text20")->text(), QStringLiteral("abc"));
        QVERIFY(f.host.messages.isEmpty());
        QVERIFY(f.host.starts.isEmpty());
        QCOMPARE(f.main().parameters().seed, before.seed);
        QCOMPARE(f.main().parameters().nurses, before.nurses);
        QVERIFY(f.main().isVisible());
    }
};

QTEST_MAIN(TestFrmDistributionGrades)
#include "tst_frmdistributiongrades.moc"
