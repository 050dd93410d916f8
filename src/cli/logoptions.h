#pragma once
// The options of sorrel-cli log.

#include "base/profile.h"
#include "cli/mqttoptions.h"
#include "cli/recording.h"
#include "cli/rowformat.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace sorrel::cli {

extern const char kLogUsage[];

enum class Source { Port, Bridge, Demo };

struct LogRun {
    std::optional<Source> source;
    QString device; // empty for --bridge: the first bridge found
    ModelFlags flags = ModelFlags::shipped();
    std::optional<QString> interval;
    RecordSettings record;
    std::optional<qint64> count;
    std::optional<double> duration; // seconds
    QString out;
    std::optional<OutputFormat> format;
    MqttOptions mqtt;
};

// The run the arguments ask for; a bad one throws BadOption.
LogRun parseLogArguments(const QStringList &args);

} // namespace sorrel::cli
