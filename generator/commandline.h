#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <optional>

// keldar-generate's command line on Qt's parser: options in any order, "--"
// ending them, every option at most once, each command with the options it
// takes and its own help.
namespace keldar::generator {

// What one command takes.
struct CommandSpec {
    const char *flag;     // "--solve"; "" for a batch, "--design" for a design run
    const char *synopsis; // the usage line(s), without "Usage: "
    const char *help;     // what it does, and its options
    QStringList options;  // the valued options it takes, without "--"
    int leastOperands;
    int mostOperands;     // -1: no limit
    const char *operands; // how the help names them, for errors
};

// The command line as read: which command, its options' values and its
// operands.
struct CommandLine {
    const CommandSpec *command = nullptr;
    QStringList operands;
    bool help = false;
    bool version = false;
    std::optional<QString> value(const char *option) const;

    QStringList names;  // the options given, as the parser names them
    QStringList values; // their values, in the same order ("" for a flag)
};

// Every command, the batch first.
const QList<CommandSpec> &commands();

// The whole usage, and one command's.
QString usage();
QString commandHelp(const CommandSpec &command);

// Reads the arguments (without the program's name).  Nothing, with one line
// naming the problem and "try --help" on `err`, when they are refused.
std::optional<CommandLine> readCommandLine(const QStringList &args, QTextStream &err);

// One line on `err` naming a usage error, pointing to the command's help.
int usageError(const CommandLine &line, const QString &problem, QTextStream &err);

} // namespace keldar::generator
