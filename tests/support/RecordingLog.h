#pragma once

#include "intake/LogLines.h"

#include <QStringList>

namespace Catraca {

// A log that keeps its lines, for tests that read what the collector wrote.
class RecordingLog : public LogLines {
public:
    void Add(const QString &line) override { lines.append(line); }
    QStringList lines;
};

}  // namespace Catraca
