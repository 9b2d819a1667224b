// Where the time comes from; tests put in a clock of their own.
#pragma once

#include <QDateTime>

namespace morvane::operations {

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;  // local time
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

}  // namespace morvane::operations
