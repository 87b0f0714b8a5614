#pragma once

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace Catraca {

// Appends little-endian numbers and byte runs to a packet being written.
// A save writes several small pieces for every row, so the buffer grows by
// doubling and each piece is copied in place, without a call into the
// container per byte.
class ByteWriter {
public:
    void Unsigned(quint64 value, int size)
    {
        char *out = Grow(size);
        for (int index = 0; index < size; ++index)
            out[index] = char((value >> (8 * index)) & 0xFF);
    }
    void U8(quint8 value) { Unsigned(value, 1); }
    void U16(quint16 value) { Unsigned(value, 2); }
    void U32(quint32 value) { Unsigned(value, 4); }
    void Bytes(const QByteArray &run) { Bytes(run.constData(), run.size()); }
    void Bytes(const char *run, qsizetype count)
    {
        if (count > 0)
            std::memcpy(Grow(count), run, size_t(count));
    }
    // Overwrites a number written earlier, once its value is known.
    void PatchUnsigned(qsizetype position, quint64 value, int size)
    {
        char *out = bytes_.data() + position;
        for (int index = 0; index < size; ++index)
            out[index] = char((value >> (8 * index)) & 0xFF);
    }
    qsizetype Size() const { return size_; }
    QByteArray Result()
    {
        bytes_.resize(size_);
        return bytes_;
    }

private:
    char *Grow(qsizetype count)
    {
        if (size_ + count > bytes_.size())
            bytes_.resize(std::max<qsizetype>(size_ + count, 2 * bytes_.size() + 256));
        char *out = bytes_.data() + size_;
        size_ += count;
        return out;
    }

    QByteArray bytes_;
    qsizetype size_ = 0;
};

}  // namespace Catraca
