#include "Errors.h"

Exception::Exception(const QString &message) : m_message(message), m_utf8(message.toUtf8()) {}

EConvertError EConvertError::notInteger(const QString &text)
{
    return EConvertError(QStringLiteral("'%1' は整数ではありません").arg(text));
}

EFOpenError::EFOpenError(const QString &path)
    : Exception(QStringLiteral("ファイル %1 は開けません").arg(path))
{
}

EIniFileException::EIniFileException(const QString &path)
    : Exception(QStringLiteral("%1 に書き込めません").arg(path))
{
}

EListError::EListError(int index)
    : Exception(QStringLiteral("リストのインデックスが範囲を超えています (%1)").arg(index))
{
}

EAbort::EAbort() : Exception(QString()) {}
