#include "support/HttpServer.h"

#include <algorithm>

#include "hands/Wait.h"

namespace {

// A reset throws away what is still unsent; this gives loopback time to deliver the cut body first.
const DWORD kBeforeResetMs = 150;

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool Readable(SOCKET s, DWORD ms)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv = {0, long(ms) * 1000};
    return select(0, &set, nullptr, nullptr, &tv) == 1;
}

bool SendAll(SOCKET s, const char* data, size_t size)
{
    for (int n = 0; size > 0; data += n, size -= n) {
        if ((n = send(s, data, int(std::min<size_t>(size, 65536)), 0)) <= 0)
            return false;
    }
    return true;
}

}  // namespace

HttpServer::HttpServer(unsigned short port)
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    CSocket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = {AF_INET, htons(port)};
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockaddr* const name = reinterpret_cast<sockaddr*>(&address);
    int size = sizeof address;
    // The copies talk to a fixed port, which the previous test program may still hold for a moment.
    if (!WaitUntil([&] { return bind(listener.Get(), name, sizeof address) == 0; }) ||
        listen(listener.Get(), SOMAXCONN) != 0 || getsockname(listener.Get(), name, &size) != 0)
        return;
    m_port = ntohs(address.sin_port);
    m_listener = std::move(listener);
    m_acceptor = std::thread([this, listener = m_listener.Get()] {
        for (SOCKET client; (client = accept(listener, nullptr, nullptr)) != INVALID_SOCKET;) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_threads.emplace_back([this, client] { Serve(client); });
        }
    });
}

HttpServer::~HttpServer()
{
    SetEvent(m_stopped.Get());
    m_listener.Reset();
    if (m_acceptor.joinable())
        m_acceptor.join();  // no connection starts after this
    for (std::thread& thread : m_threads)
        thread.join();
    WSACleanup();
}

size_t HttpServer::Count(const std::string& prefix) const
{
    const std::vector<HttpRequest> all = Requests();
    return std::count_if(all.begin(), all.end(), [&](const HttpRequest& r) { return StartsWith(r.target, prefix); });
}

void HttpServer::Serve(SOCKET client)
{
    const CSocket owner(client);
    std::string head;
    char buffer[4096];
    for (int n; head.find("\r\n\r\n") == std::string::npos; head.append(buffer, n)) {
        while (!Readable(client, 50))
            if (!Pause(0))
                return;
        if ((n = recv(client, buffer, sizeof buffer, 0)) <= 0)
            return;
    }
    HttpRequest request;
    const size_t space = head.find(' ');
    request.target = head.substr(space + 1, head.find(' ', space + 1) - space - 1);
    if (StartsWith(request.target, "http://"))  // the absolute form a proxy would get
        request.target.erase(0, request.target.find('/', 7));
    request.head = head.substr(0, head.size() - 2);
    HttpResponse response{404};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(request);
        // In reverse order, a longer route comes before any shorter one that also begins the target.
        const auto route = std::find_if(m_routes.rbegin(), m_routes.rend(),
                                        [&](const auto& r) { return StartsWith(request.target, r.first); });
        if (route != m_routes.rend())
            response = route->second;
    }
    if (response.stall)
        Pause(INFINITE);
    const std::string& body = response.body;
    std::string reply = "HTTP/1.1 " + std::to_string(response.status) + (response.status < 400 ? " OK" : " Error") +
                        "\r\nConnection: close\r\nContent-Type: " + response.contentType + "\r\n";
    if (!response.unannounced && !response.endless)
        reply += "Content-Length: " +
                 std::to_string(response.contentLength != SIZE_MAX ? response.contentLength : body.size()) + "\r\n";
    if (!response.location.empty())
        reply += "Location: " + response.location + "\r\n";
    reply += "\r\n";
    const size_t sent = std::min(body.size(), response.dropAfter);
    const size_t step = response.trickleMs ? response.trickleBytes : sent;
    bool ok = !response.stall && SendAll(client, reply.data(), reply.size());
    for (size_t i = 0; ok && i < sent; i += step)
        ok = SendAll(client, body.data() + i, std::min(step, sent - i)) &&
             (!response.trickleMs || Pause(response.trickleMs));
    while (ok && response.endless && Pause(0))
        ok = SendAll(client, body.data(), body.size());
    if (sent < body.size()) {
        Pause(kBeforeResetMs);
        linger reset = {1, 0};
        setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
        return;
    }
    // A clean close: the client reads to the end before the socket goes.
    shutdown(client, SD_SEND);
    for (int n = 1; n > 0 && Readable(client, 1000);)
        n = recv(client, buffer, sizeof buffer, 0);
}
