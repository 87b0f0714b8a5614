#pragma once

#include "tests/support/PlatformSeams.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace Catraca {

// The start of the reader's log text for a command file it could not read,
// spelled out here so that a change to the program's text shows.
inline const QString kReadFailure = QStringLiteral("Falha ao Tentar ler Arquivo XML formato incorreto Erro:");

// A fresh folder that the test uses as the program's folder (the folder that
// holds data.cds and XML). Removed with the object.
class ProgramFolderFixture {
public:
    ProgramFolderFixture();
    ~ProgramFolderFixture();
    QString path() const;              // ends in the path separator
    QString file(const QString &name) const;
    void write(const QString &name, const QByteArray &bytes) const;
    QByteArray read(const QString &name) const;

private:
    QTemporaryDir dir_;
};

}  // namespace Catraca
