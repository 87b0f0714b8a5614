#pragma once

#include <QByteArray>

// Appends little-endian numbers and byte runs to a packet being written.
class ByteWriter {
public:
    void Unsigned(quint64 value, int size)
    {
        for (int index = 0; index < size; ++index)
            bytes_.append(char((value >> (8 * index)) & 0xFF));
    }
    void U8(quint8 value) { Unsigned(value, 1); }
    void U16(quint16 value) { Unsigned(value, 2); }
    void U32(quint32 value) { Unsigned(value, 4); }
    void Bytes(const QByteArray &run) { bytes_.append(run); }
    // Overwrites a number written earlier, once its value is known.
    void PatchUnsigned(qsizetype position, quint64 value, int size)
    {
        for (int index = 0; index < size; ++index)
            bytes_[position + index] = char((value >> (8 * index)) & 0xFF);
    }
    qsizetype Size() const { return bytes_.size(); }
    const QByteArray &Result() const { return bytes_; }

private:
    QByteArray bytes_;
};
