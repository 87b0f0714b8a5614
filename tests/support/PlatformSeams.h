#pragma once

#include "cache/base/Platform.h"

#include <QString>
#include <functional>

// What a test program puts in place of the program's own folder and of its
// file operations that never fail: PlatformSeams.cpp defines the file
// layer's two seams, so a test program that calls either function below
// links them instead of the program's definitions.
namespace Catraca::Platform {

// Sees every file operation before it is made and returns true to make it
// fail as the system would (EIO); an empty hook fails nothing.
using FaultHook = std::function<bool(FileOperation operation, const QString &path)>;
void SetFaultHookForTests(FaultHook hook);

// The folder the program takes for its own; empty: the executable's.
void SetProgramFolderForTests(const QString &folder);

}  // namespace Catraca::Platform
