#pragma once
#include <QStringList>
#include <functional>

namespace sorrel::cli {

struct Command {
    QString name;
    std::function<int(const QStringList &args)> run; // exit status: 0 ok, 2 bad input
};

// Each command lives in its own file (decode.cpp, log.cpp) and is listed in commands.cpp.
const QList<Command> &commands();
QStringList commandNames();
QString usage();

} // namespace sorrel::cli
