// sorrel-cli: the command-line tool over the same core as the window.

#include "cli/commands.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args.first() == u"--help" || args.first() == u"-h") {
        std::fputs(sorrel::cli::usage().toLocal8Bit().constData(), args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? 2 : 0;
    }
    if (args.first() == u"--version") {
        std::printf("sorrel-cli %s\n", SORREL_VERSION);
        return 0;
    }
    const QString command = args.takeFirst();
    for (const sorrel::cli::Command &c : sorrel::cli::commands())
        if (command == c.name)
            return c.run(args);
    std::fprintf(stderr, "sorrel-cli: unknown command '%s'; valid commands: %s\n",
                 command.toLocal8Bit().constData(),
                 sorrel::cli::commandNames().join(QStringLiteral(", ")).toLocal8Bit().constData());
    return 2;
}
