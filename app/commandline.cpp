#include "app/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace keldar::commandline {

bool asksForTextOnly(int argc, const char *const *argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"-h", "-?", "--help", "--help-all", "-v", "--version"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    }
    return false;
}

namespace {

int refuse(const QString &what)
{
    std::fprintf(stderr, "%s: %s; try --help\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(what));
    return EXIT_FAILURE;
}

// The argument that carries the option `name`, as it was typed ("--seed"
// for "--seed=7", "-vz" for the z in it), so the user finds it on the line.
QString typedAs(const QStringList &arguments, const QString &name)
{
    for (const QString &argument : arguments.mid(1)) {
        if (argument == QLatin1String("--"))
            break;
        if (argument.startsWith(QLatin1String("--"))) {
            const QString option = argument.section(u'=', 0, 0);
            if (option.mid(2) == name)
                return option;
        } else if (argument.startsWith(u'-') && argument.mid(1).contains(name)) {
            return argument;
        }
    }
    return QLatin1String(name.size() == 1 ? "-" : "--") + name;
}

} // namespace

int process(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prepares batches of nurse-rostering problem instances with controlled complexity\n"
        "and hands each batch to keldar-generate.  See keldar(1)."));
    parser.addHelpOption();
    parser.addVersionOption();
    // Refused here rather than by process(), which says too little to act on.
    const QStringList arguments = QCoreApplication::arguments();
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        return refuse(unknown.isEmpty() ? parser.errorText()
                                        : QStringLiteral("unknown option '%1'")
                                              .arg(typedAs(arguments, unknown.constFirst())));
    }
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("unexpected argument '%1'")
                          .arg(parser.positionalArguments().constFirst()));
    return 0;
}

} // namespace keldar::commandline
