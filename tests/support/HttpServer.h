#pragma once
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/AfxHandles.h"

// What the server answers for one route. By default the whole body, announced by Content-Length, then
// a clean close.
struct HttpResponse
{
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
    size_t dropAfter = SIZE_MAX;      // reset the connection after this many body bytes
    bool stall = false;               // read the request, never answer until the server stops
    DWORD trickleMs = 0;              // one part of the body per interval
    size_t trickleBytes = 1;          // the size of that part
    size_t contentLength = SIZE_MAX;  // announce this length instead of the body's, then close cleanly
    bool unannounced = false;         // no length announced: the body ends with the connection
    bool endless = false;             // unannounced, the body sent again and again until the client goes
    std::string location;             // a Location header, for a redirect
};

struct HttpRequest
{
    std::string target;  // path and query, as the client sent them
    std::string head;    // the request line and the header lines, each ended by CRLF
};

struct CSocketTraits
{
    using Handle = SOCKET;
    static SOCKET Invalid() { return INVALID_SOCKET; }
    static bool IsValid(SOCKET socket) { return socket != INVALID_SOCKET; }
    static void Close(SOCKET socket) { closesocket(socket); }
};
using CSocket = CScopedHandle<CSocketTraits>;

// A scripted HTTP/1.1 server on 127.0.0.1: a thread per connection, Connection: close, and every
// request recorded before it is answered.
class HttpServer
{
public:
    explicit HttpServer(unsigned short port = 0);  // 0: an ephemeral port
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    bool Ok() const { return m_listener.IsValid(); }
    std::string Url(const std::string& target) const { return "http://127.0.0.1:" + std::to_string(m_port) + target; }
    // The longest route that begins the target answers it; anything else gets a 404.
    void SetPrefix(const std::string& prefix, const HttpResponse& response)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_routes[prefix] = response;
    }
    std::vector<HttpRequest> Requests() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }
    size_t Count(const std::string& prefix) const;

private:
    void Serve(SOCKET client);
    // Waits out ms, or less when the server stops: false once it has.
    bool Pause(DWORD ms) const { return WaitForSingleObject(m_stopped.Get(), ms) == WAIT_TIMEOUT; }

    CSocket m_listener;
    unsigned short m_port = 0;
    CKernelHandle m_stopped{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    mutable std::mutex m_mutex;
    std::map<std::string, HttpResponse> m_routes;
    std::vector<HttpRequest> m_requests;
    std::thread m_acceptor;
    std::vector<std::thread> m_threads;  // one per connection, guarded by m_mutex
};
