#include "cli/commands.h"

namespace sorrel::cli {

int runConvert(const QStringList &args); // convert.cpp
int runDecode(const QStringList &args);  // decode.cpp
int runDevices(const QStringList &args); // devices.cpp
int runLog(const QStringList &args);     // log.cpp

const QList<Command> &commands()
{
    static const QList<Command> list{{QStringLiteral("decode"), runDecode},
                                     {QStringLiteral("log"), runLog},
                                     {QStringLiteral("convert"), runConvert},
                                     {QStringLiteral("devices"), runDevices}};
    return list;
}

QStringList commandNames()
{
    QStringList names;
    for (const Command &c : commands())
        names << c.name;
    return names;
}

QString usage()
{
    return QStringLiteral("Usage: sorrel-cli COMMAND [OPTIONS]\nCommands: %1\n").arg(commandNames().join(u", "));
}

} // namespace sorrel::cli
