#pragma once

#include "nowplaying/runningapplications.h"

// The applications running on this computer: on Linux every process, named by its process name
// (/proc/PID/comm, at most 15 bytes) and ordered by process identifier; on macOS the workspace's
// running applications with their localized names. Stateless; callable from any thread.
class SystemRunningApplications final : public RunningApplications
{
public:
    QList<RunningApplication> list() const override;
};
