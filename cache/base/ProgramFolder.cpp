// The program's own answer to where it runs; alone in its file, so that a
// test program can link an answer of its own instead.
#include "cache/base/PlatformNative.h"

#include <QCoreApplication>

namespace Catraca::Platform {

QString ProgramFolder()
{
    return Detail::WithSeparator(QCoreApplication::applicationDirPath());
}

}  // namespace Catraca::Platform
