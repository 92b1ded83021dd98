#pragma once

#include "client/FieldFiles.h"
#include "client/Settings.h"
#include "foundation/CryptHelper.h"
#include "foundation/Exceptions.h"
#include "foundation/HttpClient.h"
#include "smev/SoapValues.h"
#include "values/ResultDisplay.h"
#include "values/ValuesType.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class THttpClient;
class XmlDocument;

// The exchanges the client runs; an order and its cancellation are told apart by the caller.
enum class Operation { Payment, PackageStatus, Charges, DocumentDetails, Order, Cancellation, GetState };

// An operation the operator stopped (OperationInputs::cancel). The message says whether the
// request had left and, when it had, what is known of it.
ZELVAN_DECLARE_EXCEPTION(EOperationCancelled, Exception);

// The field file an operation's values come from.
FieldFileKind OperationFieldFile(Operation operation);

// What the operator is told while an operation runs, in this order: started (the text to show at
// once), records as they are read, the identifier a reply names, finished (the result text, or
// "Ошибка." before the error goes on to the caller), then warnings and the closing information or
// question.
class OperationSink {
  public:
    virtual ~OperationSink() = default;

    virtual void started(const QString& text) = 0;
    // `lines` are "label=value" (or "path=value" where no label applies) of the record `number`.
    virtual void record(TRecordTable table, qsizetype number, const QStringList& lines) = 0;
    // The identifier of a sent message: the control that shows it (edPackage, edPackage2), where
    // the follow-up reads it from, and what the operator is told it is.
    virtual void identifier(const QString& control, const QString& caption, const QString& value) = 0;
    virtual void finished(const QString& result) = 0;
    virtual void warning(const QString& text) = 0;
    virtual void information(const QString& text) = 0;
    // The follow-up after a payment or an order: true fetches the result at once.
    virtual bool askFollowUp(const QString& question) = 0;
};

// Everything an operation runs from besides its form.
struct OperationInputs {
    ClientSettings settings;
    // Requests and replies are kept here as <name>.xml when the folder is not empty.
    QString debugFolder;
    std::function<QDateTime()> clock; // the client's clock when empty
    // The connection holder of the exchanges; kept by the caller from operation to operation.
    THttpClient* http = nullptr;
    // Set from another thread to stop the operation: nothing more is sent, and an exchange in
    // flight is given up. nullptr: the operation cannot be stopped.
    const std::atomic<bool>* cancel = nullptr;
    // The key every message of the operation is signed with, when the caller keeps one from
    // operation to operation (it must be the key of settings.container). Without it each run reads
    // the container's key once, asking for its password through `passwordProvider` (none: the
    // provider installed with SetPasswordProvider).
    std::shared_ptr<ContainerKey> key;
    TPasswordProvider passwordProvider;
    // For a program that keeps every exchange whole (the exchange folders): `posting` is told the
    // signed request just before it is posted, and raising there keeps it from leaving; `received`
    // is told the reply exactly as it came, before anything reads it.
    std::function<void(const QString& service, const QString& soapAction, const QByteArray& request)> posting;
    std::function<void(const QByteArray& reply)> received;
};

// Runs operations: begin, build, sign, exchange, debug copies, read, the charges' paging, the
// package still in processing and the follow-ups. Failures leave as exceptions after the sink has
// been told the operation finished with an error.
class OperationRunner final : public ISOAPValues {
  public:
    // The values are read from `controls` as each message is built; the sink's identifier() is
    // where a sent message's identifier must reach them for the follow-up.
    OperationRunner(OperationInputs inputs, const IControlReader& controls, OperationSink& sink);

    void run(Operation operation);
    // The order tab's send: a new order or a cancellation by the change status's position.
    void runOrder(int changeStatus);

    // The value source of the builders.
    QString GetFieldValue(const QString& name) override;
    void DisplayRecord(const XmlDocument& document, QStringList& lines) override;
    SoapRunOptions RunOptions() const override;

    // The kind of the operation in progress (or the last one).
    TValuesType valuesType() const { return valuesType_; }
    void setValuesType(TValuesType type) { valuesType_ = type; }

  private:
    struct Exchange;
    class KeyScope;

    void begin(TValuesType kind, const QString& startText);
    bool cancelled() const;
    // The certificates of the client's own containers: the one in use and every one of the store.
    QList<QByteArray> readOwnCertificates() const;
    void identify(const QString& control, const QString& caption, const QString& value);
    QString cancelledText(bool requestSent) const;
    template <class Steps> void guarded(Steps steps);
    XmlDocument exchange(const Exchange& exchange, const QString& body);
    QString debugFilePath(const QString& name) const;
    void saveDebugFile(const QString& content, const QString& name) const;
    ServerTrust serverTrust(ServerTrust::Check unchecked) const;

    void payment();
    void packageStatus();
    void charges();
    void documentDetails();
    void order(bool cancellation);
    void getState();

    OperationInputs inputs_;
    const IControlReader& controls_;
    OperationSink& sink_;
    // Held from the start of run() to its end, follow-ups included.
    std::shared_ptr<ContainerKey> key_;

    TValuesType valuesType_ = TValuesType::vtGISGMPPayment;
    QDateTime executeDateTime_;
    qint32 pageLength_ = 0;
    qint32 pageNumber_ = 0;
    qsizetype records_ = 0;
    QStringList debugFileWarnings_;
    // The trust file's certificates (PEM) as the operation in progress read it; empty without one.
    QByteArray trusted_;
    QList<QByteArray> ownCertificates_;
    // "caption: value" of the identifiers the replies of this run have named.
    QStringList identifiers_;
    // The debug copy of the request in flight, kept when the operation is stopped after sending.
    QString requestFile_;
    bool requestPosted_ = false;
};
