#include "TestTimeStampAuthority.h"

#include "TestKeys.h"
#include "foundation/GostOpenSsl.h"
#include "sandbox/TimeStampAuthority.h"

#include <stdexcept>

namespace {

std::unique_ptr<TimeStampAuthority> AuthorityOfContainer(TestKeyStore& store, const QString& containerName)
{
    TestKeyOptions options;
    options.commonName = QStringLiteral("Test time-stamp authority");
    options.timeStamping = true;
    X509Ptr certificate = ReadCertificate(store.addContainer(containerName, options));

    EvpPkeyPtr key = store.privateKey(containerName);
    if (!certificate || !key)
        throw std::runtime_error("cannot read the time-stamp authority's key and certificate\n" +
                                 TakeOpenSslErrors().toStdString());
    return std::make_unique<TimeStampAuthority>(std::move(certificate), std::move(key));
}

} // namespace

struct TTestTimeStampAuthority::TImpl {
    std::unique_ptr<TimeStampAuthority> Authority;
};

TTestTimeStampAuthority::TTestTimeStampAuthority(TestKeyStore& store, const QString& containerName)
    : F(std::make_unique<TImpl>())
{
    F->Authority = AuthorityOfContainer(store, containerName);
}

TTestTimeStampAuthority::~TTestTimeStampAuthority() = default;

QByteArray TTestTimeStampAuthority::certificate() const
{
    return F->Authority->certificate();
}

void TTestTimeStampAuthority::setAcceptGost94(bool accept)
{
    F->Authority->setAcceptGost94(accept);
}

QByteArray TTestTimeStampAuthority::respond(const QByteArray& request) const
{
    return F->Authority->respond(request);
}

TTestTimeStampServer::TTestTimeStampServer(TestKeyStore& store) : FAuthority(store)
{
    FServer.setHandler([this](const TRecordedRequest& request) {
        TScriptedReply reply;
        reply.ContentType = "application/timestamp-reply";
        reply.Body = FAuthority.respond(request.Body);
        return reply;
    });
}
