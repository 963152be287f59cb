#pragma once
// The main window's four alpha images (the logo and the three link images), made from the
// stored design data inside their picture boxes; a click on a link image opens its web page.
#include "app/win32/form_window.h"
#include "imaging/win32/alpha_image_host.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvale::win32 {

// The maker's pages.
inline constexpr std::string_view kMakerWebSite = "https://www.example.com/corvale";
inline constexpr std::string_view kSocialOnePage = "https://social-one.example.org/varnholt";
inline constexpr std::string_view kSocialTwoPage = "https://social-two.example.net/varnholt";

// The web address a link image opens (empty for other controls).
std::string_view LinkAddressOf(std::string_view controlName);

// Opens a web address with the given owner window.
using WebPageOpener = std::function<void(HWND owner, const std::string& address)>;
// ShellExecuteA(owner, "Open", address, "", "", SW_SHOWNORMAL); the result is not looked at.
void OpenWebPageWithShell(HWND owner, const std::string& address);

class MainWindowPictures {
  public:
    // Makes every alpha image of the form's design inside its container window. A click on a
    // link image calls opener with the form's window and the image's address.
    MainWindowPictures(FormWindow& form, WebPageOpener opener);
    ~MainWindowPictures();
    MainWindowPictures(const MainWindowPictures&) = delete;
    MainWindowPictures& operator=(const MainWindowPictures&) = delete;

    aicAlphaImage* Find(std::string_view name) const;
    // The host of a container ("Picture4"), or nullptr.
    AlphaImageHost* HostOf(std::string_view containerName) const;
    std::size_t Count() const { return controls_.size(); }

  private:
    FormWindow& form_;
    WebPageOpener opener_;
    std::vector<std::pair<std::string, std::unique_ptr<AlphaImageHost>>> hosts_;
    std::vector<aicAlphaImage*> controls_;
};

} // namespace corvale::win32
