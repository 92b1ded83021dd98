#include "smev/SoapException.h"

namespace {

// SMEV puts its own six-digit code in front of the fault text ("SMEV-100003: Service not
// available"); anything else carries no SMEV code.
QString SmevCodeOf(const QString& faultString)
{
    constexpr qsizetype prefixLength = 5;
    constexpr qsizetype codeLength = 6;
    if (faultString.size() < prefixLength + codeLength + 1)
        return {};
    if (!faultString.startsWith(QLatin1String("SMEV-"), Qt::CaseInsensitive))
        return {};
    if (faultString.at(prefixLength + codeLength) != QLatin1Char(':'))
        return {};
    return faultString.mid(prefixLength, codeLength);
}

} // namespace

ESOAPException ESOAPException::Create(const QString& msg, const QString& faultCode,
                                      const QString& faultString, const QString& resultCode,
                                      const QString& resultDescription, const QString& resultData)
{
    ESOAPException e(msg);
    e.FFaultCode = faultCode;
    e.FFaultSMEVCode = SmevCodeOf(faultString);
    e.FFaultString = faultString;
    e.FResultCode = resultCode;
    e.FResultDescription = resultDescription;
    e.FResultData = resultData;
    return e;
}

ESOAPException ESOAPException::CreateFault(const QString& faultCode, const QString& faultString)
{
    ESOAPException e(faultCode + QLatin1Char(' ') + faultString);
    e.FFaultCode = faultCode;
    e.FFaultSMEVCode = SmevCodeOf(faultString);
    e.FFaultString = faultString;
    return e;
}

ESOAPException ESOAPException::CreateResult(const QString& resultCode, const QString& resultDescription,
                                            const QString& resultData)
{
    QString msg = QLatin1String("ResultCode=") + resultCode + QLatin1Char(' ') + resultDescription;
    const QString data = resultData.trimmed();
    if (!data.isEmpty())
        msg += QLatin1String("\r\n") + data;
    ESOAPException e(msg);
    e.FResultCode = resultCode;
    e.FResultDescription = resultDescription;
    e.FResultData = resultData;
    return e;
}
