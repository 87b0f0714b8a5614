#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace Catraca {

// Fixed-point decimals as the binary packet form stores them: a precision
// byte (digits stored), a byte with the sign in bit 7 and the digits after
// the point in bits 0 to 5, then the digits packed two to a byte, the first
// in the high half.
namespace BcdValue {

constexpr int kStoredSize = 34;
constexpr int kMaxDigits = 64;

// Nothing for text that is not a decimal or has more than 64 digits.
std::optional<QByteArray> FromText(const QString &text);
// Nothing for bytes that are not a stored decimal.
std::optional<QString> ToText(const QByteArray &stored);

}  // namespace BcdValue

}  // namespace Catraca
