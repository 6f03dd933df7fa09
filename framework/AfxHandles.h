#pragma once
#include <windows.h>
#include <objbase.h>

// Owners for the handles, heap blocks and COM references the system obtains; each releases what it
// holds exactly once, and none can be copied. One vocabulary for every owner: Get, IsValid, Reset,
// Take (gives up ownership) and Receive (for functions that hand out a new one).

// An owner of one handle of the kind the traits describe: their Handle type, the Invalid() value a
// default owner holds, IsValid(handle) and Close(handle).
template <class Traits>
class CScopedHandle
{
public:
    using Handle = typename Traits::Handle;

    CScopedHandle() : m_handle(Traits::Invalid()) {}
    explicit CScopedHandle(Handle handle) : m_handle(handle) {}
    ~CScopedHandle() { Reset(); }
    CScopedHandle(const CScopedHandle&) = delete;
    CScopedHandle& operator=(const CScopedHandle&) = delete;
    CScopedHandle(CScopedHandle&& other) noexcept : m_handle(other.Take()) {}
    CScopedHandle& operator=(CScopedHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Take());
        return *this;
    }

    Handle Get() const { return m_handle; }
    bool IsValid() const { return Traits::IsValid(m_handle); }
    // Closes what is held and holds the new handle instead.
    void Reset(Handle handle = Traits::Invalid())
    {
        const Handle old = m_handle;
        m_handle = handle;
        if (Traits::IsValid(old) && old != handle)
            Traits::Close(old);
    }
    [[nodiscard]] Handle Take()
    {
        const Handle handle = m_handle;
        m_handle = Traits::Invalid();
        return handle;
    }
    Handle* Receive()
    {
        Reset();
        return &m_handle;
    }

private:
    Handle m_handle;
};

// A kernel handle; both null and INVALID_HANDLE_VALUE mean "nothing held".
struct CKernelHandleTraits
{
    using Handle = HANDLE;
    static HANDLE Invalid() { return nullptr; }
    static bool IsValid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) { ::CloseHandle(handle); }
};
using CKernelHandle = CScopedHandle<CKernelHandleTraits>;

// A directory search's handle, which FindClose ends.
struct CFindHandleTraits
{
    using Handle = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(HANDLE handle) { return handle != INVALID_HANDLE_VALUE; }
    static void Close(HANDLE handle) { ::FindClose(handle); }
};
using CFindHandle = CScopedHandle<CFindHandleTraits>;

// A block the system allocated for the caller to free with LocalFree (security descriptors, SID texts).
struct CLocalMemoryTraits
{
    using Handle = HLOCAL;
    static HLOCAL Invalid() { return nullptr; }
    static bool IsValid(HLOCAL block) { return block != nullptr; }
    static void Close(HLOCAL block) { ::LocalFree(block); }
};
using CLocalMemory = CScopedHandle<CLocalMemoryTraits>;

// A zero-filled block of the process heap.
class CHeapBlock
{
public:
    CHeapBlock() : m_data(nullptr), m_size(0) {}
    explicit CHeapBlock(DWORD size) : m_data(nullptr), m_size(0) { Allocate(size); }
    ~CHeapBlock() { Reset(); }
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
            Reset();
            m_data = other.m_data;
            m_size = other.m_size;
            other.m_data = nullptr;
            other.m_size = 0;
        }
        return *this;
    }

    bool Allocate(DWORD size)
    {
        Reset();
        m_data = ::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, size);
        m_size = m_data != nullptr ? size : 0;
        return m_data != nullptr;
    }
    void Reset()
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

// One counted reference to a COM interface, given back at destruction. It moves but never copies, so
// no reference is counted or given back twice.
template <class T>
class CComRef
{
public:
    CComRef() = default;
    ~CComRef() { Reset(); }
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;
    CComRef(CComRef&& other) noexcept : m_p(other.Take()) {}
    CComRef& operator=(CComRef&& other) noexcept
    {
        if (this != &other)
            Reset(other.Take());
        return *this;
    }

    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    bool IsValid() const { return m_p != nullptr; }
    // Gives back the reference held and holds p instead, a reference the caller has already counted.
    void Reset(T* p = nullptr)
    {
        T* const old = m_p;
        m_p = p;
        if (old != nullptr)
            old->Release();
    }
    [[nodiscard]] T* Take()
    {
        T* const p = m_p;
        m_p = nullptr;
        return p;
    }
    // For functions that hand out a new reference: IID_PPV_ARGS(ref.Receive()).
    T** Receive()
    {
        Reset();
        return &m_p;
    }

private:
    T* m_p = nullptr;
};
