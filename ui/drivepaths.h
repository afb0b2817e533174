#pragma once

#include <QString>

namespace keldar {

// The program's fixed drive paths ("C:\...") and where they live on this host.
// On Windows they stay as written; elsewhere "C:\" is one folder: the
// directory named by $KELDAR_DRIVE_C (a relative name counts from the
// directory the program starts in), or a per-user data folder.  The
// generator is keldar-generate beside the keldar executable.
class DrivePaths
{
public:
    DrivePaths(QString driveRoot, QString programDir);

    // The mapping for the running program: environment, user data folder and
    // the directory of the executable.
    static DrivePaths forThisHost();

    // The folder standing for "C:\" (no trailing separator unless it is "/").
    QString root() const { return m_root; }
    QString programDir() const { return m_programDir; }

    // A drive path as a path on this host.  "C:\Keldar\Generate.exe" becomes
    // the generator executable; other paths below "C:\" are placed below the
    // root with "/" separators.  Paths on other drives are returned unchanged.
    QString map(const QString &drivePath) const;

    // Creates the root folder when missing; false when it cannot be made.
    bool ensureRoot() const;

private:
    QString m_root;
    QString m_programDir;
};

// The drive paths the program uses.
namespace paths {
inline const QString DriveRoot = QStringLiteral("C:\\");
inline const QString InputDataFile = QStringLiteral("C:\\Input_data_KELDAR.TXT");
inline const QString Generator = QStringLiteral("C:\\Keldar\\Generate.exe");
inline const QString Tutorial = QStringLiteral("C:\\KELDAR\\Tutorial_KELDAR.txt");
} // namespace paths

} // namespace keldar
