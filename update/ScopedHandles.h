#pragma once
#include <windows.h>
#include <wininet.h>
#include <stdlib.h>

// Owners for the handles and blocks the update code obtains; each releases what it holds exactly once.

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

// A block from the C heap.
class CHeapBlock
{
public:
    explicit CHeapBlock(size_t size) : m_block(malloc(size)) {}
    ~CHeapBlock() { free(m_block); }
    CHeapBlock(const CHeapBlock&) = delete;
    CHeapBlock& operator=(const CHeapBlock&) = delete;

    void* Get() const { return m_block; }

private:
    void* m_block;
};
