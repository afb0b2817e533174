#pragma once

#include "params/batchmodel.h"

#include <QObject>
#include <QtGlobal>
#include <memory>

namespace keldar {

class Host;
class KELDAR;
class FrmFileGeneration;
class frmContinueanotherForm;
class FrmOutput;
class FrmDistributionGrades;

// The running program: its host, its batch model and its windows, one object
// each, and the one place that knows their sequence.  Windows only say what
// happened; each transition below decides what comes next.
class Program
{
public:
    explicit Program(Host &host);
    ~Program();
    Q_DISABLE_COPY_MOVE(Program)

    Host &host() const { return m_host; }
    BatchModel &model() { return m_model; }

    KELDAR &keldar() const { return *m_keldar; }
    FrmFileGeneration &fileGeneration() const { return *m_fileGeneration; }
    frmContinueanotherForm &continueForm() const { return *m_continueForm; }
    FrmOutput &about() const { return *m_about; }
    FrmDistributionGrades &distributionGrades() const { return *m_distributionGrades; }

    // How long the program waits for the generator to take its input.
    void setReadTimeout(int ms) { m_readTimeoutMs = ms; }

    // Program start: the main window is loaded and shown.
    void start();

    // The transitions of one batch, in their order.
    // "Confirm Input": the File Generation window opens, the main window hides.
    void confirmInput();
    // "Change Settings": back to the main window's Problem Size page.
    void changeSettings();
    // The generator runs: the continue dialog opens once it has taken its
    // input (or after a bounded wait, so the file is not deleted unread).
    // The windows stay live meanwhile, under a busy cursor, the File
    // Generation window disabled.
    void batchStarted(qint64 pid);
    // The continue dialog is loaded: the File Generation window closes.
    void batchFinished();
    // "Yes": a fresh main window; the batch model keeps what carries over.
    void continueBatch();
    // Help > About.
    void showAbout();

    // Ends the program at once (Exit, or no further batch wanted).
    void end();

    // A window has been unloaded.  Once the event in hand is dealt with, a
    // program with no window left to show ends rather than run on unseen.
    void windowUnloaded();

private:
    void makeMainWindow();
    bool anyWindowShown() const;

    Host &m_host;
    BatchModel m_model;
    bool m_ending = false;
    int m_readTimeoutMs;
    // Context of the program's own deferred calls; outlives every window.
    QObject m_context;
    std::unique_ptr<KELDAR> m_keldar;
    std::unique_ptr<FrmFileGeneration> m_fileGeneration;
    std::unique_ptr<frmContinueanotherForm> m_continueForm;
    std::unique_ptr<FrmOutput> m_about;
    std::unique_ptr<FrmDistributionGrades> m_distributionGrades;
};

} // namespace keldar
