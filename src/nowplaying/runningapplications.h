#pragma once

#include <QList>
#include <QString>

// One running application as the desktop reports it. On Linux the name is the process name and
// there is no bundle identifier.
struct RunningApplication
{
    qint64 processID = 0;
    QString name;
    QString bundleIdentifier;
};

// The running applications, in the order the system gives them. Callable from any thread.
class RunningApplications
{
public:
    virtual ~RunningApplications() = default;
    virtual QList<RunningApplication> list() const = 0;
};
