#include "app/win32/main_pictures.h"

#include "app/win32/message_pump.h"

#include <shellapi.h>

namespace corvale::win32 {

std::string_view LinkAddressOf(std::string_view controlName) {
    if (controlName == "aicAlphaImage4") return kMakerWebSite;
    if (controlName == "aicAlphaImage5") return kSocialOnePage;
    if (controlName == "aicAlphaImage6") return kSocialTwoPage;
    return {};
}

void OpenWebPageWithShell(HWND owner, const std::string& address) {
    ShellExecuteA(owner, "Open", address.c_str(), "", "", SW_SHOWNORMAL);
}

MainWindowPictures::MainWindowPictures(FormWindow& form, WebPageOpener opener)
    : form_(form), opener_(std::move(opener)) {
    for (const Control& c : form_.Design().controls) {
        if (c.kind != ControlKind::AlphaImage || !c.position) continue;
        HWND container = c.container.empty() ? form_.Hwnd() : form_.Child(c.container);
        if (!container) continue;
        AlphaImageHost* host = HostOf(c.container);
        if (!host) {
            hosts_.emplace_back(c.container, std::make_unique<AlphaImageHost>(container));
            host = hosts_.back().second.get();
        }
        const TwipsRect& p = *c.position;
        const RECT place{form_.Px(p.left), form_.Px(p.top), form_.Px(p.left + p.width),
                         form_.Px(p.top + p.height)};
        aicAlphaImage& control = host->Add(c.DisplayName(), place, controls_);
        controls_.push_back(&control);
        if (const std::string_view address = LinkAddressOf(c.name); !address.empty()) {
            control.events.Click = [this, url = std::string(address)](std::int32_t) {
                YieldScope shellMayRunMessages; // the shell may wait on a message loop
                if (opener_) opener_(form_.Hwnd(), url);
            };
        }
        control.ReadProperties(c.properties);
        // The form's own enabled state stands over the control's stored default.
        control.Enabled(c.enabled);
        if (c.visible) control.Show();
    }
}

MainWindowPictures::~MainWindowPictures() {
    // Controls go before their hosts' windows stop being subclassed.
    hosts_.clear();
}

aicAlphaImage* MainWindowPictures::Find(std::string_view name) const {
    for (const auto& [container, host] : hosts_)
        if (aicAlphaImage* c = host->Find(name)) return c;
    return nullptr;
}

AlphaImageHost* MainWindowPictures::HostOf(std::string_view containerName) const {
    for (const auto& [name, host] : hosts_)
        if (name == containerName) return host.get();
    return nullptr;
}

} // namespace corvale::win32
