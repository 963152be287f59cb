#include "imaging/cCrossComm.h"

#include <algorithm>

namespace corvale {
namespace {
constexpr std::int32_t kFirstSlots = 6;
constexpr std::int32_t kSpareSlots = 5;
} // namespace

cCrossComm::~cCrossComm() = default;

std::size_t cCrossComm::LowerBound(std::uintptr_t identity) const {
    std::size_t low = 0, high = controls_.size();
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (IdentityOf(controls_[mid]) < identity)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

bool cCrossComm::IsRegistered(const ICrossComm* ucPointer) const {
    if (!ucPointer) return false;
    const std::size_t at = LowerBound(IdentityOf(ucPointer));
    return at < controls_.size() && controls_[at] == ucPointer;
}

void cCrossComm::AddRef(ICrossComm* ucPointer) {
    if (!ucPointer) return;
    if (controls_.empty()) {
        slots_ = kFirstSlots;
        controls_.reserve(static_cast<std::size_t>(slots_));
        controls_.push_back(ucPointer);
        return;
    }
    const std::size_t at = LowerBound(IdentityOf(ucPointer));
    if (at < controls_.size() && controls_[at] == ucPointer) return;
    const auto newCount = static_cast<std::int32_t>(controls_.size()) + 1;
    if (newCount > slots_) {
        slots_ = newCount + kSpareSlots;
        controls_.reserve(static_cast<std::size_t>(slots_));
    }
    controls_.insert(controls_.begin() + static_cast<std::ptrdiff_t>(at), ucPointer);
}

void cCrossComm::RemoveRef(ICrossComm* ucPointer) {
    if (!ucPointer) return;
    const std::size_t at = LowerBound(IdentityOf(ucPointer));
    if (at < controls_.size() && controls_[at] == ucPointer) {
        controls_.erase(controls_.begin() + static_cast<std::ptrdiff_t>(at));
        if (controls_.empty()) {
            slots_ = 0;
            controls_.shrink_to_fit();
        } else if (slots_ - Count() > kSpareSlots) {
            slots_ = Count();
            controls_.shrink_to_fit();
        }
    }
    // The holder is gone: forget it quietly, it can no longer raise events.
    if (captured_ == ucPointer) captured_ = nullptr;
}

void cCrossComm::CapturedControl(ICrossComm* ucPointer) {
    if (captured_ && captured_ != ucPointer) {
        ICrossComm* previous = captured_;
        // Cleared first so that the previous holder sees itself released while it reacts.
        captured_ = nullptr;
        previous->ReleaseMouseCapture();
    }
    captured_ = ucPointer;
}

#ifndef _WIN32
bool cCrossComm::ManageGDIToken(std::intptr_t) {
    gdiToken_ = kNoSession;
    return false;
}
#endif

} // namespace corvale
