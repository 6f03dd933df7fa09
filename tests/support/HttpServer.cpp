#include "support/HttpServer.h"

#include <algorithm>

#include "support/Wait.h"

namespace {

// A reset throws away what is still unsent; this gives loopback time to deliver the cut body first.
const DWORD kBeforeResetMs = 150;

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
        if ((n = send(s, data, int(size < 65536 ? size : 65536), 0)) <= 0)
            return false;
    }
    return true;
}

}  // namespace

HttpServer::HttpServer(unsigned short port)
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    int size = sizeof address;
    // The copies talk to a fixed port, which the previous test program may still hold for a moment.
    if (!WaitUntil([&] { return bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0; }) ||
        listen(listener, SOMAXCONN) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size)) {
        closesocket(listener);
        return;
    }
    m_listener = listener;
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] {
        for (SOCKET client; (client = accept(m_listener, nullptr, nullptr)) != INVALID_SOCKET;) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_threads.emplace_back([this, client] { Serve(client); });
        }
    });
}

HttpServer::~HttpServer()
{
    m_stopping = true;
    closesocket(m_listener);
    if (m_acceptor.joinable())
        m_acceptor.join();  // no connection starts after this
    for (std::thread& thread : m_threads)
        thread.join();
    WSACleanup();
}

std::string HttpServer::Url(const std::string& target) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + target;
}

void HttpServer::SetPrefix(const std::string& prefix, const HttpResponse& response)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_routes[prefix] = response;
}

std::vector<HttpRequest> HttpServer::Requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

size_t HttpServer::Count(const std::string& prefix) const
{
    size_t count = 0;
    for (const HttpRequest& request : Requests())
        count += request.target.compare(0, prefix.size(), prefix) == 0;
    return count;
}

bool HttpServer::Pause(DWORD ms) const
{
    for (DWORD waited = 0; waited < ms && !m_stopping; waited += 20)
        Sleep(20);
    return !m_stopping;
}

void HttpServer::Serve(SOCKET client)
{
    std::string head;
    char buffer[4096];
    for (int n; head.find("\r\n\r\n") == std::string::npos; head.append(buffer, n)) {
        while (!Readable(client, 50))
            if (m_stopping)
                return void(closesocket(client));
        if ((n = recv(client, buffer, sizeof buffer, 0)) <= 0)
            return void(closesocket(client));
    }
    HttpRequest request;
    const size_t space = head.find(' ');
    request.target = head.substr(space + 1, head.find(' ', space + 1) - space - 1);
    if (request.target.compare(0, 7, "http://") == 0)  // the absolute form a proxy would get
        request.target.erase(0, request.target.find('/', 7));
    request.head = head.substr(0, head.size() - 2);
    HttpResponse response;
    response.status = 404;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(request);
        for (auto it = m_routes.rbegin(); it != m_routes.rend(); ++it) {
            if (request.target.compare(0, it->first.size(), it->first) == 0) {
                response = it->second;
                break;
            }
        }
    }
    while (response.stall && Pause(50)) {
    }
    const std::string& body = response.body;
    std::string reply = "HTTP/1.1 " + std::to_string(response.status) + (response.status < 400 ? " OK" : " Error") +
                        "\r\nConnection: close\r\nContent-Type: " + response.contentType + "\r\n";
    if (!response.unannounced && !response.endless)
        reply += "Content-Length: " +
                 std::to_string(response.contentLength != SIZE_MAX ? response.contentLength : body.size()) + "\r\n";
    if (!response.location.empty())
        reply += "Location: " + response.location + "\r\n";
    reply += "\r\n";
    const size_t sent = body.size() < response.dropAfter ? body.size() : response.dropAfter;
    const size_t step = response.trickleMs ? response.trickleBytes : sent;
    bool ok = !response.stall && SendAll(client, reply.data(), reply.size());
    for (size_t i = 0; ok && i < sent; i += step)
        ok = SendAll(client, body.data() + i, std::min(step, sent - i)) &&
             (!response.trickleMs || Pause(response.trickleMs));
    while (ok && response.endless && !m_stopping)
        ok = SendAll(client, body.data(), body.size());
    if (sent < body.size()) {
        Pause(kBeforeResetMs);
        linger reset = {1, 0};
        setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
    } else {
        // A clean close: the client reads to the end before the socket goes.
        shutdown(client, SD_SEND);
        for (int n = 1; n > 0 && Readable(client, 1000);)
            n = recv(client, buffer, sizeof buffer, 0);
    }
    closesocket(client);
}
