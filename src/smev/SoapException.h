#pragma once

#include "foundation/Exceptions.h"

#include <QString>

// A fault of the SOAP or SMEV layer, or a negative result of the answering state system. The
// fields keep the codes and texts of the reply so that an operation can react to particular codes
// (a package still being processed, an SMEV service that is down) instead of parsing the message.
class ESOAPException final : public Exception {
  public:
    // The general form: the message as given, every field as given; the SMEV code is taken from
    // the fault string.
    static ESOAPException Create(const QString& msg, const QString& faultCode = {},
                                 const QString& faultString = {}, const QString& resultCode = {},
                                 const QString& resultDescription = {}, const QString& resultData = {});

    // A SOAP or SMEV fault: "<code> <string>".
    static ESOAPException CreateFault(const QString& faultCode, const QString& faultString);

    // A negative result of the state system: "ResultCode=<code> <description>", and on a new line
    // the result data when it holds anything but white space.
    static ESOAPException CreateResult(const QString& resultCode, const QString& resultDescription,
                                       const QString& resultData);

    const QString& FaultCode() const noexcept { return FFaultCode; }
    const QString& FaultSMEVCode() const noexcept { return FFaultSMEVCode; }
    const QString& FaultString() const noexcept { return FFaultString; }
    const QString& ResultCode() const noexcept { return FResultCode; }
    const QString& ResultDescription() const noexcept { return FResultDescription; }
    const QString& ResultData() const noexcept { return FResultData; }

  private:
    explicit ESOAPException(const QString& msg) : Exception(msg) {}

    QString FFaultCode;
    QString FFaultSMEVCode;
    QString FFaultString;
    QString FResultCode;
    QString FResultDescription;
    QString FResultData;
};
