#pragma once

#include <QByteArray>
#include <QString>

namespace Catraca {

// The folder beside the command folder where command files the intake could
// not take are kept whole for the operator, each under its own name after
// the moment it was refused, so nothing that was not applied is ever lost.
class RefusedFolder {
public:
    // commandFolder is the command folder's path without a trailing separator.
    explicit RefusedFolder(const QString &commandFolder);

    QString Path() const { return path_; }
    // Moves the file here; the new path, or an empty text when it could not.
    QString SetAside(const QString &file, const QString &name) const;
    // Keeps a durable copy of these bytes; the copy's path, or an empty text
    // when it could not be written.
    QString KeepCopy(const QByteArray &content, const QString &name) const;

private:
    QString FreshPathFor(const QString &name) const;

    QString path_;
};

}  // namespace Catraca
