#pragma once

#include <QString>
#include <exception>
#include <string>
#include <utility>

// The general exception class: every failure of the system is an exception carrying a message
// for the operator. Each unit derives its own class from it so callers can tell them apart.
class Exception : public std::exception {
  public:
    explicit Exception(QString message) : FMessage(std::move(message)), FUtf8(FMessage.toStdString()) {}

    const QString& message() const noexcept { return FMessage; }
    void setMessage(const QString& message)
    {
        FMessage = message;
        FUtf8 = FMessage.toStdString();
    }
    const char* what() const noexcept override { return FUtf8.c_str(); }

  private:
    QString FMessage;
    std::string FUtf8;
};

// Declares an exception class of a unit that adds nothing but its type.
#define ZELVAN_DECLARE_EXCEPTION(Name, Base)                                                                 \
    class Name : public Base {                                                                               \
      public:                                                                                                \
        using Base::Base;                                                                                    \
    }

// A text that is not a number or a date.
ZELVAN_DECLARE_EXCEPTION(EConvertError, Exception);

// The silent abort: ends an operation (a cancelled dialog) without anything shown.
class EAbort : public Exception {
  public:
    EAbort() : Exception(QStringLiteral("Operation aborted")) {}
};

// The operator's text of an error: an Exception's message, the text of any other error.
QString ErrorText(const std::exception_ptr& error);
