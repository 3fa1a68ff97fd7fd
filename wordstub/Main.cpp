// The Word stand-in: a local automation server registered as "Word.Application" in the Wine prefix.
//   WordStub.exe /RegServer    registers it (the prefix set-up does this)
//   WordStub.exe /UnregServer  removes the registration
//   WordStub.exe -Embedding    started by COM for a client
#include "Objects.h"
#include "Server.h"
#include "StubControl.h"
#include "Win32Util.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <utility>

namespace {

using namespace wordstub;

class ClassFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives as long as the process.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        // Each client gets a Word of its own, as with a fresh Word process.
        if (created_ || Server::Instance().Quitting())
            return CO_E_SERVER_STOPPING;
        try {
            Server::Instance().Journal(L"CREATE Application");
            StubObject* app = NewApplication();
            created_ = true;
            // Taken back before the answer, as a Word started for one client does: COM can then
            // never hand a later creation to this process, which leaves once its client lets go.
            Revoke();
            const HRESULT hr = app->QueryInterface(iid, out);
            app->Release();
            return hr;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        Server::Instance().Lock(lock != FALSE);
        return S_OK;
    }

    bool Register() {
        return SUCCEEDED(
            CoRegisterClassObject(kClassId, this, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &cookie_));
    }
    void Revoke() {
        if (cookie_ != 0)
            CoRevokeClassObject(std::exchange(cookie_, 0));
    }

private:
    bool created_ = false;
    DWORD cookie_ = 0;
};

bool SetText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    const UniqueHkey key = OpenKey(root, path, true, KEY_WRITE);
    return key && WriteText(key.get(), name, value);
}

// The stand-in must never take Word's place on a real Windows machine: only Wine's ntdll has this.
bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

int Register() {
    if (!UnderWine())
        return 1;
    wchar_t exe[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2)
        return 1;
    const std::wstring classes = kClassesKey;
    const std::wstring clsid = classes + L"\\CLSID\\" + kClassIdText;
    const std::wstring progid = classes + L"\\" + kProgId;
    const bool ok =
        SetText(HKEY_LOCAL_MACHINE, progid, nullptr, L"Microsoft Word Application (stand-in)") &&
        SetText(HKEY_LOCAL_MACHINE, progid + L"\\CLSID", nullptr, kClassIdText) &&
        SetText(HKEY_LOCAL_MACHINE, clsid, nullptr, L"Microsoft Word Application (stand-in)") &&
        SetText(HKEY_LOCAL_MACHINE, clsid + L"\\ProgID", nullptr, kProgId) &&
        SetText(HKEY_LOCAL_MACHINE, clsid + L"\\LocalServer32", nullptr,
                L"\"" + std::wstring(exe) + L"\"");
    return ok ? 0 : 1;
}

int Unregister() {
    if (const UniqueHkey classes = OpenKey(HKEY_LOCAL_MACHINE, kClassesKey, false)) {
        RegDeleteTreeW(classes.get(), kProgId);
        RegDeleteTreeW(classes.get(), (std::wstring(L"CLSID\\") + kClassIdText).c_str());
    }
    return 0;
}

bool IsSwitch(const std::wstring& arg, const wchar_t* name) {
    return arg.size() > 1 && (arg[0] == L'/' || arg[0] == L'-') &&
           CompareStringOrdinal(arg.c_str() + 1, -1, name, -1, TRUE) == CSTR_EQUAL;
}

int Serve() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 2;
    Server& server = Server::Instance();
    server.Start();
    if (server.scenario().startMs > 0)
        Sleep(server.scenario().startMs); // a Word slow to start, as under load
    static ClassFactory factory;
    if (!factory.Register()) {
        CoUninitialize();
        return 2;
    }
    const int held = server.Run();
    factory.Revoke(); // still registered when no client came
    if (held > 0)
        ExitProcess(0); // the client's proxies die with us, as when Word quits under them
    CoUninitialize();
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring arg = argc > 1 && argv ? argv[1] : L"";
    LocalFree(argv);
    if (IsSwitch(arg, L"RegServer"))
        return Register();
    if (IsSwitch(arg, L"UnregServer"))
        return Unregister();
    return Serve();
}
