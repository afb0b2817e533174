#include "generation/frmfilegeneration.h"

#include "generation/batchfields.h"
#include "generation/inputdatafile.h"
#include "generation/module1.h"
#include "generator/input/handshake.h"
#include "params/fieldchecks.h"
#include "params/numbers.h"
#include "ui/drivepaths.h"
#include "ui/fieldevents.h"
#include "ui/host.h"
#include "ui_frmfilegeneration.h"

#include <QCloseEvent>
#include <QDir>

namespace keldar {

namespace {

const QString ProcessTitle = QStringLiteral("File Generation Process");
const QString FolderPrompt = QStringLiteral("Please select the folder to save the generated files");
const QString SuccessText = QStringLiteral("The requested files are successfully generated. For "
                                           "output details see the output.log file.");

// The generator leaves a file whose name is already in the folder as it is,
// so fewer files than requested are written.
QString partialBatchText(double requested, qint64 toWrite)
{
    const double taken = requested - static_cast<double>(toWrite);
    return FrmFileGeneration::tr("%1 files were requested: %2 will be written and %3 will not, "
                                 "because the folder already holds %4. For output details see "
                                 "the output.log file.")
        .arg(numbers::standardText(requested), QString::number(toWrite),
             numbers::standardText(taken),
             taken == 1 ? FrmFileGeneration::tr("a file of that name")
                        : FrmFileGeneration::tr("files of those names"));
}

} // namespace

FrmFileGeneration::FrmFileGeneration(Host &host, BatchModel &model) : Form(host), m_model(model)
{
    setWindowTitle(QStringLiteral("File Generation"));
}

FrmFileGeneration::~FrmFileGeneration() = default;

void FrmFileGeneration::buildControls()
{
    ui = std::make_unique<Ui::FrmFileGeneration>();
    ui->setupUi(this);
    setFixedSize(size());

    for (QLineEdit *field : {ui->txtNumberofFiles, ui->txtStartingSolution})
        fieldevents::onGotFocus(field, [field] { fieldevents::selectWholeText(field); });
    connect(ui->cmdChangeInput, &QPushButton::clicked, this,
            &FrmFileGeneration::cmdChangeInput_Click);
    connect(ui->cmdgo, &QPushButton::clicked, this, &FrmFileGeneration::cmdgo_Click);
}

void FrmFileGeneration::discardControls()
{
    discardChildControls(this);
    ui.reset();
}

void FrmFileGeneration::Form_Load()
{
    using numbers::standardText;
    const ParameterSet &p = m_model.parameters();
    ui->LblTCC2->setText(standardText(p.totalCoverage));
    ui->LblDCD2->setText(standardText(p.dayCoverage));
    ui->LblSCD2->setText(standardText(p.shiftCoverage));
    ui->LblPPD2->setText(standardText(p.periodPreference));
    ui->LblDPD2->setText(standardText(p.dayPreference));
    ui->LblSPD2->setText(standardText(p.shiftPreference));
    ui->LblNurses2->setText(standardText(p.nurses));
    ui->LblDays2->setText(standardText(p.days));
    ui->LblShift2->setText(standardText(p.shifts));
    ui->LblFreeShift2->setText(p.freeShiftInculuded ? QStringLiteral("Yes") : QStringLiteral("No"));

    // The next batch carries on where the last one ended.
    ui->txtStartingSolution->setText(standardText(m_model.nextFirstFile()));
    ui->txtNumberofFiles->setText(QStringLiteral("0"));
    ui->txtNumberofFiles->setFocus();

    Q_EMIT loaded();
}

void FrmFileGeneration::closeEvent(QCloseEvent *event)
{
    if (!isEnabled()) {
        // The batch is being handed to the generator; the dialog comes next.
        event->ignore();
        return;
    }
    event->accept();
    if (isLoaded())
        cmdChangeInput_Click();
}

void FrmFileGeneration::cmdChangeInput_Click()
{
    hide();
    unload();
    Q_EMIT settingsChangeRequested();
}

void FrmFileGeneration::cmdgo_Click()
{
    Host &host = this->host();

    const std::optional<double> files = generation::numberOfFiles(ui->txtNumberofFiles->text());
    if (!files) {
        host.messageBox(this, checks::InputErrorTitle, generation::NumberOfFilesMessage);
        ui->txtNumberofFiles->setFocus();
        return;
    }
    const std::optional<qint16> first =
        generation::firstFileNumber(ui->txtStartingSolution->text());
    if (!first) {
        host.messageBox(this, checks::InputErrorTitle, generation::FirstFileMessage);
        ui->txtStartingSolution->setFocus();
        return;
    }
    m_model.setBatch(*files, *first);

    const QString folder = Module1::SelectFolder(host, this, FolderPrompt);
    if (folder.isEmpty()) {
        showStoredBatch();
        return;
    }
    if (!inputdata::canCarry(folder)) {
        host.messageBox(this, checks::InputErrorTitle,
                        tr("The folder %1 cannot be passed to the generator: its name holds "
                           "characters the input-data file cannot carry.")
                            .arg(folder));
        showStoredBatch();
        return;
    }
    const std::optional<qint64> started = writeAndStart(folder);
    if (!started) {
        showStoredBatch();
        return;
    }

    // What follows may close this window; nothing here may be touched after.
    Q_EMIT batchStarted(*started);
}

bool FrmFileGeneration::reportVerdict(const generator::BatchVerdict &verdict)
{
    if (verdict.known && !verdict.accepted) {
        host().messageBox(this, ProcessTitle,
                          tr("No file was generated: %1. For output details see the output.log "
                             "file.")
                              .arg(verdict.reason));
        return false;
    }
    if (verdict.known && verdict.toWrite == 0) {
        host().messageBox(this, ProcessTitle,
                          tr("No file was generated: every file name of the batch is already "
                             "taken in the target folder. For output details see the output.log "
                             "file."));
        return false;
    }
    const double requested = m_model.parameters().numberOfFilesGenerated;
    if (verdict.known && static_cast<double>(verdict.toWrite) < requested) {
        host().messageBox(this, ProcessTitle, partialBatchText(requested, verdict.toWrite));
        return true;
    }
    host().messageBox(this, ProcessTitle, SuccessText);
    return true;
}

std::optional<qint64> FrmFileGeneration::writeAndStart(const QString &folder)
{
    Host &host = this->host();
    const DrivePaths &drive = host.drivePaths();
    const QString file = drive.map(paths::InputDataFile);
    const QString root = drive.map(paths::DriveRoot);

    // A mark left from an earlier batch would pass for this batch's.
    host.deleteFile(file + QLatin1String(generator::ReadMarkSuffix));

    const std::optional<QByteArray> bytes =
        inputdata::encode(inputdata::text(m_model.parameters(), folder));
    std::optional<QString> failure;
    if (!bytes)
        failure = tr("a value cannot be written in this system's encoding");
    else if (!drive.ensureRoot())
        failure = tr("the folder %1 cannot be created").arg(QDir::toNativeSeparators(root));
    else
        failure = inputdata::save(file, *bytes);
    if (failure) {
        host.messageBox(this, checks::InputErrorTitle,
                        tr("The file %1 could not be written: %2")
                            .arg(QDir::toNativeSeparators(file), *failure));
        return std::nullopt;
    }

    host.setCurrentDirectory(root);
    const QString generatorPath = drive.map(paths::Generator);
    const std::optional<qint64> pid = host.startProgram(generatorPath, {}, root);
    if (!pid) {
        host.deleteFile(file);
        host.messageBox(this, ProcessTitle,
                        tr("The generator %1 could not be started. No files were generated.")
                            .arg(QDir::toNativeSeparators(generatorPath)));
        return std::nullopt;
    }
    return pid;
}

void FrmFileGeneration::showStoredBatch()
{
    const ParameterSet &p = m_model.parameters();
    ui->txtNumberofFiles->setText(numbers::standardText(p.numberOfFilesGenerated));
    ui->txtStartingSolution->setText(QString::number(p.startsolution));
    ui->txtNumberofFiles->setFocus();
}

} // namespace keldar
