#include "Automation.h"

#include "../Error.h"

namespace automation {

Variant::Variant(IDispatch* disp) noexcept {
    VariantInit(&v_);
    v_.vt = VT_DISPATCH;
    v_.pdispVal = disp;
}
Variant::Variant(Variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
Variant& Variant::operator=(Variant&& other) noexcept {
    if (this != &other) {
        VariantClear(&v_);
        v_ = other.v_;
        VariantInit(&other.v_);
    }
    return *this;
}
VARIANT* Variant::put() noexcept {
    VariantClear(&v_);
    return &v_;
}

Variant Create(std::wstring_view) { throw Error(L"not built yet"); }
Variant Call(const Variant&, const CallDesc&, std::span<const Arg>) { throw Error(L"not built yet"); }
void CallVoid(const Variant&, const CallDesc&, std::span<const Arg>) { throw Error(L"not built yet"); }
void Release(Variant& object) noexcept { object.reset(); }
int32_t ToInt32(const Variant&) { throw Error(L"not built yet"); }
int CompareWithInt(const Variant&, int32_t) { throw Error(L"not built yet"); }
std::wstring ErrorText(HRESULT) { return {}; }

} // namespace automation
