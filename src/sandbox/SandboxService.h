#pragma once

// The receiving side of the state systems, without the HTTP around it: checks a request as the
// gateway does, answers it from the demo data and the state of the run, and signs the answer with
// the sandbox's key. Safe to call from several threads at once.

#include "sandbox/DemoData.h"
#include "sandbox/SandboxIdentity.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <mutex>
#include <optional>

enum class SandboxOperation {
    Payment,
    PackageStatus,
    Charges,
    DocumentDetails,
    Notification,
    Cancellation,
    State
};

// The name an operation has on the command line, the control address and the log.
QString OperationName(SandboxOperation operation);
std::optional<SandboxOperation> OperationByName(const QString& name);
inline constexpr SandboxOperation AllOperations[] = {
    SandboxOperation::Payment,      SandboxOperation::PackageStatus,
    SandboxOperation::Charges,      SandboxOperation::DocumentDetails,
    SandboxOperation::Notification, SandboxOperation::Cancellation,
    SandboxOperation::State};

// What the sandbox can be told to answer instead of the real answer.
enum class SandboxFault { None, SoapFault, HttpError, NegativeResult, NoReply, Processing };
QString FaultName(SandboxFault fault);
std::optional<SandboxFault> FaultByName(const QString& name);
inline constexpr SandboxFault AllFaults[] = {SandboxFault::None,      SandboxFault::SoapFault,
                                             SandboxFault::HttpError, SandboxFault::NegativeResult,
                                             SandboxFault::NoReply,   SandboxFault::Processing};
// What a fault assignment looks like, with every name it takes, for whoever wrote another.
QString FaultUsageText();

struct SandboxReply {
    int status = 200;
    QByteArray contentType = "text/xml; charset=utf-8";
    QByteArray body;
    bool hang = false; // hold the answer back until the client gives up
    // For the log: the operation (empty when it could not be told), the verdict, identifiers.
    QString operation;
    QString verdict;
    QString identifiers;
};

class SandboxService final {
  public:
    // `trusted`: the certificates that issue the signers' certificates; empty accepts any GOST
    // certificate whose key verifies the message.
    SandboxService(DemoData data, const SandboxIdentity& identity, QByteArray trusted = {});

    // Answers a POST of `body` to the service path `path` with the SOAPAction header `soapAction`.
    SandboxReply handle(const QString& path, const QByteArray& soapAction, const QByteArray& body);

    // "OPERATION=KIND", OPERATION a name of OperationName or "all", KIND a name of FaultName;
    // the fault stays until "OPERATION=none". Raises ESandboxUsageError for anything else.
    void setFault(const QString& assignment);
    // Several assignments, all or none: one that cannot be read changes nothing.
    void setFaults(const QStringList& assignments);

    // A SOAP 1.1 fault as the gateway sends it, signed like every other answer: faultcode is the
    // SMEV error code ("SMEV-" and six digits), faultstring the reason.
    QByteArray signedFault(const QString& code, const QString& reason) const;

  private:
    struct Request;
    SandboxReply Answer(Request& request);
    SandboxReply AnswerPayment(Request& request);
    SandboxReply AnswerPackageStatus(Request& request);
    SandboxReply AnswerCharges(Request& request);
    SandboxReply AnswerDocumentDetails(Request& request);
    SandboxReply AnswerNotification(Request& request, bool cancellation);
    SandboxReply AnswerState(Request& request);
    SandboxReply Injected(Request& request, SandboxFault fault);
    QByteArray Signed(const QString& body) const;

    struct Notification {
        QString transportGuid;
        QString orderId;
        bool refused = false;
        QString refusal;
    };

    DemoData FData;
    const SandboxIdentity& FIdentity;
    QByteArray FSignerDer;
    QByteArray FTrusted;

    mutable std::mutex FMutex;
    QHash<SandboxOperation, SandboxFault> FFaults;
    QHash<QString, int> FPackageQueries;    // package identifier → status queries so far
    QHash<QString, QString> FPackageEntity; // package identifier → the payment's Id
    QHash<QString, qint64> FPaid;           // UIN → amount paid in this run
    QHash<QString, Notification> FMessages; // MessageGUID → what it acknowledged
    QSet<QString> FOrders;                  // orders notified in this run
};
