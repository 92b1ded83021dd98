#include "LoopbackHttpServer.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <thread>

QByteArray TRecordedRequest::header(const QByteArray& name) const
{
    for (const auto& [key, value] : Headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

namespace {

// The port of a socket's own end, or of its peer's.
int PortOf(int socket, bool peer)
{
    sockaddr_in address{};
    socklen_t size = sizeof(address);
    const int rc = peer ? ::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &size)
                        : ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size);
    return rc == 0 && address.sin_family == AF_INET ? ntohs(address.sin_port) : -1;
}

// The server's end of the connection from `clientPort`, among the process's own descriptors: the
// server library does not hand it out. -1 when there is none.
int ServerSocketFrom(int serverPort, int clientPort)
{
    DIR* folder = ::opendir("/proc/self/fd");
    int found = -1;
    while (dirent* entry = folder ? ::readdir(folder) : nullptr) {
        const int descriptor = std::atoi(entry->d_name);
        if (descriptor > 2 && PortOf(descriptor, false) == serverPort &&
            PortOf(descriptor, true) == clientPort)
            found = descriptor;
    }
    if (folder)
        ::closedir(folder);
    return found;
}

} // namespace

struct TLoopbackHttpServer::TImpl {
    httplib::Server Server;
    std::thread Thread;
    int Port = 0;

    mutable std::mutex Mutex;
    std::condition_variable Released;
    bool Stopping = false;
    THandler Handler;
    QList<TRecordedRequest> Requests;

    void Serve(const httplib::Request& request, httplib::Response& response)
    {
        TRecordedRequest recorded;
        recorded.Method = QByteArray::fromStdString(request.method);
        recorded.Path = QByteArray::fromStdString(request.path);
        for (const auto& [key, value] : request.headers)
            recorded.Headers.append({QByteArray::fromStdString(key), QByteArray::fromStdString(value)});
        recorded.Body = QByteArray::fromStdString(request.body);

        THandler handler;
        {
            std::lock_guard lock(Mutex);
            Requests.append(recorded);
            handler = Handler;
        }
        const TScriptedReply reply = handler ? handler(recorded) : TScriptedReply{};

        if (reply.Delay.count() != 0)
            Wait(reply.Delay);

        response.status = reply.Status;
        for (const auto& [key, value] : reply.Headers)
            response.set_header(key.toStdString(), value.toStdString());
        if (!reply.ContentType.isEmpty())
            response.set_header("Content-Type", reply.ContentType.toStdString());
        if (reply.ByteInterval.count() > 0) {
            response.set_content_provider(static_cast<size_t>(reply.Body.size()),
                                          reply.ContentType.toStdString(),
                                          [this, body = reply.Body, interval = reply.ByteInterval](
                                              size_t offset, size_t, httplib::DataSink& sink) {
                                              if (offset > 0 && Wait(interval))
                                                  return false;
                                              return sink.write(body.constData() + offset, 1);
                                          });
        } else if (reply.EndlessBody) {
            response.set_chunked_content_provider(
                reply.ContentType.toStdString(), [this, body = reply.Body](size_t, httplib::DataSink& sink) {
                    return !Wait(std::chrono::milliseconds(0)) && sink.write(body.constData(), body.size());
                });
        } else if (reply.ReadByClient) {
            response.set_header("Connection", "close");
            response.set_content_provider(
                static_cast<size_t>(reply.Body.size()), reply.ContentType.toStdString(),
                [this, body = reply.Body, read = reply.ReadByClient,
                 client = request.remote_port](size_t offset, size_t length, httplib::DataSink& sink) {
                    if (!sink.write(body.constData() + offset, length))
                        return false;
                    if (WaitForClose(ServerSocketFrom(Port, client)))
                        read();
                    return true;
                });
        } else {
            response.body = reply.Body.toStdString();
        }
    }

    // Waits until the client closes `socket`, whose request has been read; false when the server
    // stops first.
    bool WaitForClose(int socket)
    {
        pollfd watched{socket, POLLIN | POLLRDHUP, 0};
        char octet = 0;
        while (socket >= 0 && !Wait(std::chrono::milliseconds(0))) {
            if (::poll(&watched, 1, 50) > 0)
                return ::recv(socket, &octet, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
        }
        return false;
    }

    // Waits that long (a negative time: until the server stops); true when it is stopping.
    bool Wait(std::chrono::milliseconds time)
    {
        std::unique_lock lock(Mutex);
        if (time.count() < 0)
            Released.wait(lock, [this] { return Stopping; });
        else
            Released.wait_for(lock, time, [this] { return Stopping; });
        return Stopping;
    }
};

TLoopbackHttpServer::TLoopbackHttpServer() : TLoopbackHttpServer(THandler{}) {}

TLoopbackHttpServer::TLoopbackHttpServer(THandler handler) : TLoopbackHttpServer(std::move(handler), {}) {}

TLoopbackHttpServer::TLoopbackHttpServer(THandler handler, std::chrono::seconds keepAlive)
    : F(std::make_unique<TImpl>())
{
    F->Handler = std::move(handler);
    auto serve = [this](const httplib::Request& request, httplib::Response& response) {
        F->Serve(request, response);
    };
    F->Server.Get(".*", serve);
    F->Server.Post(".*", serve);
    F->Server.Put(".*", serve);
    F->Server.Delete(".*", serve);
    // An idle kept-alive connection would hold the server's stop for the whole keep-alive time;
    // clients reconnect when the server has closed it.
    F->Server.set_keep_alive_timeout(keepAlive.count());

    F->Port = F->Server.bind_to_any_port("127.0.0.1");
    if (F->Port <= 0)
        throw std::runtime_error("The loopback HTTP server cannot bind to 127.0.0.1");
    F->Thread = std::thread([this] { F->Server.listen_after_bind(); });
    while (!F->Server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TLoopbackHttpServer::~TLoopbackHttpServer()
{
    {
        std::lock_guard lock(F->Mutex);
        F->Stopping = true;
    }
    F->Released.notify_all();
    F->Server.stop();
    if (F->Thread.joinable())
        F->Thread.join();
}

void TLoopbackHttpServer::setHandler(THandler handler)
{
    std::lock_guard lock(F->Mutex);
    F->Handler = std::move(handler);
}

void TLoopbackHttpServer::setReply(const TScriptedReply& reply)
{
    setHandler([reply](const TRecordedRequest&) { return reply; });
}

int TLoopbackHttpServer::port() const
{
    return F->Port;
}

QString TLoopbackHttpServer::url(const QString& path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(F->Port).arg(path);
}

QList<TRecordedRequest> TLoopbackHttpServer::requests() const
{
    std::lock_guard lock(F->Mutex);
    return F->Requests;
}

int TLoopbackHttpServer::requestCount() const
{
    std::lock_guard lock(F->Mutex);
    return static_cast<int>(F->Requests.size());
}

int UnusedLoopbackPort()
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    if (sock < 0)
        throw std::runtime_error("socket() failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof(address);
    if (::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(sock);
        throw std::runtime_error("bind() to 127.0.0.1 failed");
    }
    ::close(sock);
    return ntohs(address.sin_port);
}

void ReplyScript::set(std::initializer_list<TScriptedReply> replies)
{
    const std::lock_guard lock(mutex_);
    replies_.assign(replies.begin(), replies.end());
}

TScriptedReply ReplyScript::next()
{
    const std::lock_guard lock(mutex_);
    if (replies_.empty())
        return TScriptedReply{};
    TScriptedReply reply = replies_.front();
    if (replies_.size() > 1)
        replies_.pop_front();
    return reply;
}
