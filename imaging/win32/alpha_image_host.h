#pragma once
// Hosts windowless alpha image controls in an ordinary container window: the container is
// subclassed (SetWindowSubclass) so that it paints the controls over its background, hands them
// its mouse messages, shows their mouse pointers and runs their timers with a plain callback.
#include "imaging/aicAlphaImage.h"

#include <windows.h>

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvale {

class AlphaImageHost {
  public:
    // Subclasses container; nothing happens when it is not a window.
    explicit AlphaImageHost(HWND container);
    ~AlphaImageHost();
    AlphaImageHost(const AlphaImageHost&) = delete;
    AlphaImageHost& operator=(const AlphaImageHost&) = delete;

    HWND Container() const { return container_; }

    // Adds a control placed at (left, top, width, height) container pixels (left/top may be
    // negative). It joins the form's shared session: formControls lists the form's controls
    // made so far, in design order. The caller then reads its properties and shows it.
    aicAlphaImage& Add(std::string name, RECT place, std::span<aicAlphaImage* const> formControls);

    aicAlphaImage* Find(std::string_view name) const;
    // Container pixels of a control (after AutoSize).
    RECT PlaceOf(const aicAlphaImage& control) const;
    std::size_t Count() const { return items_.size(); }
    // Fills what is to be painted with brush first (the host does not own it), so a smaller
    // picture or none leaves no trace of the one before; null: the container's own background.
    void SetBackground(HBRUSH brush) { background_ = brush; }

  private:
    class Site;
    struct Item;
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                         DWORD_PTR self);
    static void CALLBACK TimerProc(HWND hwnd, UINT msg, UINT_PTR id, DWORD time);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    void OnPaint();
    void OnMouse(UINT msg, WPARAM wp, LPARAM lp);
    bool OnSetCursor();
    void OnTimer(UINT_PTR id);
    // The topmost control whose shape holds the point, or nullptr.
    Item* HitItem(POINT p) const;
    void Detach();

    HWND container_ = nullptr;
    std::vector<std::unique_ptr<Item>> items_;
    Item* pressed_ = nullptr;
    HBRUSH background_ = nullptr;
};

} // namespace corvale
