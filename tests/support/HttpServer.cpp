#include "support/HttpServer.h"

#include <ws2tcpip.h>

#include <chrono>

namespace {

const size_t kMaxHeaderBytes = 64 * 1024;
const size_t kChunkBytes = 1024;
const DWORD kPollMs = 50;
const DWORD kIdleClientMs = 15000;
// A reset throws away what is still unsent; this gives loopback time to deliver the cut body first.
const DWORD kSettleBeforeResetMs = 150;
const DWORD kDrainMs = 1000;

const char* ReasonPhrase(int status)
{
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 410: return "Gone";
    case 416: return "Range Not Satisfiable";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "Unknown";
    }
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string Trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// Waits until the socket is readable; false on timeout or when stop becomes true.
template <class Stop>
bool WaitReadable(SOCKET s, DWORD timeoutMs, Stop stop)
{
    DWORD start = GetTickCount();
    while (!stop()) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval tv = {0, static_cast<long>(kPollMs * 1000)};
        int n = select(0, &readable, nullptr, nullptr, &tv);
        if (n == SOCKET_ERROR)
            return false;
        if (n > 0)
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
    }
    return false;
}

bool SendAll(SOCKET s, const char* data, size_t size)
{
    while (size > 0) {
        int n = send(s, data, static_cast<int>(size < 65536 ? size : 65536), 0);
        if (n == SOCKET_ERROR || n == 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void HardClose(SOCKET s)
{
    linger hard = {1, 0};
    setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof(hard));
    closesocket(s);
}

bool ParseRequest(const std::string& head, HttpRequest* request)
{
    size_t lineEnd = head.find("\r\n");
    if (lineEnd == std::string::npos)
        return false;
    request->requestLine = head.substr(0, lineEnd);
    request->rawHeaders = head.substr(lineEnd + 2);
    size_t sp1 = request->requestLine.find(' ');
    if (sp1 == std::string::npos)
        return false;
    size_t sp2 = request->requestLine.find(' ', sp1 + 1);
    request->method = request->requestLine.substr(0, sp1);
    request->target = request->requestLine.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
    // The absolute form (a client that thinks it talks to a proxy) comes down to path and query.
    if (StartsWith(request->target, "http://")) {
        size_t slash = request->target.find('/', 7);
        request->target = slash == std::string::npos ? "/" : request->target.substr(slash);
    }
    return true;
}

}  // namespace

std::string HttpRequest::Header(const char* name) const
{
    size_t nameLen = strlen(name);
    size_t pos = 0;
    while (pos < rawHeaders.size()) {
        size_t end = rawHeaders.find("\r\n", pos);
        if (end == std::string::npos)
            end = rawHeaders.size();
        std::string line = rawHeaders.substr(pos, end - pos);
        if (line.size() > nameLen && line[nameLen] == ':' && _strnicmp(line.c_str(), name, nameLen) == 0)
            return Trim(line.substr(nameLen + 1));
        pos = end + 2;
    }
    return std::string();
}

bool HttpRequest::HasHeader(const char* name) const
{
    std::string needle = std::string("\r\n") + name + ":";
    std::string haystack = "\r\n" + rawHeaders;
    for (auto& c : needle) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    for (auto& c : haystack) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return haystack.find(needle) != std::string::npos;
}

HttpServer::HttpServer(unsigned short port)
{
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        return;
    wsaStarted_ = true;

    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener_ == INVALID_SOCKET)
        return;
    if (port != 0) {
        // A fixed port may still hold connections of an earlier server in TIME_WAIT.
        BOOL reuse = TRUE;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
    }
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == SOCKET_ERROR ||
        listen(listener_, SOMAXCONN) == SOCKET_ERROR) {
        closesocket(listener_);
        listener_ = INVALID_SOCKET;
        return;
    }
    int len = sizeof(addr);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptThread_ = std::thread(&HttpServer::AcceptLoop, this);
}

HttpServer::~HttpServer()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (acceptThread_.joinable())
        acceptThread_.join();
    // The accept thread has ended, so no connection thread is added any more.
    for (auto& t : connectionThreads_)
        t.join();
    if (listener_ != INVALID_SOCKET)
        closesocket(listener_);
    if (wsaStarted_)
        WSACleanup();
}

bool HttpServer::Ok() const { return listener_ != INVALID_SOCKET; }

unsigned short HttpServer::Port() const { return port_; }

std::string HttpServer::Host() const { return "127.0.0.1:" + std::to_string(port_); }

std::string HttpServer::Url(const std::string& target) const { return "http://" + Host() + target; }

void HttpServer::Set(const std::string& target, HttpResponse response)
{
    std::lock_guard<std::mutex> lock(mutex_);
    exact_[target] = std::move(response);
}

void HttpServer::SetPrefix(const std::string& prefix, HttpResponse response)
{
    std::lock_guard<std::mutex> lock(mutex_);
    prefixes_[prefix] = std::move(response);
}

void HttpServer::ClearScripts()
{
    std::lock_guard<std::mutex> lock(mutex_);
    exact_.clear();
    prefixes_.clear();
}

std::vector<HttpRequest> HttpServer::Requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

size_t HttpServer::Count(const std::string& target) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const auto& r : requests_)
        n += r.target == target;
    return n;
}

size_t HttpServer::CountPrefix(const std::string& prefix) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = 0;
    for (const auto& r : requests_)
        n += StartsWith(r.target, prefix);
    return n;
}

template <class Pred>
bool HttpServer::WaitUntil(DWORD timeoutMs, Pred pred)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), pred);
}

bool HttpServer::WaitFor(const std::string& target, DWORD timeoutMs, HttpRequest* out)
{
    return WaitUntil(timeoutMs, [&] {
        for (const auto& r : requests_) {
            if (r.target == target) {
                if (out)
                    *out = r;
                return true;
            }
        }
        return false;
    });
}

bool HttpServer::WaitForPrefix(const std::string& prefix, DWORD timeoutMs, HttpRequest* out)
{
    return WaitUntil(timeoutMs, [&] {
        for (const auto& r : requests_) {
            if (StartsWith(r.target, prefix)) {
                if (out)
                    *out = r;
                return true;
            }
        }
        return false;
    });
}

bool HttpServer::WaitForCount(const std::string& target, size_t n, DWORD timeoutMs)
{
    return WaitUntil(timeoutMs, [&] {
        size_t seen = 0;
        for (const auto& r : requests_)
            seen += r.target == target;
        return seen >= n;
    });
}

void HttpServer::ClearRequests()
{
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
}

bool HttpServer::Pause(DWORD ms)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return !changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

HttpResponse HttpServer::Lookup(const std::string& target) const
{
    auto exact = exact_.find(target);
    if (exact != exact_.end())
        return exact->second;
    const HttpResponse* best = nullptr;
    size_t bestLen = 0;
    for (const auto& p : prefixes_) {
        if (StartsWith(target, p.first) && (!best || p.first.size() > bestLen)) {
            best = &p.second;
            bestLen = p.first.size();
        }
    }
    if (best)
        return *best;
    HttpResponse notFound;
    notFound.status = 404;
    notFound.contentType = "text/html";
    notFound.body = "<html><body><h1>404 Not Found</h1></body></html>";
    return notFound;
}

void HttpServer::AcceptLoop()
{
    auto stop = [this] {
        std::lock_guard<std::mutex> lock(mutex_);
        return stopping_;
    };
    for (;;) {
        if (!WaitReadable(listener_, INFINITE, stop))
            return;
        SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            continue;
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) {
            closesocket(client);
            return;
        }
        connectionThreads_.emplace_back(&HttpServer::Serve, this, client);
    }
}

void HttpServer::Serve(SOCKET client)
{
    auto stop = [this] {
        std::lock_guard<std::mutex> lock(mutex_);
        return stopping_;
    };

    std::string head;
    size_t headEnd = std::string::npos;
    char buffer[4096];
    while (headEnd == std::string::npos && head.size() < kMaxHeaderBytes) {
        if (!WaitReadable(client, kIdleClientMs, stop)) {
            closesocket(client);
            return;
        }
        int n = recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0) {
            closesocket(client);
            return;
        }
        head.append(buffer, static_cast<size_t>(n));
        headEnd = head.find("\r\n\r\n");
    }
    HttpRequest request;
    if (headEnd == std::string::npos || !ParseRequest(head.substr(0, headEnd + 2), &request)) {
        closesocket(client);
        return;
    }

    HttpResponse response;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        response = Lookup(request.target);
        requests_.push_back(request);
    }
    changed_.notify_all();

    if (response.stall) {
        while (Pause(kPollMs)) {
        }
        closesocket(client);
        return;
    }

    std::string header = "HTTP/1.1 " + std::to_string(response.status) + " " + ReasonPhrase(response.status) + "\r\n";
    if (!response.contentType.empty())
        header += "Content-Type: " + response.contentType + "\r\n";
    header += "Content-Length: " +
              std::to_string(response.contentLength != SIZE_MAX ? response.contentLength : response.body.size()) +
              "\r\n";
    header += "Connection: close\r\n";
    if (!response.extraHeaders.empty()) {
        header += response.extraHeaders;
        if (header.size() < 2 || header.compare(header.size() - 2, 2, "\r\n") != 0)
            header += "\r\n";
    }
    header += "\r\n";
    if (!SendAll(client, header.data(), header.size())) {
        closesocket(client);
        return;
    }

    size_t toSend = request.method == "HEAD" ? 0 : response.body.size();
    bool drop = response.dropAfter < toSend;
    if (drop)
        toSend = response.dropAfter;
    for (size_t sent = 0; sent < toSend;) {
        const DWORD pause = response.trickleMs ? response.trickleMs : response.delayMs;
        if (pause && !Pause(pause)) {
            HardClose(client);
            return;
        }
        size_t chunk = response.trickleMs ? 1 : response.delayMs ? kChunkBytes : toSend - sent;
        if (chunk > toSend - sent)
            chunk = toSend - sent;
        if (!SendAll(client, response.body.data() + sent, chunk)) {
            closesocket(client);
            return;
        }
        sent += chunk;
    }
    if (drop) {
        Pause(kSettleBeforeResetMs);
        HardClose(client);
        return;
    }

    // Closing with unread bytes queued would reset the connection and could cost the client the
    // end of the body; so finish sending and wait for the client to close first.
    shutdown(client, SD_SEND);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kDrainMs && WaitReadable(client, kDrainMs, stop)) {
        if (recv(client, buffer, sizeof(buffer), 0) <= 0)
            break;
    }
    closesocket(client);
}
