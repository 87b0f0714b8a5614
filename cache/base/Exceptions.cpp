#include "cache/base/Exceptions.h"

#include <utility>

namespace Catraca {

Exception::Exception(QString message)
    : message_(std::move(message)), utf8_(message_.toUtf8())
{
}

EDBClient::EDBClient(QString message, int errorCode)
    : EDatabaseError(std::move(message)), errorCode_(errorCode)
{
}

}  // namespace Catraca
