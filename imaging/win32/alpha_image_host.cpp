#include "imaging/win32/alpha_image_host.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

namespace corvale {
namespace {

constexpr UINT_PTR kSubclassId = 0x41494348; // "AICH"
constexpr wchar_t kHostProperty[] = L"CorvaleAlphaImageHost";
constexpr std::int32_t kCustomPointer = 99;

// Mouse button and shift codes of the control's events.
std::int32_t ButtonsOf(WPARAM wp) {
    return ((wp & MK_LBUTTON) ? 1 : 0) | ((wp & MK_RBUTTON) ? 2 : 0) | ((wp & MK_MBUTTON) ? 4 : 0);
}
std::int32_t ShiftOf(WPARAM wp) {
    return ((wp & MK_SHIFT) ? 1 : 0) | ((wp & MK_CONTROL) ? 2 : 0) |
           ((GetKeyState(VK_MENU) < 0) ? 4 : 0);
}

// A standard pointer for the control's MousePointer values (0 = the container's own).
LPCWSTR StandardPointer(std::int32_t pointer) {
    switch (pointer) {
    case 1:
        return IDC_ARROW;
    case 2:
        return IDC_CROSS;
    case 3:
        return IDC_IBEAM;
    case 5:
        return IDC_SIZEALL;
    case 6:
        return IDC_SIZENESW;
    case 7:
        return IDC_SIZENS;
    case 8:
        return IDC_SIZENWSE;
    case 9:
        return IDC_SIZEWE;
    case 10:
        return IDC_UPARROW;
    case 11:
        return IDC_WAIT;
    case 12:
        return IDC_NO;
    case 13:
        return IDC_APPSTARTING;
    case 14:
        return IDC_HELP;
    case 15:
        return IDC_SIZEALL;
    default:
        return nullptr;
    }
}

struct CursorHandle {
    HCURSOR handle = nullptr;
    bool owned = false;
    CursorHandle() = default;
    CursorHandle(const CursorHandle&) = delete;
    CursorHandle& operator=(const CursorHandle&) = delete;
    ~CursorHandle() { Reset(); }
    void Reset(HCURSOR h = nullptr, bool own = false) {
        if (handle && owned) DestroyIcon(handle);
        handle = h;
        owned = own;
    }
};

// A pointer from icon file bytes: the entry that suits the system's cursor size best.
HCURSOR CursorFromIconBytes(const Bytes& bytes) {
    // ICONDIR (6 bytes) + 16-byte entries; every read is checked against the size.
    if (bytes.size() < 6 + 16) return nullptr;
    auto u16 = [&](std::size_t at) { return std::uint16_t(bytes[at] | (bytes[at + 1] << 8)); };
    auto u32 = [&](std::size_t at) {
        return std::uint32_t(bytes[at]) | (std::uint32_t(bytes[at + 1]) << 8) |
               (std::uint32_t(bytes[at + 2]) << 16) | (std::uint32_t(bytes[at + 3]) << 24);
    };
    const std::uint16_t type = u16(2), count = u16(4);
    if (u16(0) != 0 || (type != 1 && type != 2) || count == 0) return nullptr;
    if (bytes.size() < 6 + std::size_t(count) * 16) return nullptr;
    const int want = GetSystemMetrics(SM_CXCURSOR);
    std::size_t best = 0;
    int bestDiff = INT32_MAX;
    for (std::size_t i = 0; i < count; ++i) {
        const int w = bytes[6 + i * 16] ? bytes[6 + i * 16] : 256;
        const int diff = std::abs(w - want);
        if (diff < bestDiff) {
            bestDiff = diff;
            best = i;
        }
    }
    const std::size_t entry = 6 + best * 16;
    const std::uint32_t size = u32(entry + 8), offset = u32(entry + 12);
    if (offset > bytes.size() || size > bytes.size() - offset || size < 40) return nullptr;
    const int w = bytes[entry] ? bytes[entry] : 256;
    const int h = bytes[entry + 1] ? bytes[entry + 1] : 256;
    // Icons become pointers with the hot spot in the middle; cursors keep theirs.
    const std::uint16_t hotX = type == 2 ? u16(entry + 4) : std::uint16_t(w / 2);
    const std::uint16_t hotY = type == 2 ? u16(entry + 6) : std::uint16_t(h / 2);
    std::vector<BYTE> resource(4 + std::size_t(size));
    resource[0] = BYTE(hotX);
    resource[1] = BYTE(hotX >> 8);
    resource[2] = BYTE(hotY);
    resource[3] = BYTE(hotY >> 8);
    std::copy_n(bytes.begin() + offset, size, resource.begin() + 4);
    return reinterpret_cast<HCURSOR>(CreateIconFromResourceEx(
        resource.data(), DWORD(resource.size()), FALSE, 0x00030000, w, h, LR_DEFAULTCOLOR));
}

} // namespace

class AlphaImageHost::Site final : public AlphaImageSite {
  public:
    Site(AlphaImageHost& host, Item& item) : host_(host), item_(item) {}
    void Invalidate() override;
    void ResizeControl(std::int32_t widthPx, std::int32_t heightPx) override;
    void StartTimer(std::intptr_t id, std::int32_t ms) override {
        if (!host_.container_) return;
        SetTimer(host_.container_, static_cast<UINT_PTR>(id), static_cast<UINT>(ms),
                 &AlphaImageHost::TimerProc);
    }
    void StopTimer(std::intptr_t id) override {
        if (host_.container_) KillTimer(host_.container_, static_cast<UINT_PTR>(id));
    }
    std::optional<std::pair<std::int32_t, std::int32_t>> CursorInControl() const override;
    std::pair<std::int32_t, std::int32_t> CursorOnScreen() const override {
        POINT p{};
        GetCursorPos(&p);
        return {p.x, p.y};
    }
    void MousePointerChanged(std::int32_t pointer, const Bytes& icon) override;
    std::intptr_t ContainerWindow() const override {
        return reinterpret_cast<std::intptr_t>(host_.container_);
    }
    HCURSOR Cursor() const { return cursor_.handle; }

  private:
    AlphaImageHost& host_;
    Item& item_;
    CursorHandle cursor_;
};

struct AlphaImageHost::Item {
    std::string name;
    RECT place{};
    std::unique_ptr<Site> site;
    std::unique_ptr<aicAlphaImage> control;
};

void AlphaImageHost::Site::Invalidate() {
    if (!host_.container_) return;
    InvalidateRect(host_.container_, &item_.place, TRUE);
}

void AlphaImageHost::Site::ResizeControl(std::int32_t widthPx, std::int32_t heightPx) {
    Invalidate();
    item_.place.right = item_.place.left + widthPx;
    item_.place.bottom = item_.place.top + heightPx;
    if (item_.control) item_.control->Resize(widthPx, heightPx);
    Invalidate();
}

std::optional<std::pair<std::int32_t, std::int32_t>> AlphaImageHost::Site::CursorInControl() const {
    POINT p{};
    if (!GetCursorPos(&p) || WindowFromPoint(p) != host_.container_) return std::nullopt;
    ScreenToClient(host_.container_, &p);
    return std::make_pair(std::int32_t(p.x - item_.place.left),
                          std::int32_t(p.y - item_.place.top));
}

void AlphaImageHost::Site::MousePointerChanged(std::int32_t pointer, const Bytes& icon) {
    if (pointer == kCustomPointer) {
        HCURSOR custom = icon.empty() ? nullptr : CursorFromIconBytes(icon);
        cursor_.Reset(custom, custom != nullptr);
    } else if (LPCWSTR standard = StandardPointer(pointer)) {
        cursor_.Reset(LoadCursorW(nullptr, standard), false);
    } else {
        cursor_.Reset();
    }
}

AlphaImageHost::AlphaImageHost(HWND container) {
    if (!container || !IsWindow(container)) return;
    if (!SetWindowSubclass(container, &SubclassProc, kSubclassId,
                           reinterpret_cast<DWORD_PTR>(this)))
        return;
    container_ = container;
    SetPropW(container_, kHostProperty, this);
}

AlphaImageHost::~AlphaImageHost() {
    // The controls go first (they stop their timers through the container), then the subclass.
    items_.clear();
    Detach();
}

void AlphaImageHost::Detach() {
    if (!container_) return;
    if (IsWindow(container_)) {
        RemovePropW(container_, kHostProperty);
        RemoveWindowSubclass(container_, &SubclassProc, kSubclassId);
    }
    container_ = nullptr;
}

aicAlphaImage& AlphaImageHost::Add(std::string name, RECT place,
                                   std::span<aicAlphaImage* const> formControls) {
    auto item = std::make_unique<Item>();
    item->name = std::move(name);
    item->place = place;
    item->site = std::make_unique<Site>(*this, *item);
    item->control = std::make_unique<aicAlphaImage>(*item->site);
    std::vector<aicAlphaImage*> form(formControls.begin(), formControls.end());
    form.push_back(item->control.get());
    item->control->JoinSession(form);
    item->control->Resize(place.right - place.left, place.bottom - place.top);
    items_.push_back(std::move(item));
    return *items_.back()->control;
}

aicAlphaImage* AlphaImageHost::Find(std::string_view name) const {
    for (const auto& item : items_)
        if (item->name == name) return item->control.get();
    return nullptr;
}

RECT AlphaImageHost::PlaceOf(const aicAlphaImage& control) const {
    for (const auto& item : items_)
        if (item->control.get() == &control) return item->place;
    return RECT{};
}

AlphaImageHost::Item* AlphaImageHost::HitItem(POINT p) const {
    // Later controls lie above earlier ones.
    for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
        Item& item = **it;
        if (!PtInRect(&item.place, p) || !item.control->Enabled()) continue;
        if (item.control->HitTest(p.x - item.place.left, p.y - item.place.top)) return &item;
    }
    return nullptr;
}

void AlphaImageHost::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(container_, &ps);
    if (!dc) return;
    if (background_) FillRect(dc, &ps.rcPaint, background_);
    for (const auto& item : items_) {
        RECT clip{};
        if (!IntersectRect(&clip, &ps.rcPaint, &item->place)) continue;
        AlphaImagePaint paint;
        paint.dc = reinterpret_cast<std::intptr_t>(dc);
        paint.originX = item->place.left;
        paint.originY = item->place.top;
        paint.clipLeft = clip.left - item->place.left;
        paint.clipTop = clip.top - item->place.top;
        paint.clipRight = clip.right - item->place.left;
        paint.clipBottom = clip.bottom - item->place.top;
        item->control->Paint(paint);
    }
    EndPaint(container_, &ps);
}

void AlphaImageHost::OnMouse(UINT msg, WPARAM wp, LPARAM lp) {
    const POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    Item* hit = HitItem(p);
    const std::int32_t shift = ShiftOf(wp);
    auto local = [&](const Item& item) {
        return std::make_pair(std::int32_t(p.x - item.place.left),
                              std::int32_t(p.y - item.place.top));
    };
    switch (msg) {
    case WM_MOUSEMOVE:
        if (hit)
            hit->control->OnMouseMove(ButtonsOf(wp), shift, local(*hit).first, local(*hit).second);
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN: {
        const std::int32_t button = msg == WM_LBUTTONDOWN ? 1 : msg == WM_RBUTTONDOWN ? 2 : 4;
        pressed_ = hit;
        if (hit) {
            SetCapture(container_);
            hit->control->OnMouseDown(button, shift, local(*hit).first, local(*hit).second);
        }
        break;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        const std::int32_t button = msg == WM_LBUTTONUP ? 1 : msg == WM_RBUTTONUP ? 2 : 4;
        Item* pressed = pressed_;
        pressed_ = nullptr;
        if (GetCapture() == container_) ReleaseCapture();
        if (pressed)
            pressed->control->OnMouseUp(button, shift, local(*pressed).first,
                                        local(*pressed).second);
        else if (hit)
            hit->control->OnMouseUp(button, shift, local(*hit).first, local(*hit).second);
        break;
    }
    case WM_LBUTTONDBLCLK:
        if (hit) hit->control->OnDblClick(local(*hit).first, local(*hit).second);
        break;
    default:
        break;
    }
}

bool AlphaImageHost::OnSetCursor() {
    POINT p{};
    if (!GetCursorPos(&p)) return false;
    ScreenToClient(container_, &p);
    Item* hit = HitItem(p);
    if (!hit || !hit->site->Cursor()) return false;
    SetCursor(hit->site->Cursor());
    return true;
}

void AlphaImageHost::OnTimer(UINT_PTR id) {
    const auto timer = static_cast<std::intptr_t>(id);
    for (const auto& item : items_)
        if (item->control->MouseTimerId() == timer || item->control->FadeTimerId() == timer) {
            item->control->OnTimer(timer);
            return;
        }
    KillTimer(container_, id); // nobody's any more
}

void CALLBACK AlphaImageHost::TimerProc(HWND hwnd, UINT, UINT_PTR id, DWORD) {
    auto* host = static_cast<AlphaImageHost*>(GetPropW(hwnd, kHostProperty));
    if (host && host->container_ == hwnd)
        host->OnTimer(id);
    else
        KillTimer(hwnd, id);
}

LRESULT AlphaImageHost::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT:
        if (items_.empty() && !background_) break;
        OnPaint();
        return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_LBUTTONDBLCLK:
        OnMouse(msg, wp, lp);
        break;
    case WM_SETCURSOR:
        if (LOWORD(lp) == HTCLIENT && OnSetCursor()) return TRUE;
        break;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lp) != container_) pressed_ = nullptr;
        break;
    default:
        break;
    }
    return DefSubclassProc(container_, msg, wp, lp);
}

LRESULT CALLBACK AlphaImageHost::SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                              DWORD_PTR self) {
    auto* host = reinterpret_cast<AlphaImageHost*>(self);
    if (msg == WM_NCDESTROY) {
        // The window goes before its host: stop using it.
        for (const auto& item : host->items_) {
            KillTimer(hwnd, static_cast<UINT_PTR>(item->control->MouseTimerId()));
            KillTimer(hwnd, static_cast<UINT_PTR>(item->control->FadeTimerId()));
        }
        RemovePropW(hwnd, kHostProperty);
        RemoveWindowSubclass(hwnd, &SubclassProc, kSubclassId);
        host->container_ = nullptr;
        return DefSubclassProc(hwnd, msg, wp, lp);
    }
    return host->OnMessage(msg, wp, lp);
}

} // namespace corvale
