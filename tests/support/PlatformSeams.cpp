#include "tests/support/PlatformSeams.h"

#include "cache/base/PlatformNative.h"

#include <QCoreApplication>

namespace Catraca::Platform {

namespace {

QString &TestFolder()
{
    static QString folder;
    return folder;
}

FaultHook &CurrentFaultHook()
{
    static FaultHook hook;
    return hook;
}

}  // namespace

void SetFaultHookForTests(FaultHook hook)
{
    CurrentFaultHook() = std::move(hook);
}

void SetProgramFolderForTests(const QString &folder)
{
    TestFolder() = folder;
}

QString ProgramFolder()
{
    const QString folder = TestFolder().isEmpty() ? QCoreApplication::applicationDirPath() : TestFolder();
    return Detail::WithSeparator(folder);
}

namespace Detail {

bool FaultInjected(FileOperation operation, const QString &path)
{
    const FaultHook &hook = CurrentFaultHook();
    return hook && hook(operation, path);
}

}  // namespace Detail

}  // namespace Catraca::Platform
