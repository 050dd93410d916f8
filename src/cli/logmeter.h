#pragma once
// The meter sorrel-cli log reads: opens the link of the chosen source, tells when it
// is lost, and opens it again.

#include "app/metersession.h"
#include "cli/logoptions.h"
#include "link/deviceaccess.h"
#include "link/meterlinks.h"

#include <QString>
#include <memory>

namespace sorrel::cli {

class LogMeter {
public:
    LogMeter(const LogRun &run, MeterSession &session);

    QString name() const;
    // Where the rows come from: the device path, or "demo".
    QString source() const;
    bool demoFailed();

    bool open();
    // Trying again will not help: no rights, held by another program, several bridges.
    bool hopeless() const { return failure_.failed() && !failure_.retryable(); }
    bool busy() const { return failure_.problem == DeviceProblem::Busy; }
    // The bridge link has said why already.
    void tellFailure(Notifier &notifier) const;
    bool lost();
    void close();
    // No more frames: the links go before the file is finished.
    void shutDown() { links_.reset(); }

private:
    Source source_;
    QString device_;
    std::shared_ptr<QString> located_ = std::make_shared<QString>(); // the bridge found
    std::unique_ptr<MeterLinks> links_;
    DeviceFailure failure_;
};

} // namespace sorrel::cli
