#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

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
