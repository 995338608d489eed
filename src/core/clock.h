#pragma once

#include <QDateTime>

// Wall-clock time, injected wherever behaviour depends on it so tests can move it.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual qint64 nowMSecsSinceEpoch() const = 0;
};

class SystemClock final : public Clock
{
public:
    qint64 nowMSecsSinceEpoch() const override { return QDateTime::currentMSecsSinceEpoch(); }
};
