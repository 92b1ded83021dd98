// zelvan-sandbox: answers the client as the state systems and a time-stamp authority would, on this
// machine, until it is interrupted.
#include "sandbox/SandboxError.h"
#include "sandbox/SandboxServer.h"

#include "foundation/AtomicFileWriter.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace {

const char kUsage[] =
    "Usage: zelvan-sandbox [options]\n"
    "  --host ADDRESS       address to listen on (default 127.0.0.1)\n"
    "  --port N             port (default 8791; 0 picks a free one)\n"
    "  --settings-lines     print the settings lines that point the client at the sandbox\n"
    "  --trust CA.pem       accept only signers' certificates issued by these certificates\n"
    "                       (repeat to add more files)\n"
    "  --data FILE          charges and payment documents (default: the shipped demo data)\n"
    "  --dump DIR           keep every request and reply in DIR\n"
    "  --max-body BYTES     larger requests are refused with 413 (default 10485760)\n"
    "  --identity DIR       keep the sandbox's keys in DIR (default: new ones every run)\n"
    "  --write-ca FILE      write the sandbox's CA certificate (PEM) for a client to trust\n"
    "  --tls CERT KEY       serve https with this certificate and private key (PEM files)\n"
    "  --fault OP=KIND      answer OP (payment, status, charges, details, notification, cancellation,\n"
    "                       state or all) with KIND (soap-fault, http-error, negative, no-reply,\n"
    "                       processing or none); POST the same text to /sandbox/fault to change it\n"
    "  --version            print the version\n";

void Print(FILE* stream, const QString& text)
{
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    SandboxOptions options;
    bool settingsLines = false;
    QString writeCa;
    try {
        const QStringList arguments = application.arguments().mid(1);
        for (qsizetype i = 0; i < arguments.size(); ++i) {
            const QString& argument = arguments[i];
            const auto value = [&]() -> QString {
                if (i + 1 >= arguments.size())
                    throw ESandboxUsageError(QStringLiteral("Укажите значение %1.").arg(argument));
                return arguments[++i];
            };
            bool number = true;
            if (argument == u"--host")
                options.host = value();
            else if (argument == u"--port")
                options.port = value().toInt(&number);
            else if (argument == u"--settings-lines")
                settingsLines = true;
            else if (argument == u"--trust")
                options.trustFiles << value();
            else if (argument == u"--data")
                options.dataFile = value();
            else if (argument == u"--dump")
                options.dumpFolder = value();
            else if (argument == u"--max-body")
                options.maxBody = value().toLongLong(&number);
            else if (argument == u"--identity")
                options.identityFolder = value();
            else if (argument == u"--write-ca")
                writeCa = value();
            else if (argument == u"--tls") {
                options.tlsCertificate = value();
                options.tlsKey = value();
            } else if (argument == u"--fault")
                options.faults << value();
            else if (argument == u"--help" || argument == u"-h") {
                Print(stdout, QString::fromLatin1(kUsage));
                return 0;
            } else if (argument == u"--version") {
                Print(stdout, QStringLiteral("zelvan-sandbox %1\n").arg(QLatin1String(ZELVAN_VERSION)));
                return 0;
            } else
                throw ESandboxUsageError(QStringLiteral("Неизвестный ключ %1.").arg(argument));
            if (!number || options.port < 0 || options.port > 65535 || options.maxBody <= 0)
                throw ESandboxUsageError(argument == u"--max-body"
                                             ? QStringLiteral("--max-body: укажите число байт больше нуля.")
                                             : QStringLiteral("--port: укажите целое число от 0 до 65535."));
        }
    } catch (...) {
        Print(stderr, ErrorText(std::current_exception()) + u'\n' + QString::fromLatin1(kUsage));
        return 2;
    }

    // The server's threads inherit the blocked signals, so only this thread receives them. A shell
    // that starts the sandbox in the background ignores SIGINT for it; the sandbox still stops on it.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    try {
        SandboxServer server(options);
        if (!writeCa.isEmpty())
            WriteFileAtomically(writeCa, server.identity().caCertificatePem());
        Print(stdout, QStringLiteral("zelvan-sandbox listening on %1 (port %2)\n")
                          .arg(server.url(QStringLiteral("/")))
                          .arg(server.port()));
        if (settingsLines)
            Print(stdout, server.settingsLines().join(u'\n') + u'\n');
        int received = 0;
        sigwait(&stopSignals, &received);
        Print(stdout, QStringLiteral("zelvan-sandbox stopped\n"));
    } catch (...) {
        Print(stderr, QStringLiteral("zelvan-sandbox: %1\n").arg(ErrorText(std::current_exception())));
        return 1;
    }
    return 0;
}
