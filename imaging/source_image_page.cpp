#include "imaging/source_image_page.h"

namespace corvale {

namespace {

// A number written with at least three digits ("016").
std::string ThreeDigits(std::int32_t v) {
    std::string s = std::to_string(v);
    if (v >= 0 && s.size() < 3) s.insert(0, 3 - s.size(), '0');
    return s;
}

} // namespace

std::string IconEntryText(const IconSize& e) {
    std::string text = ThreeDigits(e.width) + "x" + ThreeDigits(e.height) + " {" +
                       std::to_string(e.bitDepth) + " bit, ";
    if (e.colors == 0xFF000000)
        text += "True Color}";
    else if (e.colors == -1)
        text += "True Color Alpha}";
    else if (e.colors == 0xFFFF00)
        text += "High Color}";
    else
        text += std::to_string(e.colors) + " colors}";
    return text;
}

std::string ImageDescription(std::int32_t imageType, bool alpha, std::int32_t width,
                             std::int32_t height) {
    namespace t = image_type;
    if (imageType == t::kNone || imageType == t::kBlank || width <= 0 || height <= 0) return {};
    std::string text = std::to_string(width) + " x " + std::to_string(height);
    switch (imageType) {
    case t::kBitmap:
        return text + " - Bitmap or JPG file";
    case t::kMetafile:
    case t::kEnhMetafile:
        return text + " - Windows Meta File";
    case t::kAlphaBitmap:
    case t::kAlphaBitmapPremultiplied:
        return text + " - Alpha Bitmap";
    case t::kGif:
        return text + (alpha ? " - Transparent GIF" : " - GIF file");
    case t::kPng:
        return text + " - PNG file";
    default:
        return text;
    }
}

std::string SelectImageFilter(bool gdiplusAvailable) {
    std::string f;
    auto add = [&f](std::string_view description, std::string_view pattern) {
        f.append(description).push_back('\0');
        f.append(pattern).push_back('\0');
    };
    add("Image Files", gdiplusAvailable
                           ? "*gif;*.bmp;*.jpg;*.jpeg;*.ico;*.cur;*.wmf;*.emf;*.png;*.tiff"
                           : "*gif;*.bmp;*.jpg;*.jpeg;*.ico;*.cur;*.wmf;*.emf;*.png");
    add("Bitmaps", "*.bmp");
    add("GIFs", "*.gif");
    add("Icons and Cursors", "*.ico;*.cur");
    add("JPGs", "*.jpg;*.jpeg");
    add("Meta Files", "*.wmf;*.emf");
    add("PNGs", "*.png");
    if (gdiplusAvailable) add("Tiff", "*.tiff");
    add("All Files", "*.*");
    f.push_back('\0');
    return f;
}

ppgSourceImage::ppgSourceImage(aicAlphaImage& preview) : preview_(&preview) {
    preview_->KeepOriginalFormat(true);
}

bool ppgSourceImage::HasPicture() const {
    return preview_->ImageType() != image_type::kNone &&
           preview_->ImageType() != image_type::kBlank && preview_->Image().Width() > 0;
}

void ppgSourceImage::Rebuild() {
    const c32bppDIB& image = preview_->Image();
    icons_.clear();
    iconTexts_.clear();
    if (HasPicture()) {
        image.SourceIconSizes(icons_);
        for (const IconSize& e : icons_) iconTexts_.push_back(IconEntryText(e));
    }
    description_ = HasPicture() ? ImageDescription(image.ImageType(), image.Alpha(), image.Width(),
                                                   image.Height())
                                : std::string();
}

void ppgSourceImage::Show(std::span<const std::uint8_t> picture, std::int32_t wantedWidth,
                          std::int32_t wantedHeight) {
    preview_->ClearImage();
    picked_ = false;
    if (!picture.empty()) preview_->LoadImage_FromArray(picture, 0, 0, wantedWidth, wantedHeight);
    Rebuild();
}

bool ppgSourceImage::LoadFile(std::string_view fileName, std::int32_t wantedWidth,
                              std::int32_t wantedHeight) {
    return LoadClipboard(
        [&](aicAlphaImage& preview) {
            return preview.LoadImage_FromFile(fileName, wantedWidth, wantedHeight);
        },
        wantedWidth, wantedHeight);
}

bool ppgSourceImage::LoadClipboard(const std::function<bool(aicAlphaImage&)>& fromClipboard,
                                   std::int32_t wantedWidth, std::int32_t wantedHeight) {
    const Bytes previous = SourceBytes();
    preview_->ClearImage();
    if (!fromClipboard(*preview_)) {
        // A picture that does not load is no change: the one shown before comes back.
        Show(previous, wantedWidth, wantedHeight);
        return false;
    }
    picked_ = false;
    Rebuild();
    changed_ = true;
    return true;
}

Bytes ppgSourceImage::SourceBytes() const {
    Bytes bytes;
    if (HasPicture() && !preview_->Image().GetOrginalFormat(bytes))
        bytes = StoredImage().value_or(Bytes{});
    return bytes;
}

bool ppgSourceImage::PickIcon(int entry) {
    if (entry < 0 || entry >= static_cast<int>(icons_.size())) return false;
    const IconSize e = icons_[static_cast<std::size_t>(entry)];
    const bool ok = preview_->LoadImage_FromOrignalBytes(e.width, e.height, e.bitDepth);
    picked_ = ok;
    description_ = HasPicture()
                       ? ImageDescription(preview_->Image().ImageType(), preview_->Image().Alpha(),
                                          preview_->Image().Width(), preview_->Image().Height())
                       : std::string();
    changed_ = true;
    return ok;
}

void ppgSourceImage::Clear() {
    preview_->ClearImage();
    picked_ = false;
    Rebuild();
    changed_ = true;
}

std::optional<Bytes> ppgSourceImage::StoredImage() const {
    if (!HasPicture()) return Bytes{};
    if (!picked_) {
        PropertyBag bag;
        preview_->WriteProperties(bag);
        const Bytes* image = bag.GetBytes("Image");
        if (image && !image->empty()) return *image;
    }
    // The pixels shown are what is kept.
    Bytes png;
    if (!preview_->Image().SaveToStream_PNG(png) || png.empty()) return std::nullopt;
    return png;
}

} // namespace corvale
