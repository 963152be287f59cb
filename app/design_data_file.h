#pragma once
// The design data of one window as a file on disk, opened for editing by the form designer.
// Edits change only the text of the values they touch (a control's "tag", one stored property),
// so everything else in the file keeps its bytes and its layout, and a diff shows just the
// edit. Files are written beside their target and then moved over it, so a failure never
// leaves a half-written file behind.
#include "app/form_data.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace corvale {

// A file name from UTF-8 text, and back.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string Utf8FromPath(const std::filesystem::path& path);

// Writes bytes to a new file beside path, then replaces path with it; a read-only path is
// refused. On failure path is left as it was and error says why.
bool ReplaceFileSafely(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                       std::string& error);

// Text edits of a design-data JSON text. Each returns false (text unchanged) when the control
// or the place to edit is not found. Controls are matched by name and array index.
bool SetControlTagText(std::string& json, std::string_view name, std::optional<std::int32_t> index,
                       std::string_view tag);
// Sets a stored property (name compared without regard to case) to {"file": relativePath},
// adding it, or the control's "properties", when missing.
bool SetControlPropertyFile(std::string& json, std::string_view name,
                            std::optional<std::int32_t> index, std::string_view property,
                            std::string_view relativePath);
// Removes a stored property; the control's "properties" goes too when it becomes empty.
bool RemoveControlProperty(std::string& json, std::string_view name,
                           std::optional<std::int32_t> index, std::string_view property);

// The file extension ("png", "gif", "bmp", "ico", "cur", "wmf", "emf") that the picture bytes
// announce; "bin" for anything else.
std::string_view PictureExtension(std::span<const std::uint8_t> bytes);

class DesignDataFile {
  public:
    // Reads and checks a design-data file; pictures are read relative to its folder and may
    // not leave it. Nothing when the file cannot be read or is not design data (error says why).
    static std::optional<DesignDataFile> Open(const std::filesystem::path& path,
                                              std::string& error);

    const std::filesystem::path& Path() const { return path_; }
    // The JSON text as read (without a byte-order mark, which is written back as it was).
    const std::string& Text() const { return text_; }

    // Whether the file on disk no longer holds what was read (compared by content). Saves
    // refuse then, so that edits made meanwhile are not overwritten.
    bool ChangedOnDisk() const;
    // Reads the file again, dropping what this object held. On failure nothing changes.
    bool Reload(std::string& error);
    // The picture file the control's "Image" names ("" when it has none).
    std::string PictureFileOf(std::string_view name, std::optional<std::int32_t> index) const;
    // The form as stored.
    const Form& Model() const { return form_; }

    // Writes the Tag of every control whose Tag differs between the stored form and edited
    // (controls matched by name and index). Nothing changes on disk when nothing differs.
    bool SaveTags(const Form& edited, std::string& error);

    // Stores picture as the control's "Image": the bytes go into a picture file under
    // "pictures/" (the control's own file is rewritten when no other control of any form in the
    // folder uses it; otherwise a new file named after the control), then the design data
    // refers to it. An empty picture removes "Image". A picture file no longer named by any
    // design data in the folder is removed.
    bool SavePicture(std::string_view name, std::optional<std::int32_t> index,
                     std::span<const std::uint8_t> picture, std::string& error);

    // Bytes of a file of the design data by its relative path, refusing paths that leave the
    // folder.
    std::optional<Bytes> ReadDesignFile(std::string_view relativePath) const;

  private:
    bool Commit(std::string text, std::string& error);
    bool RefuseIfChangedOnDisk(std::string& error) const;
    void RemoveIfUnused(const std::string& relativePath) const;
    // How many stored properties of all forms in the folder name this picture file.
    int FileUses(std::string_view relativePath) const;

    std::filesystem::path path_;
    std::string mark_; // the UTF-8 byte-order mark the file starts with, if any
    std::string text_;
    Form form_;
};

} // namespace corvale
