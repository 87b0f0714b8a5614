#pragma once

#include "cache/packet/Packet.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

namespace Catraca {

// What every packet target does with one input: decode it, and when it
// decodes, use it the way the program would and check that what we write we
// can read back. The table's error classes are the only acceptable failures;
// anything else escapes and the fuzzer reports it.
namespace FuzzSupport {

QByteArray Bytes(const uint8_t *data, size_t size);

// Decodes; returns false when the packet was refused with a table error.
bool DecodeRefusingCleanly(const QByteArray &bytes, Packet &packet);

// Opens a table with packet-made columns on the packet, reads every cell of
// every row as text, then loads the packet into the release cache (declared
// columns, which may refuse it). Aborts when our own re-encoding of the
// packet does not read back to the same bytes.
void Exercise(const Packet &packet);

// Stops the process with a message the fuzzer shows with the crash.
[[noreturn]] void Fail(const char *what, const QString &detail = {});

}  // namespace FuzzSupport

}  // namespace Catraca
