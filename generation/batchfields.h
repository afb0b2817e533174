#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// The two batch fields of the File Generation window.
namespace keldar::generation {

inline const QString NumberOfFilesMessage =
    QStringLiteral("Please input a positive integer value for the number of files to be generated");
inline const QString FirstFileMessage = QStringLiteral(
    "Please input a positive integer value for the file number you want to start with");

// The number of files a text asks for: its leading number, when the text is
// not empty and that number is whole and above 0.
std::optional<double> numberOfFiles(const QString &text);

// The first file number: the same tests, and it must fit startsolution
// (at most 32767).
std::optional<qint16> firstFileNumber(const QString &text);

} // namespace keldar::generation
