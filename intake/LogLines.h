#pragma once

#include <QString>

namespace Catraca {

// Where the collector appends its log lines: the window hands it its log memo.
class LogLines {
public:
    virtual ~LogLines() = default;
    virtual void Add(const QString &line) = 0;
};

}  // namespace Catraca
