#pragma once

#include "ui/drivepaths.h"
#include "ui/host.h"

namespace keldar {

// The host as Qt and the operating system provide it.
class QtHost : public Host
{
public:
    explicit QtHost(DrivePaths paths);

    void messageBox(QWidget *parent, const QString &title, const QString &text) override;
    std::optional<QString> inputBox(QWidget *parent, const QString &prompt, const QString &title,
                                    const QString &proposal) override;
    QString chooseFolder(QWidget *owner, const QString &prompt) override;
    std::optional<qint64> startProgram(const QString &program, const QStringList &arguments,
                                       const QString &workingDirectory) override;
    bool isProcessRunning(qint64 pid) override;
    bool openDocument(const QString &path) override;
    bool deleteFile(const QString &path) override;
    bool setCurrentDirectory(const QString &path) override;
    const DrivePaths &drivePaths() const override { return m_paths; }
    void endProgram() override;

    // Tests that drive the real boxes use Qt's own folder dialog, which a
    // test can reach; the desktop's native one it cannot.
    void setNativeDialogs(bool native) { m_nativeDialogs = native; }

private:
    DrivePaths m_paths;
    bool m_nativeDialogs = true;
};

} // namespace keldar
