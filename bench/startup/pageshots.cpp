// Pictures of KELDAR for the documentation, taken from the program's own
// windows: the four pages of the main window with an example problem typed
// in, the About window, and the File Generation window and the continue
// dialog that confirming this problem leads to.  Needs no display: run it with
// QT_QPA_PLATFORM=offscreen (tools/screenshots.sh does).
//
//   keldar-pageshots OUTPUT_FOLDER

#include "app/keldar.h"
#include "app/program.h"
#include "dialogs/frmcontinueanotherform.h"
#include "dialogs/frmoutput.h"
#include "generation/frmfilegeneration.h"
#include "ui/appearance.h"
#include "ui/qthost.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTextStream>

using keldar::KELDAR;

namespace {

bool save(QWidget &window, const QString &path)
{
    QCoreApplication::processEvents();
    const bool saved = window.grab().save(path);
    QTextStream(saved ? stdout : stderr) << (saved ? "wrote " : "cannot write ") << path << '\n';
    return saved;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("KELDAR"));
    keldar::applyAppearance();
    if (argc != 2) {
        QTextStream(stderr) << "usage: keldar-pageshots OUTPUT_FOLDER\n";
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir drive; // nothing of the user's is touched
    keldar::QtHost host(keldar::DrivePaths(drive.path(), QCoreApplication::applicationDirPath()));
    keldar::Program program(host);
    program.start();
    KELDAR &main = program.keldar();

    const std::pair<const char *, const char *> example[] = {
        {"txtNurses", "20"},
        {"txtDays", "28"},
        {"txtShifts", "4"},
        {"txtShiftPreferenceDistribution", "0.5"},
        {"txtDayPrefereenceDistribution", "0.3"},
        {"txtPeriodPreferenceDistribution", "0.8"},
        {"txtTotalConstrainedness", "0.6"},
        {"txtDayCoverageDistribution", "0.2"},
        {"txtShiftCoverageDistribution", "0.4"},
    };
    for (const auto &[field, text] : example)
        main.findChild<QLineEdit *>(QLatin1String(field))->setText(QLatin1String(text));
    // As arriving on the Problem Size page by its tab does.
    main.findChild<QRadioButton *>(QStringLiteral("Optyes"))->setChecked(true);

    const std::pair<KELDAR::Page, const char *> pages[] = {
        {KELDAR::Welcome, "welcome.png"},
        {KELDAR::ProblemSize, "problem-size.png"},
        {KELDAR::Preference, "preference.png"},
        {KELDAR::Coverage, "coverage.png"},
    };
    bool ok = true;
    for (const auto &[page, file] : pages) {
        main.selectTab(page);
        main.showPage(page);
        ok = save(main, out.filePath(QLatin1String(file))) && ok;
    }

    keldar::FrmOutput &about = program.about();
    about.show();
    ok = save(about, out.filePath(QStringLiteral("about.png"))) && ok;
    about.unload();

    // Confirming the example opens the File Generation window in its place.
    main.findChild<QPushButton *>(QStringLiteral("cmdGenerate"))->click();
    keldar::FrmFileGeneration &generation = program.fileGeneration();
    if (!generation.isVisible()) {
        QTextStream(stderr) << "Confirm Input did not open the File Generation window\n";
        return 1;
    }
    ok = save(generation, out.filePath(QStringLiteral("file-generation.png"))) && ok;

    keldar::frmContinueanotherForm &next = program.continueForm();
    next.show();
    ok = save(next, out.filePath(QStringLiteral("continue.png"))) && ok;
    return ok ? 0 : 1;
}
