// The program's own answer to whether a file operation is to fail before it
// reaches the system: never. Alone in its file, so that a test program can
// link an answer of its own instead.
#include "cache/base/PlatformNative.h"

namespace Catraca::Platform::Detail {

bool FaultInjected(FileOperation, const QString &)
{
    return false;
}

}  // namespace Catraca::Platform::Detail
