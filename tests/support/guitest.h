#pragma once

#include "app/keldar.h"
#include "app/program.h"
#include "dialogs/frmcontinueanotherform.h"
#include "generation/frmfilegeneration.h"
#include "tests/support/examplebatch.h"
#include "tests/support/files.h"
#include "tests/support/scriptedhost.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace keldar::test {

// The main window's nine entry boxes, in the order Confirm Input checks them.
inline const char *const MainWindowFields[] = {"txtNurses",
                                               "txtDays",
                                               "txtShifts",
                                               "txtPeriodPreferenceDistribution",
                                               "txtDayPrefereenceDistribution",
                                               "txtShiftPreferenceDistribution",
                                               "txtTotalConstrainedness",
                                               "txtDayCoverageDistribution",
                                               "txtShiftCoverageDistribution"};

// Design geometry is in twips; at 96 dpi 15 of them make a pixel.
inline int px(int twips)
{
    return (twips + 7) / 15;
}

inline QRect twips(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

// A click as the platform delivers it: through the window, so the program
// sees it before Qt moves the focus.
void click(QWidget *widget, QPoint pos = {});

// A click on a tab of the main window's tab strip, numbered from 1.
void clickTab(KELDAR &w, int index);

// Where no window manager runs, nothing activates a window as it opens or
// as a box over it closes; this does what one would, once the window shows.
// Whether it is active then.
[[nodiscard]] bool activate(QWidget *window);

// The object name of the focus widget, "" when there is none.
QString focused();

// A fresh program over a scripted host and a temporary drive for one test.
// "C:\" is the folder `rootName` below the drive (the drive itself when
// empty, otherwise made when first written); the generator is looked for in
// `programDir`.
struct Fixture {
    explicit Fixture(const QString &programDir = binDir(), const QString &rootName = {});
    ~Fixture();
    Q_DISABLE_COPY_MOVE(Fixture)

    QTemporaryDir drive;
    ScriptedHost host;
    std::unique_ptr<Program> program;

    KELDAR &main() { return program->keldar(); }
    FrmFileGeneration &window() { return program->fileGeneration(); }
    frmContinueanotherForm &dialog() { return program->continueForm(); }
    ParameterSet &parameters() { return program->model().parameters(); }
    QString root() const { return host.drivePaths().root(); }
    QString inputFile() const { return host.drivePaths().map(paths::InputDataFile); }
    QString mark() const { return inputFile() + QStringLiteral(".read"); }

    template <class T = QWidget> T *child(QWidget *window, const char *name)
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    QLineEdit *field(const char *name) { return child<QLineEdit>(&main(), name); }
    QLineEdit *files() { return child<QLineEdit>(&window(), "txtNumberofFiles"); }
    QLineEdit *first() { return child<QLineEdit>(&window(), "txtStartingSolution"); }
    // A click on a button of a window, by its name.
    void click(QWidget *window, const char *button);

    // Starts the program and waits until the main window is shown and active.
    void start();

    // The program as "Confirm Input" leaves it: the batch stored, the File
    // Generation window opened.
    void open(const ParameterSet &batch = exampleBatch());

    // Types the two batch fields and clicks "Generate Input Files", with
    // `folder` as the chooser's answer.
    void generate(const QString &count, const QString &firstFile, const QString &folder);

    // A complete batch up to the continue dialog.
    void finishBatch(const QString &folder);
};

} // namespace keldar::test
