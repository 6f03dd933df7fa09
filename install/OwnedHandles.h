#pragma once
#include <windows.h>
#include <objbase.h>

// Owners for the kernel handles, heap blocks and COM references that the install step obtains.

class CFileHandle
{
public:
    explicit CFileHandle(HANDLE handle = INVALID_HANDLE_VALUE) : m_handle(handle) {}
    ~CFileHandle() { Close(); }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    CFileHandle(CFileHandle&& other) noexcept : m_handle(other.m_handle) { other.m_handle = INVALID_HANDLE_VALUE; }
    CFileHandle& operator=(CFileHandle&& other) noexcept
    {
        if (this != &other) {
            Close();
            m_handle = other.m_handle;
            other.m_handle = INVALID_HANDLE_VALUE;
        }
        return *this;
    }

    bool IsValid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE Get() const { return m_handle; }
    void Close()
    {
        if (IsValid()) {
            ::CloseHandle(m_handle);
        }
        m_handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle;
};

// A zero-filled block of the process heap, sized for a whole file.
class CImageBlock
{
public:
    CImageBlock() : m_data(nullptr), m_size(0) {}
    ~CImageBlock() { Free(); }
    CImageBlock(const CImageBlock&) = delete;
    CImageBlock& operator=(const CImageBlock&) = delete;
    CImageBlock(CImageBlock&& other) noexcept : m_data(other.m_data), m_size(other.m_size)
    {
        other.m_data = nullptr;
        other.m_size = 0;
    }
    CImageBlock& operator=(CImageBlock&& other) noexcept
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
    void* Data() const { return m_data; }
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

private:
    T* m_p;
};
