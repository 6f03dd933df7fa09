#include "support/ShellLinks.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

namespace {

// Balanced COM for one operation: uninitialises only what it initialised.
class ComScope {
public:
    ComScope() : hr_(CoInitialize(nullptr)) {}
    ~ComScope() { if (SUCCEEDED(hr_)) CoUninitialize(); }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT hr_;
};

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { if (p_) p_->Release(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* operator->() const { return p_; }
    T* Get() const { return p_; }
    void** Out() { return reinterpret_cast<void**>(&p_); }

private:
    T* p_ = nullptr;
};

std::wstring Wide(const std::string& text)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

}  // namespace

LinkInfo ReadLink(const std::string& lnk)
{
    LinkInfo info;
    ComScope com;
    ComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Out())))
        return info;
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.Out())))
        return info;
    if (FAILED(file->Load(Wide(lnk).c_str(), STGM_READ)))
        return info;
    char text[INFOTIPSIZE] = "";
    if (FAILED(link->GetPath(text, sizeof(text), nullptr, SLGP_RAWPATH)))
        return info;
    info.path = text;
    text[0] = '\0';
    link->GetArguments(text, sizeof(text));
    info.arguments = text;
    text[0] = '\0';
    link->GetWorkingDirectory(text, sizeof(text));
    info.workingDir = text;
    info.ok = true;
    return info;
}

bool WriteLink(const std::string& lnk, const std::string& target, const std::string& arguments)
{
    ComScope com;
    ComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Out())))
        return false;
    if (FAILED(link->SetPath(target.c_str())) || FAILED(link->SetArguments(arguments.c_str())))
        return false;
    ComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.Out())))
        return false;
    return SUCCEEDED(file->Save(Wide(lnk).c_str(), TRUE));
}
