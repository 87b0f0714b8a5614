#pragma once

#include "intake/LogLines.h"

#include <QStringList>

// A log that keeps its lines, for tests that read what the collector wrote.
class RecordingLog : public LogLines {
public:
    void Add(const QString &line) override { lines.append(line); }
    QStringList lines;
};
