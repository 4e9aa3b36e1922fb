#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// The program's failures. Each carries the text the user sees in the error box.
class Exception : public std::exception
{
public:
    explicit Exception(const QString &message);
    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A text that should have been an integer.
class EConvertError : public Exception
{
public:
    using Exception::Exception;
    static EConvertError notInteger(const QString &text);
};

// A file that could not be opened.
class EFOpenError : public Exception
{
public:
    explicit EFOpenError(const QString &path);
};

// A refused write to a settings file.
class EIniFileException : public Exception
{
public:
    explicit EIniFileException(const QString &path);
};

// An index outside a list.
class EListError : public Exception
{
public:
    explicit EListError(int index);
};

// Stops an operation without a message.
class EAbort : public Exception
{
public:
    EAbort();
};
