#pragma once

#include "generator/input/handshake.h"

#include "params/batchmodel.h"
#include "ui/form.h"

#include <QWidget>
#include <memory>
#include <optional>

namespace Ui {
class FrmFileGeneration;
}

namespace keldar {

// The second step of a batch: a summary of the parameters, the number of
// files and the first file number, and the generation run.  The main window
// stays hidden while it is open.
class FrmFileGeneration : public Form<QWidget>
{
    Q_OBJECT

public:
    FrmFileGeneration(Host &host, BatchModel &model);
    ~FrmFileGeneration() override;
    Q_DISABLE_COPY_MOVE(FrmFileGeneration)

    // Tells the user what the generator made of the batch: success only when
    // it will write every file requested; when some names are taken, how
    // many files will be written and why not the others; when it writes
    // none, why not, and the window stays for another try.  True when files
    // will be written.
    bool reportVerdict(const generator::BatchVerdict &verdict);

Q_SIGNALS:
    // The window has been loaded with the batch's summary; the main window
    // is to make way for it.
    void loaded();
    // "Change Settings" (or the frame's close), after this window has gone.
    void settingsChangeRequested();
    // The generator `pid` has been started on this batch.
    void batchStarted(qint64 pid);

protected:
    void buildControls() override;
    void discardControls() override;
    void Form_Load() override;
    // Closing through the frame goes back to the main window like "Change
    // Settings"; otherwise nothing visible would be left.  Not while the
    // batch is being handed to the generator.
    void closeEvent(QCloseEvent *event) override;

private:
    void cmdChangeInput_Click();
    void cmdgo_Click();

    // Shows the stored batch values in the two fields again and puts the
    // focus on the number of files, for another try.
    void showStoredBatch();
    // Writes the input-data file and starts the generator; its process id,
    // or nothing after telling the user why not.
    std::optional<qint64> writeAndStart(const QString &folder);

    std::unique_ptr<Ui::FrmFileGeneration> ui;
    BatchModel &m_model;
};

} // namespace keldar
