#pragma once
// Every failure the program reports travels as an exception carrying the text
// the user is shown; the application's default error display puts it in a
// message box. EAbort is the silent abort: a handler unwinds with no message.

#include <QByteArray>
#include <QString>
#include <exception>

namespace tessolo {

class TessoloError : public std::exception {
public:
    explicit TessoloError(QString message)
        : m_message(std::move(message)),
          m_utf8(m_message.toUtf8())
    { }
    const QString& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// Raised by the SQLite access layer with the texts of its operations.
class ESQLiteException : public TessoloError {
public:
    using TessoloError::TessoloError;
};

// Reading a field a split line does not have, as the string list of the
// original platform reported it.
class EListIndexError : public TessoloError {
public:
    explicit EListIndexError(qsizetype index)
        : TessoloError(QStringLiteral("リストのインデックスが範囲を超えています (%1)").arg(index))
    { }
};

// A file that cannot be opened or read.
class EFileError : public TessoloError {
public:
    using TessoloError::TessoloError;
};

// The user declined, or the handler lacks its input: unwind without a message.
class EAbort : public std::exception {
public:
    const char* what() const noexcept override { return "aborted"; }
};

} // namespace tessolo
