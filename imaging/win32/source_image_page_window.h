#pragma once
// The "Image Source" property page on a real property sheet: Browse, From Clipboard and Clear
// Image buttons, the icon entry list, the description line and a preview alpha image control;
// files dropped on the page load like Browse. Any change marks the page changed (the sheet
// enables Apply); Apply and OK hand the picture the selected control stores to the owner.
#include "imaging/source_image_page.h"
#include "imaging/win32/alpha_image_host.h"
#include "platform/win32/gdi_handles.h"
#include "platform/win32/property_page_template.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <functional>
#include <memory>
#include <string>

namespace corvale::win32 {

class SourceImagePropertyPage {
  public:
    // Control ids on the page, named as the page's elements.
    enum ControlId : int {
        cmdBrowse = 100,
        cmdClipBoard = 101,
        Command1 = 102, // "Clear Image"
        cboIcon = 103,
        lblFormat = 104,
        ucAlphaImage1 = 105, // the frame the preview control is drawn in
    };

    // Stores the picture (empty: the user cleared it); false keeps the sheet open (the owner
    // said why, in a message owned by the page's sheet).
    using ApplyHandler = std::function<bool(HWND page, const Bytes& picture)>;
    // Reports a picture that did not load or cannot be stored.
    using Complaint = std::function<void(HWND page, const std::string& text)>;

    // picture: the selected control's stored "Image" (may be empty), read from pictureName (for
    // messages); wanted: the control's size in pixels, the icon size asked of icon files.
    SourceImagePropertyPage(Bytes picture, std::string pictureName, SIZE wanted,
                            ApplyHandler onApply, Complaint complain);
    ~SourceImagePropertyPage();
    SourceImagePropertyPage(const SourceImagePropertyPage&) = delete;
    SourceImagePropertyPage& operator=(const SourceImagePropertyPage&) = delete;

    PROPSHEETPAGEW Page();
    // The page's logic while the page is up (nullptr otherwise).
    const ppgSourceImage* Model() const { return page_.get(); }

    // Loads a file as Browse does after its dialog (also used for dropped files).
    bool LoadFile(const std::string& fileName);

  private:
    friend INT_PTR CALLBACK PageDialogProc<SourceImagePropertyPage>(HWND, UINT, WPARAM, LPARAM);
    INT_PTR OnMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void OnInit(HWND hwnd);
    void OnDestroy();
    void OnCommand(int id, int code);
    void OnDrop(HDROP drop);
    INT_PTR OnNotify(const NMHDR& header);
    void Browse();
    void FromClipboard();
    // Description, icon list and preview after a change; marks the page changed when it is.
    void ShowState();
    void FillIconList();

    Bytes initial_;
    std::string initialName_;
    SIZE wanted_;
    ApplyHandler onApply_;
    Complaint complain_;
    PageTemplate template_;
    std::wstring caption_;
    HWND hwnd_ = nullptr;
    FontHandle arial_;
    std::unique_ptr<AlphaImageHost> host_;
    aicAlphaImage* preview_ = nullptr; // owned by host_
    std::unique_ptr<ppgSourceImage> page_;
};

} // namespace corvale::win32
