#pragma once
// The object that the alpha image controls of one form share: the GDI+ session token and the
// record of which control currently holds the mouse, plus the list of controls using it.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvale {

class cCrossComm;

// How the controls of a form reach each other.
class ICrossComm {
  public:
    // The control's shared object, or nullptr when it has none yet.
    virtual cCrossComm* CrossTalkClass() = 0;
    // The control stops tracking the mouse and raises its MouseExit.
    virtual void ReleaseMouseCapture() = 0;

  protected:
    ~ICrossComm() = default;
};

class cCrossComm {
  public:
    cCrossComm() = default;
    ~cCrossComm();
    cCrossComm(const cCrossComm&) = delete;
    cCrossComm& operator=(const cCrossComm&) = delete;

    // Registers a control (kept once, ordered by its address); nullptr is ignored.
    void AddRef(ICrossComm* ucPointer);
    // Unregisters a control; when it held the mouse the record is cleared without any event.
    void RemoveRef(ICrossComm* ucPointer);

    ICrossComm* CapturedControl() const { return captured_; }
    // Records the control holding the mouse; a different previous holder is asked to release
    // the mouse first (it raises MouseExit). nullptr clears the record that way too.
    void CapturedControl(ICrossComm* ucPointer);

    // The GDI+ session token: 0 none, kForeignSession when another object runs the session of
    // the same top-level window.
    // A token is an opaque pointer-sized value: only these two marks mean anything.
    std::uintptr_t gdiToken() const { return gdiToken_; }
    static constexpr std::uintptr_t kNoSession = 0;
    static constexpr std::uintptr_t kForeignSession = static_cast<std::uintptr_t>(-1);

    // Starts the shared GDI+ session for the top-level window above containerHwnd, unless one
    // already runs there (then the token becomes kForeignSession). True when a token is held.
    // Without Windows there is no GDI+: the token stays 0.
    bool ManageGDIToken(std::intptr_t containerHwnd);

    std::int32_t Count() const { return static_cast<std::int32_t>(controls_.size()); }
    // Slots the registry holds (grows by 5 spare ones, shrinks when more than 5 are spare).
    std::int32_t SlotCount() const { return slots_; }
    bool IsRegistered(const ICrossComm* ucPointer) const;
    // The registered controls in ascending address order.
    const std::vector<ICrossComm*>& Controls() const { return controls_; }

  private:
    // Index of the first entry not below the identity (binary search).
    std::size_t LowerBound(std::uintptr_t identity) const;

    std::vector<ICrossComm*> controls_;
    std::int32_t slots_ = 0;
    std::uintptr_t gdiToken_ = kNoSession;
    ICrossComm* captured_ = nullptr;
};

// A control identity: its address compared as an integer.
inline std::uintptr_t IdentityOf(const ICrossComm* control) {
    return reinterpret_cast<std::uintptr_t>(control);
}

} // namespace corvale
