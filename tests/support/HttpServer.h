#pragma once

#include <winsock2.h>
#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What the server answers for one target. The status line carries the standard reason phrase;
// Content-Length always announces the full body, also when dropAfter cuts it short.
struct HttpResponse {
    int status = 200;
    std::string contentType = "text/plain";  // empty: no Content-Type header
    std::string extraHeaders;                // "Name: value" lines; a missing final CRLF is added
    std::string body;
    size_t dropAfter = SIZE_MAX;             // reset the connection after this many body bytes
    DWORD delayMs = 0;                       // pause before each 1 KB of body
    bool stall = false;                      // read the request, never answer until the server stops
    DWORD trickleMs = 0;                     // send the body one byte per trickleMs
    size_t contentLength = SIZE_MAX;         // announce this length instead; the close after the body stays clean
};

struct HttpRequest {
    std::string method;
    std::string target;       // path and query, as the client sent them
    std::string requestLine;  // without its CRLF
    std::string rawHeaders;   // the header lines after the request line, each ending in CRLF
    // The value of the first header of that name (case-insensitive), trimmed; empty when absent.
    std::string Header(const char* name) const;
    bool HasHeader(const char* name) const;
};

// A scripted HTTP/1.1 server on 127.0.0.1. It serves every connection on a thread of its own,
// answers with Connection: close, and records each request before answering it.
class HttpServer {
public:
    explicit HttpServer(unsigned short port = 0);  // 0: an ephemeral port
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    bool Ok() const;  // listening
    unsigned short Port() const;
    std::string Host() const;                           // "127.0.0.1:port"
    std::string Url(const std::string& target) const;   // "http://127.0.0.1:port" + target

    // Exact targets win over prefixes; among prefixes the longest wins; anything else gets a 404.
    void Set(const std::string& target, HttpResponse response);
    void SetPrefix(const std::string& prefix, HttpResponse response);
    void ClearScripts();

    std::vector<HttpRequest> Requests() const;
    size_t Count(const std::string& target) const;
    size_t CountPrefix(const std::string& prefix) const;
    // Waits until a request for the target has been received (earlier ones count); *out gets the first.
    bool WaitFor(const std::string& target, DWORD timeoutMs, HttpRequest* out = nullptr);
    bool WaitForPrefix(const std::string& prefix, DWORD timeoutMs, HttpRequest* out = nullptr);
    // Waits until at least n requests for the target have been received.
    bool WaitForCount(const std::string& target, size_t n, DWORD timeoutMs);
    void ClearRequests();

private:
    void AcceptLoop();
    void Serve(SOCKET client);
    bool Pause(DWORD ms);  // false when the server is stopping
    HttpResponse Lookup(const std::string& target) const;
    template <class Pred> bool WaitUntil(DWORD timeoutMs, Pred pred);

    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    bool wsaStarted_ = false;
    bool stopping_ = false;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, HttpResponse> exact_;
    std::map<std::string, HttpResponse> prefixes_;
    std::vector<HttpRequest> requests_;

    std::thread acceptThread_;
    std::vector<std::thread> connectionThreads_;  // guarded by mutex_
};
