#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace Catraca {

// A fresh folder that stands for the program's folder (data.cds and the
// command folder XML live in it) for as long as the object lives.
class BenchFolder {
public:
    BenchFolder();
    ~BenchFolder();
    BenchFolder(const BenchFolder &) = delete;
    BenchFolder &operator=(const BenchFolder &) = delete;

    QString Path() const;  // ends in the path separator
    QString File(const QString &name) const;
    void Write(const QString &name, const QByteArray &bytes) const;

private:
    QTemporaryDir dir_;
};

}  // namespace Catraca
