#pragma once

#include <QStringList>

// The paths a process holds open, in the order and form of `lsof -Fn -p PID` ("n" lines, without
// the "n"). An empty list when the process cannot be inspected. Never blocks indefinitely.
// Callable from any thread.
class OpenFilesLister
{
public:
    virtual ~OpenFilesLister() = default;
    virtual QStringList openPaths(qint64 processID) const = 0;
};
