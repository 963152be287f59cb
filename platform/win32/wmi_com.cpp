// The management service over COM.
#include "platform/ascii_text.h"
#include "platform/win32/com.h"
#include "platform/win32/safe_dll.h"
#include "platform/win32/system_wmi.h"

#include <windows.h>

#include <wbemidl.h>

#include <cstdio>

namespace corvale::win32 {
namespace {

std::string HresultText(const char* what, HRESULT hr) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s failed (0x%08lX)", what, static_cast<unsigned long>(hr));
    return buf;
}

// A VARIANT as the seam's value. CIM unsigned types that arrive in a signed VARIANT field are
// read back as unsigned; 64-bit integers arrive as text already.
WmiValue ValueFromVariant(const VARIANT& v, CIMTYPE cim) {
    switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL:
        return WmiValue::Null();
    case VT_BOOL:
        return WmiValue::Bool(v.boolVal != VARIANT_FALSE);
    case VT_BSTR:
        return WmiValue::Text(v.bstrVal ? Utf8FromWide({v.bstrVal, SysStringLen(v.bstrVal)})
                                        : std::string());
    case VT_I1:
        return WmiValue::Integer(v.cVal);
    case VT_UI1:
        return WmiValue::Integer(v.bVal);
    case VT_I2:
        return WmiValue::Integer(cim == CIM_UINT16 ? static_cast<std::uint16_t>(v.iVal) : v.iVal);
    case VT_UI2:
        return WmiValue::Integer(v.uiVal);
    case VT_I4:
    case VT_INT:
        return WmiValue::Integer(cim == CIM_UINT32 ? static_cast<std::uint32_t>(v.lVal) : v.lVal);
    case VT_UI4:
    case VT_UINT:
        return WmiValue::Integer(v.ulVal);
    case VT_I8:
        return WmiValue::Integer(v.llVal);
    case VT_UI8:
        return v.ullVal <= static_cast<ULONGLONG>(INT64_MAX)
                   ? WmiValue::Integer(static_cast<std::int64_t>(v.ullVal))
                   : WmiValue::Text(std::to_string(v.ullVal));
    case VT_R4:
        return WmiValue::Double(v.fltVal);
    case VT_R8:
        return WmiValue::Double(v.dblVal);
    default: {
        // Dates and anything else that has a text form; arrays and objects read as null.
        if (v.vt & VT_ARRAY) return WmiValue::Null();
        Variant text;
        if (FAILED(VariantChangeType(text.Put(), const_cast<VARIANT*>(&v), 0, VT_BSTR)) ||
            text.Type() != VT_BSTR)
            return WmiValue::Null();
        const BSTR b = text.Get().bstrVal;
        return WmiValue::Text(b ? Utf8FromWide({b, SysStringLen(b)}) : std::string());
    }
    }
}

WmiObject ObjectFromClassObject(IWbemClassObject* o) {
    WmiObject out;
    if (FAILED(o->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY))) return out;
    for (;;) {
        Bstr name;
        Variant value;
        CIMTYPE cim = CIM_EMPTY;
        if (o->Next(0, name.Put(), value.Put(), &cim, nullptr) != WBEM_S_NO_ERROR) break;
        if (name) out.Set(Utf8FromWide(name.View()), ValueFromVariant(value.Get(), cim));
    }
    o->EndEnumeration();
    return out;
}

class ComWmiServices final : public WmiServices {
  public:
    explicit ComWmiServices(ComPtr<IWbemServices> services) : services_(std::move(services)) {}

    WmiQueryResult ExecQuery(std::string_view wql, int flags) override {
        Bstr language(L"WQL");
        Bstr query(WideFromUtf8(wql));
        ComPtr<IEnumWbemClassObject> rows;
        const HRESULT hr =
            services_->ExecQuery(language.Get(), query.Get(), flags, nullptr, rows.Put());
        if (FAILED(hr) || !rows) return WmiQueryResult::Failure(HresultText("ExecQuery", hr));
        WmiQueryResult result;
        for (;;) {
            ComPtr<IWbemClassObject> object;
            ULONG got = 0;
            const HRESULT next = rows->Next(WBEM_INFINITE, 1, object.Put(), &got);
            // An enumeration that breaks off part-way fails as a whole: the objects it gave
            // would pass for all of them.
            if (FAILED(next)) return WmiQueryResult::Failure(HresultText("Next", next));
            if (got == 0 || !object) break;
            result.objects.push_back(ObjectFromClassObject(object.Get()));
        }
        return result;
    }

    bool ClassHasProperty(const wchar_t* className, const wchar_t* property) {
        Bstr path(className);
        ComPtr<IWbemClassObject> cls;
        if (FAILED(services_->GetObject(path.Get(), 0, nullptr, cls.Put(), nullptr)) || !cls)
            return false;
        Variant ignored;
        return SUCCEEDED(cls->Get(property, 0, ignored.Put(), nullptr, nullptr));
    }

  private:
    ComPtr<IWbemServices> services_;
};

} // namespace

std::unique_ptr<WmiServices> ComWmiLocator::Bind(std::string_view moniker) {
    const auto ns = NamespaceFromMoniker(moniker);
    if (!ns) return nullptr;
    ComPtr<IWbemLocator> locator;
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void**>(locator.Put()))) ||
        !locator)
        return nullptr;
    Bstr path(WideFromUtf8(*ns));
    ComPtr<IWbemServices> services;
    if (FAILED(locator->ConnectServer(path.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                      services.Put())) ||
        !services)
        return nullptr;
    // Act as the caller on the service's side, as the scripting binding does by default.
    CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    return std::make_unique<ComWmiServices>(std::move(services));
}

bool ComWmiLocator::ServiceClassHasPathName(WmiServices& services) {
    auto* com = dynamic_cast<ComWmiServices*>(&services);
    return com && com->ClassHasProperty(L"Win32_Service", L"PathName");
}

std::unique_ptr<WmiServices> SystemWmiLocator::Bind(std::string_view moniker) {
    if (useServiceManager_.value_or(false)) return scm_.Bind(moniker);
    auto services = com_.Bind(moniker);
    if (!services) return scm_.Bind(moniker);
    if (!useServiceManager_)
        useServiceManager_ = !ComWmiLocator::ServiceClassHasPathName(*services);
    return *useServiceManager_ ? scm_.Bind(moniker) : std::move(services);
}

} // namespace corvale::win32

namespace corvale::win32 {

std::unique_ptr<WmiServices> BindComputer(std::string_view computer, long* error,
                                          bool* hasPathName) {
    auto fail = [&](HRESULT hr) -> std::unique_ptr<WmiServices> {
        if (error) *error = hr;
        return nullptr;
    };
    ComPtr<IWbemLocator> locator;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<void**>(locator.Put()));
    if (FAILED(hr) || !locator) return fail(FAILED(hr) ? hr : E_FAIL);
    Bstr path(L"\\\\" + WideFromUtf8(computer) + L"\\root\\cimv2");
    ComPtr<IWbemServices> services;
    hr = locator->ConnectServer(path.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                services.Put());
    if (FAILED(hr) || !services) return fail(FAILED(hr) ? hr : E_FAIL);
    CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    auto bound = std::make_unique<ComWmiServices>(std::move(services));
    if (hasPathName) *hasPathName = bound->ClassHasProperty(L"Win32_Service", L"PathName");
    return bound;
}

std::string SystemMessage(long code) {
    wchar_t* text = nullptr;
    const auto flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD n = FormatMessageW(flags, nullptr, static_cast<DWORD>(code), 0,
                             reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (n == 0 && (static_cast<unsigned long>(code) & 0xFFFFF000u) == 0x80041000u) {
        // The management service's own codes have their texts in its utility library.
        // From the system folder by full path, never a file of that name elsewhere.
        const std::wstring path = safe_dll_detail::SystemFolder() + L"\\wmiutils.dll";
        if (HMODULE utils = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
            n = FormatMessageW(flags | FORMAT_MESSAGE_FROM_HMODULE, utils, static_cast<DWORD>(code),
                               0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
            FreeLibrary(utils);
        }
    }
    std::string out;
    if (n != 0 && text) out = Utf8FromWide({text, n});
    if (text) LocalFree(text);
    for (char& c : out)
        if (c == '\r' || c == '\n') c = ' ';
    while (!out.empty() && out.back() == ' ') out.pop_back();
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
    return out.empty() ? std::string("error ") + hex : out + " (" + hex + ")";
}

} // namespace corvale::win32
