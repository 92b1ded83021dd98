#pragma once

#include "client/FieldFiles.h"
#include "client/Settings.h"
#include "foundation/CryptHelper.h"
#include "foundation/Exceptions.h"
#include "foundation/HttpClient.h"
#include "foundation/TextHelper.h"
#include "journal/Exchange.h"
#include "smev/Operation.h"
#include "smev/SoapValues.h"
#include "values/ResultDisplay.h"
#include "values/ValuesType.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class Journal;
class THttpClient;
class TakenRecords;
class XmlDocument;

// An operation the operator stopped (OperationInputs::cancel). The message says whether the
// request had left and, when it had, what is known of it.
ZELVAN_DECLARE_EXCEPTION(EOperationCancelled, Exception);
// A payment or notification sent before, which the operator chose not to send again; the message
// is the question they were asked.
ZELVAN_DECLARE_EXCEPTION(ERepeatRefused, EOperationCancelled);

// A request that was built and signed but, as asked, not sent. The message names its file.
ZELVAN_DECLARE_EXCEPTION(ERequestNotSent, Exception);

// The field file an operation's values come from.
FieldFileKind OperationFieldFile(Operation operation);

// The names of the operations ("payment", "package-status", …): the command line takes them, the
// journal keeps them, the exchange folders name their subfolders by them. Both ways.
QString OperationCommandName(Operation operation);
std::optional<Operation> OperationByCommandName(const QString& name);

// The kind under which the operation's first request reads its values.
TValuesType OperationValuesType(Operation operation);

// The value keys whose element the operation's request carries even when the value is empty: what
// the state system cannot do without. Found by building the request itself (a payment without its
// signature), so that it follows the messages.
QStringList MandatoryValueKeys(Operation operation);

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
    // The repeat guard: the same payment or notification was sent before; true sends it again.
    virtual bool confirmRepeat(const QString& question) = 0;
    // The journal's identifier of the exchange about to be posted.
    virtual void journaled(qint64 /*row*/) {}
};

// Tells nothing: the sink of a runner that only reads values (a file name the values decide).
class SilentOperationSink final : public OperationSink {
  public:
    void started(const QString&) override {}
    void record(TRecordTable, qsizetype, const QStringList&) override {}
    void identifier(const QString&, const QString&, const QString&) override {}
    void finished(const QString&) override {}
    void warning(const QString&) override {}
    void information(const QString&) override {}
    bool askFollowUp(const QString&) override { return false; }
    bool confirmRepeat(const QString&) override { return false; }
};

// Everything an operation runs from besides its form; the session fills it (Session::inputs).
struct OperationInputs {
    ClientSettings settings;
    // Requests and replies are kept here as <name>.xml when the folder is not empty.
    QString debugFolder;
    std::function<QDateTime()> clock;
    // The connection holder of the exchanges and the messages' identifier source, the session's.
    THttpClient* http = nullptr;
    IdentifierSource* identifiers = nullptr;
    // Where the containers are and how a password is asked for one.
    KeyStore keys;
    // Set from another thread to stop the operation: nothing more is sent, and an exchange in
    // flight is given up. nullptr: the operation cannot be stopped.
    const std::atomic<bool>* cancel = nullptr;
    // The key every message of the operation is signed with, when the caller keeps one from
    // operation to operation (it must be the key of settings.container). Without it each run reads
    // the container's key once, asking for its password through the key store's source.
    std::shared_ptr<ContainerKey> key;
    // Where every exchange is recorded before it is posted; nullptr records nothing. When the
    // session's journal could not be opened, why: then nothing is sent.
    Journal* journal = nullptr;
    QString journalError;
    // The first request is built, signed and written to debugFolder, then the operation ends with
    // ERequestNotSent; nothing at all is sent, so a payment is not time-stamped either.
    bool dryRun = false;
    // The run the exchanges are recorded under in the journal, when the caller must find them again
    // (the exchange folders: a file's name and content hash); empty: a new one for each run.
    QString runId;
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

    // The value provider's kind follows from the operation.
    void begin(Operation operation, const QString& startText);
    bool cancelled() const;
    // The certificates of the client's own containers: the one in use and every one of the store.
    QList<QByteArray> readOwnCertificates() const;
    void identify(const QString& control, const QString& caption, const QString& value);
    QString cancelledText(bool requestSent) const;
    template <class Steps> void guarded(Steps steps);
    // Records `taken`, when given, are taken out of the reply as it is read.
    XmlDocument exchange(const Exchange& exchange, const QString& body, TakenRecords* taken = nullptr);
    // The journal's row of the exchange in flight and what it will be completed with.
    void beginRow(const Exchange& exchange, const QByteArray& envelope);
    void completeRow(const std::exception_ptr& error);
    ExchangeIdentifiers formIdentifiers();
    // Asks before a payment or notification the journal has seen go out is sent again.
    void guardRepeat(const ExchangeIdentifiers& identifiers);
    // Asks whether to send again what `earlier` sent; raises ERepeatRefused when the answer is no.
    void confirmRepeat(const ExchangeIdentifiers& identifiers, const RepeatedExchange& earlier);
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
    // The earlier exchange the operator agreed to send again, which the guard then lets pass.
    std::optional<qint64> acknowledgedRepeat_;
    // "caption: value" of the identifiers the replies of this run have named.
    QStringList identifiers_;
    // The debug copy of the request in flight, kept when the operation is stopped after sending.
    QString requestFile_;
    bool requestPosted_ = false;
    // The operation in progress and the identifier of this run's exchanges.
    Operation operation_ = Operation::Payment;
    QString runId_;
    std::optional<qint64> row_;
    ExchangeEnd rowEnd_;
};
