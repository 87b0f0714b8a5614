#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace Catraca {

// The general exception class every failure of the program derives from.
// Its message is the text the error box shows, exactly as raised.
class Exception : public std::exception {
public:
    explicit Exception(QString message);
    const QString &Message() const noexcept { return message_; }
    const char *what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

// Errors the data-access layer raises about a table or its columns.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

// Errors of the packet engine: a packet it refuses or an operation it cannot do.
class EDBClient : public EDatabaseError {
public:
    EDBClient(QString message, int errorCode);
    int ErrorCode() const noexcept { return errorCode_; }

private:
    int errorCode_;
};

// A file that cannot be opened for reading.
class EFOpenError : public Exception {
public:
    using Exception::Exception;
};

// A file refused for its size before more of it is read than the limit.
class EFileTooLarge : public EFOpenError {
public:
    using EFOpenError::EFOpenError;
};

// A file that cannot be created or written.
class EFCreateError : public Exception {
public:
    using Exception::Exception;
};

// An index outside a list ("Argument out of range").
class EArgumentOutOfRangeException : public Exception {
public:
    using Exception::Exception;
};

}  // namespace Catraca
