// The signature verifier reads replies before anything else does, so it meets the rawest bytes:
// whatever arrives, it answers with a list of failures, never a crash, an escaping exception or a
// read outside the message, and it never calls verified what carries no signed text or certificate.
#include "smev/SignatureVerifier.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckConsistent(const SignatureCheck& check)
{
    if (check.verified())
        Check(!check.signedC14N.isEmpty() && !check.signedInfoC14N.isEmpty() && !check.certificate.isEmpty());
    for (const QString& failure : check.failures)
        Check(!failure.isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray message(reinterpret_cast<const char*>(data), qsizetype(size));
    CheckConsistent(CheckEnvelopeSignature(message));
    CheckConsistent(CheckPaymentSignature(message));
    return 0;
}
