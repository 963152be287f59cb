#pragma once
// ppgSourceImage, the design-time page of the alpha image control ("Image Source"): loads the
// control's picture from a file, the clipboard or a dropped file into a preview control, lets
// the designer pick one entry of an icon or cursor file, clears it, and describes what was
// loaded. Texts, dialog settings and the load/pick/clear rules live here; the window is in
// imaging/win32/source_image_page_window.h.
#include "codecs/cICOparser.h"
#include "imaging/aicAlphaImage.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvale {

inline constexpr char kSourceImagePageCaption[] = "Image Source";
inline constexpr char kSelectImageTitle[] = "Select Image";
// OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES | OFN_ENABLESIZING | OFN_DONTADDTORECENT
inline constexpr std::uint32_t kSelectImageFlags = 0x02A81000;
inline constexpr char kIconListFont[] = "Arial";

// "016x016 {8 bit, 256 colors}" for an entry of an icon or cursor file.
std::string IconEntryText(const IconSize& entry);
// "W x H - PNG file" and the like for a loaded picture (icons and cursors: the size only, the
// icon list says the rest); empty without a picture.
std::string ImageDescription(std::int32_t imageType, bool alpha, std::int32_t width,
                             std::int32_t height);
// The open dialog's filter: description and pattern pairs, each ended by a NUL, then one more.
std::string SelectImageFilter(bool gdiplusAvailable);

class ppgSourceImage {
  public:
    // preview is the page's own alpha image control; it keeps the source bytes of what it loads
    // so that icon entries can be picked afterwards.
    explicit ppgSourceImage(aicAlphaImage& preview);

    // Shows a stored picture (the selected control's "Image") without marking the page changed.
    void Show(std::span<const std::uint8_t> picture, std::int32_t wantedWidth,
              std::int32_t wantedHeight);
    // Browse or drop: the current picture is cleared and the file is loaded with the wanted
    // icon size. On success the description and icon list are rebuilt and the page is marked
    // changed; a file that does not load gives false and the picture shown before.
    bool LoadFile(std::string_view fileName, std::int32_t wantedWidth, std::int32_t wantedHeight);
    // From Clipboard (LoadFile goes the same way): the current picture is cleared and
    // fromClipboard loads the preview; the same rebuild and mark on success, the picture shown
    // before on failure.
    bool LoadClipboard(const std::function<bool(aicAlphaImage&)>& fromClipboard,
                       std::int32_t wantedWidth, std::int32_t wantedHeight);
    // An entry of the icon list was chosen: reloads the kept source bytes with its size and depth.
    bool PickIcon(int entry);
    // Clear Image.
    void Clear();

    const std::string& Description() const { return description_; }
    const std::vector<std::string>& IconEntries() const { return iconTexts_; }
    bool Changed() const { return changed_; }
    void ClearChanged() { changed_ = false; }
    bool HasPicture() const;
    // What the selected control stores as "Image": empty when the page shows no picture; the
    // picked icon entry or a picture without kept source bytes (a metafile from the clipboard)
    // as PNG; nothing when such a picture cannot be encoded (it must not be taken for none).
    std::optional<Bytes> StoredImage() const;

  private:
    void Rebuild();
    // The bytes the preview was loaded from (empty without a picture).
    Bytes SourceBytes() const;

    aicAlphaImage* preview_;
    std::vector<IconSize> icons_;
    std::vector<std::string> iconTexts_;
    std::string description_;
    bool changed_ = false;
    bool picked_ = false; // an icon entry was picked since the picture was loaded
};

} // namespace corvale
