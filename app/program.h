#pragma once

#include <QtGlobal>
#include <memory>

namespace keldar {

class Host;
class KELDAR;
class FrmFileGeneration;
class frmContinueanotherForm;
class FrmOutput;
class FrmDistributionGrades;

// The running program: its host and its windows, one object each.  Windows
// reach each other through here, the way they name each other.
class Program
{
public:
    explicit Program(Host &host);
    ~Program();
    Q_DISABLE_COPY_MOVE(Program)

    Host &host() const { return m_host; }

    KELDAR &keldar() const { return *m_keldar; }
    FrmFileGeneration &fileGeneration() const { return *m_fileGeneration; }
    frmContinueanotherForm &continueForm() const { return *m_continueForm; }
    FrmOutput &about() const { return *m_about; }
    FrmDistributionGrades &distributionGrades() const { return *m_distributionGrades; }

    // Program start: the main window is loaded and shown.
    void start();

    // Ends the program at once (Exit, or no further batch wanted).
    void end();

    // A window has been unloaded.  Once the event in hand is dealt with, a
    // program with no window left to show ends rather than run on unseen.
    void windowUnloaded();

private:
    bool anyWindowShown() const;

    Host &m_host;
    bool m_ending = false;
    std::unique_ptr<KELDAR> m_keldar;
    std::unique_ptr<FrmFileGeneration> m_fileGeneration;
    std::unique_ptr<frmContinueanotherForm> m_continueForm;
    std::unique_ptr<FrmOutput> m_about;
    std::unique_ptr<FrmDistributionGrades> m_distributionGrades;
};

} // namespace keldar
