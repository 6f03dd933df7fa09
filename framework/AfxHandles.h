#pragma once
#include <windows.h>
#include <wininet.h>
#include <objbase.h>
#include <wincrypt.h>

// Owners for the handles, heap blocks and COM references the system obtains; each releases what it
// holds exactly once, and none can be copied.

class CInternetHandle
{
public:
    explicit CInternetHandle(HINTERNET handle = nullptr) : m_handle(handle) {}
    ~CInternetHandle() { Close(); }
    CInternetHandle(const CInternetHandle&) = delete;
    CInternetHandle& operator=(const CInternetHandle&) = delete;
    CInternetHandle(CInternetHandle&& other) : m_handle(other.m_handle) { other.m_handle = nullptr; }
    CInternetHandle& operator=(CInternetHandle&& other)
    {
        if (this != &other) {
            Close();
            m_handle = other.m_handle;
            other.m_handle = nullptr;
        }
        return *this;
    }

    HINTERNET Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    HINTERNET Release()
    {
        HINTERNET handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    void Close()
    {
        if (m_handle)
            InternetCloseHandle(m_handle);
        m_handle = nullptr;
    }

private:
    HINTERNET m_handle;
};

// A kernel handle; both null and INVALID_HANDLE_VALUE mean "nothing held".
class CKernelHandle
{
public:
    explicit CKernelHandle(HANDLE handle = nullptr) : m_handle(handle) {}
    ~CKernelHandle() { Close(); }
    CKernelHandle(const CKernelHandle&) = delete;
    CKernelHandle& operator=(const CKernelHandle&) = delete;
    CKernelHandle(CKernelHandle&& other) : m_handle(other.m_handle) { other.m_handle = nullptr; }
    CKernelHandle& operator=(CKernelHandle&& other)
    {
        if (this != &other) {
            Close();
            m_handle = other.m_handle;
            other.m_handle = nullptr;
        }
        return *this;
    }

    HANDLE Get() const { return m_handle; }
    bool IsValid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    void Close()
    {
        if (IsValid())
            CloseHandle(m_handle);
        m_handle = nullptr;
    }

private:
    HANDLE m_handle;
};

// A zero-filled block of the process heap.
class CHeapBlock
{
public:
    CHeapBlock() : m_data(nullptr), m_size(0) {}
    explicit CHeapBlock(DWORD size) : m_data(nullptr), m_size(0) { Allocate(size); }
    ~CHeapBlock() { Free(); }
    CHeapBlock(const CHeapBlock&) = delete;
    CHeapBlock& operator=(const CHeapBlock&) = delete;
    CHeapBlock(CHeapBlock&& other) noexcept : m_data(other.m_data), m_size(other.m_size)
    {
        other.m_data = nullptr;
        other.m_size = 0;
    }
    CHeapBlock& operator=(CHeapBlock&& other) noexcept
    {
        if (this != &other) {
            Free();
            m_data = other.m_data;
            m_size = other.m_size;
            other.m_data = nullptr;
            other.m_size = 0;
        }
        return *this;
    }

    bool Allocate(DWORD size)
    {
        Free();
        m_data = ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, size);
        m_size = m_data != nullptr ? size : 0;
        return m_data != nullptr;
    }
    void Free()
    {
        if (m_data != nullptr) {
            ::HeapFree(::GetProcessHeap(), 0, m_data);
        }
        m_data = nullptr;
        m_size = 0;
    }
    void* Get() const { return m_data; }
    DWORD Size() const { return m_size; }

private:
    void* m_data;
    DWORD m_size;
};

// CoInitialize for the lifetime of the object; CoUninitialize only when the initialisation succeeded
// (S_FALSE included: it still counts once on the thread).
class CComApartment
{
public:
    CComApartment() : m_hr(::CoInitialize(nullptr)) {}
    ~CComApartment()
    {
        if (SUCCEEDED(m_hr)) {
            ::CoUninitialize();
        }
    }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

    bool Ok() const { return SUCCEEDED(m_hr); }

private:
    HRESULT m_hr;
};

// One counted reference to a COM interface, released at destruction.
template <class T>
class CComRef
{
public:
    CComRef() : m_p(nullptr) {}
    ~CComRef() { Release(); }
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;

    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    // For functions that hand out a new reference; any held one is released first.
    void** Receive()
    {
        Release();
        return reinterpret_cast<void**>(&m_p);
    }
    void Release()
    {
        if (m_p != nullptr) {
            m_p->Release();
        }
        m_p = nullptr;
    }
    // Takes over a reference the caller already counted; any held one is released first.
    void Attach(T* p)
    {
        Release();
        m_p = p;
    }

private:
    T* m_p;
};

// One reference to a certificate context, freed at destruction.
class CCertContext
{
public:
    explicit CCertContext(PCCERT_CONTEXT context = nullptr) : m_context(context) {}
    ~CCertContext() { Close(); }
    CCertContext(const CCertContext&) = delete;
    CCertContext& operator=(const CCertContext&) = delete;
    CCertContext(CCertContext&& other) : m_context(other.m_context) { other.m_context = nullptr; }
    CCertContext& operator=(CCertContext&& other)
    {
        if (this != &other) {
            Close();
            m_context = other.m_context;
            other.m_context = nullptr;
        }
        return *this;
    }

    PCCERT_CONTEXT Get() const { return m_context; }
    explicit operator bool() const { return m_context != nullptr; }
    void Close()
    {
        if (m_context)
            CertFreeCertificateContext(m_context);
        m_context = nullptr;
    }

private:
    PCCERT_CONTEXT m_context;
};

// An open certificate store, closed at destruction.
class CCertStore
{
public:
    explicit CCertStore(HCERTSTORE store = nullptr) : m_store(store) {}
    ~CCertStore()
    {
        if (m_store)
            CertCloseStore(m_store, 0);
    }
    CCertStore(const CCertStore&) = delete;
    CCertStore& operator=(const CCertStore&) = delete;

    HCERTSTORE Get() const { return m_store; }
    explicit operator bool() const { return m_store != nullptr; }

private:
    HCERTSTORE m_store;
};
