#include "app/design_data_file.h"

#include "platform/ascii_text.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace corvale {
namespace {

using Json = nlohmann::json;

constexpr std::uintmax_t kMaxDesignFile = 64u << 20; // design data and pictures alike
constexpr int kMaxNesting = 64;

// Where things are in a JSON text: just enough of a reader to find a value's bytes. The text
// has been through the full parser before, but every step still checks its bounds.
struct Span {
    std::size_t begin = 0, end = 0;
};
struct Member {
    std::string key;
    std::size_t keyBegin = 0;
    Span value;
};

class Locator {
  public:
    explicit Locator(std::string_view text) : s_(text) {}

    std::optional<std::vector<Member>> Object(std::size_t at) {
        std::vector<Member> members;
        const bool whole = List(at, '{', '}', [&](std::size_t p) -> std::optional<std::size_t> {
            Member m;
            m.keyBegin = p;
            auto keyEnd = String(p);
            if (!keyEnd) return std::nullopt;
            auto key = Json::parse(s_.substr(p, *keyEnd - p), nullptr, false);
            if (!key.is_string()) return std::nullopt;
            m.key = key.get<std::string>();
            p = SkipSpace(*keyEnd);
            if (p >= s_.size() || s_[p] != ':') return std::nullopt;
            m.value.begin = SkipSpace(p + 1);
            auto valueEnd = Value(m.value.begin, 0);
            if (!valueEnd) return std::nullopt;
            m.value.end = *valueEnd;
            members.push_back(std::move(m));
            return valueEnd;
        });
        if (!whole) return std::nullopt;
        return members;
    }

    std::optional<std::vector<Span>> Array(std::size_t at) {
        std::vector<Span> items;
        const bool whole = List(at, '[', ']', [&](std::size_t p) -> std::optional<std::size_t> {
            auto end = Value(p, 0);
            if (end) items.push_back({p, *end});
            return end;
        });
        if (!whole) return std::nullopt;
        return items;
    }

  private:
    // Reads `open`, entries separated by commas, `close` from `at` on, each entry by
    // entry(p) -> where it ends (nothing: malformed). Whether the whole list was well formed.
    template <class Entry> bool List(std::size_t at, char open, char close, Entry entry) {
        std::size_t p = SkipSpace(at);
        if (p >= s_.size() || s_[p] != open) return false;
        p = SkipSpace(p + 1);
        if (p < s_.size() && s_[p] == close) return true;
        while (p < s_.size()) {
            const std::optional<std::size_t> end = entry(p);
            if (!end) return false;
            p = SkipSpace(*end);
            if (p < s_.size() && s_[p] == close) return true;
            if (p >= s_.size() || s_[p] != ',') return false;
            p = SkipSpace(p + 1);
        }
        return false;
    }

    std::size_t SkipSpace(std::size_t p) const {
        while (p < s_.size() && (s_[p] == ' ' || s_[p] == '\t' || s_[p] == '\n' || s_[p] == '\r'))
            ++p;
        return p;
    }

    std::optional<std::size_t> String(std::size_t p) const {
        if (p >= s_.size() || s_[p] != '"') return std::nullopt;
        for (++p; p < s_.size(); ++p) {
            if (s_[p] == '\\')
                ++p;
            else if (s_[p] == '"')
                return p + 1;
        }
        return std::nullopt;
    }

    // End of the value starting at p.
    std::optional<std::size_t> Value(std::size_t p, int depth) const {
        if (p >= s_.size() || depth > kMaxNesting) return std::nullopt;
        const char c = s_[p];
        if (c == '"') return String(p);
        if (c == '{' || c == '[') {
            const char close = c == '{' ? '}' : ']';
            p = SkipSpace(p + 1);
            if (p < s_.size() && s_[p] == close) return p + 1;
            while (p < s_.size()) {
                if (c == '{') {
                    auto keyEnd = String(p);
                    if (!keyEnd) return std::nullopt;
                    p = SkipSpace(*keyEnd);
                    if (p >= s_.size() || s_[p] != ':') return std::nullopt;
                    p = SkipSpace(p + 1);
                }
                auto end = Value(p, depth + 1);
                if (!end) return std::nullopt;
                p = SkipSpace(*end);
                if (p < s_.size() && s_[p] == close) return p + 1;
                if (p >= s_.size() || s_[p] != ',') return std::nullopt;
                p = SkipSpace(p + 1);
            }
            return std::nullopt;
        }
        // number, true, false, null
        const std::size_t start = p;
        while (p < s_.size() && s_[p] != ',' && s_[p] != '}' && s_[p] != ']' && s_[p] != ' ' &&
               s_[p] != '\n' && s_[p] != '\r' && s_[p] != '\t')
            ++p;
        if (p == start) return std::nullopt;
        return p;
    }

    std::string_view s_;
};

// The member a reader sees: when a key comes twice, the parser keeps the last one, so edits go
// to the last one too.
const Member* FindMember(const std::vector<Member>& members, std::string_view key,
                         bool ignoreCase = false) {
    for (auto it = members.rbegin(); it != members.rend(); ++it)
        if (ignoreCase ? SameTextIgnoringCase(it->key, key) : it->key == key) return &*it;
    return nullptr;
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The members of the control with this name and index.
std::optional<std::vector<Member>> ControlMembers(std::string_view json, std::string_view name,
                                                  std::optional<std::int32_t> index) {
    Locator loc(json);
    auto top = loc.Object(0);
    if (!top) return std::nullopt;
    const Member* controls = FindMember(*top, "controls");
    if (!controls) return std::nullopt;
    auto items = loc.Array(controls->value.begin);
    if (!items) return std::nullopt;
    for (const Span& item : *items) {
        auto members = loc.Object(item.begin);
        if (!members) continue;
        const Member* n = FindMember(*members, "name");
        if (!n) continue;
        auto nameValue =
            Json::parse(json.substr(n->value.begin, n->value.end - n->value.begin), nullptr, false);
        if (!nameValue.is_string() || nameValue.get<std::string>() != name) continue;
        std::optional<std::int32_t> at;
        if (const Member* i = FindMember(*members, "index")) {
            auto v = Json::parse(json.substr(i->value.begin, i->value.end - i->value.begin),
                                 nullptr, false);
            if (!v.is_number_integer()) continue;
            at = v.get<std::int32_t>();
        }
        if (at == index) return members;
    }
    return std::nullopt;
}

std::string Quoted(std::string_view text) {
    return Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string FileValue(std::string_view relativePath) {
    return "{ \"file\": " + Quoted(relativePath) + " }";
}

// Removes member i of an object, with the comma that joins it to its neighbour.
void EraseMember(std::string& json, const std::vector<Member>& members, std::size_t i) {
    if (i + 1 < members.size())
        json.erase(members[i].keyBegin, members[i + 1].keyBegin - members[i].keyBegin);
    else if (i > 0)
        json.erase(members[i - 1].value.end, members[i].value.end - members[i - 1].value.end);
}

bool ReadWholeFile(const std::filesystem::path& path, Bytes& out, std::string& error) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        error = "cannot read " + Utf8FromPath(path) + ": " + ec.message();
        return false;
    }
    if (size > kMaxDesignFile) {
        error = Utf8FromPath(path) + " is too large";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + Utf8FromPath(path);
        return false;
    }
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad() || out.size() != size) {
        error = "cannot read " + Utf8FromPath(path);
        return false;
    }
    return true;
}

// A relative path that stays inside the design data's folder ("pictures/x.png").
bool IsInsideFolder(std::string_view relativePath) {
    if (relativePath.empty()) return false;
    const std::filesystem::path p = PathFromUtf8(relativePath);
    if (p.is_absolute() || p.has_root_name() || p.has_root_directory()) return false;
    for (const auto& part : p)
        if (part == "..") return false;
    return true;
}

std::string ControlFileStem(std::string_view name, std::optional<std::int32_t> index) {
    std::string stem;
    for (char c : name)
        stem +=
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ? c : '_';
    if (index) stem += "_" + std::to_string(*index);
    return stem;
}

} // namespace

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string s = path.u8string();
    return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

bool ReplaceFileSafely(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                       std::string& error) {
    // A read-only file is not replaced (moving over it would succeed on some systems).
    std::error_code statusError;
    const auto status = std::filesystem::status(path, statusError);
    if (!statusError && std::filesystem::exists(status) &&
        (status.permissions() & std::filesystem::perms::owner_write) ==
            std::filesystem::perms::none) {
        error = Utf8FromPath(path) + " is read-only";
        return false;
    }
    std::filesystem::path beside = path;
    beside += ".saving";
    {
        std::ofstream out(beside, std::ios::binary | std::ios::trunc);
        if (out)
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            error = "cannot write " + Utf8FromPath(beside);
            out.close();
            std::error_code ignored;
            std::filesystem::remove(beside, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(beside, path, ec);
    if (ec) {
        error = "cannot replace " + Utf8FromPath(path) + ": " + ec.message();
        std::error_code ignored;
        std::filesystem::remove(beside, ignored);
        return false;
    }
    return true;
}

bool SetControlTagText(std::string& json, std::string_view name, std::optional<std::int32_t> index,
                       std::string_view tag) {
    auto members = ControlMembers(json, name, index);
    if (!members || members->empty()) return false;
    if (const Member* t = FindMember(*members, "tag")) {
        json.replace(t->value.begin, t->value.end - t->value.begin, Quoted(tag));
        return true;
    }
    // A new tag goes after the control's place, as the existing entries have it.
    const Member* after = FindMember(*members, "position");
    if (!after) after = FindMember(*members, "kind");
    if (!after) after = &members->back();
    json.insert(after->value.end, ", \"tag\": " + Quoted(tag));
    return true;
}

bool SetControlPropertyFile(std::string& json, std::string_view name,
                            std::optional<std::int32_t> index, std::string_view property,
                            std::string_view relativePath) {
    auto members = ControlMembers(json, name, index);
    if (!members || members->empty()) return false;
    const std::string value = FileValue(relativePath);
    const Member* props = FindMember(*members, "properties");
    if (!props) {
        json.insert(members->back().value.end,
                    ", \"properties\": { " + Quoted(property) + ": " + value + " }");
        return true;
    }
    Locator loc(json);
    auto bag = loc.Object(props->value.begin);
    if (!bag) return false;
    if (const Member* p = FindMember(*bag, property, true)) {
        json.replace(p->value.begin, p->value.end - p->value.begin, value);
    } else if (!bag->empty()) {
        json.insert(bag->front().keyBegin, Quoted(property) + ": " + value + ", ");
    } else {
        json.replace(props->value.begin, props->value.end - props->value.begin,
                     "{ " + Quoted(property) + ": " + value + " }");
    }
    return true;
}

namespace {

// A control's members and the members of the object its "properties" entry holds.
struct ControlBag {
    std::vector<Member> members;
    std::size_t properties = 0; // where the "properties" entry stands in `members`
    std::vector<Member> bag;
};

std::optional<ControlBag> ControlPropertyBag(std::string_view json, std::string_view name,
                                             std::optional<std::int32_t> index) {
    auto members = ControlMembers(json, name, index);
    if (!members) return std::nullopt;
    const Member* props = FindMember(*members, "properties");
    if (!props) return std::nullopt;
    auto bag = Locator(json).Object(props->value.begin);
    if (!bag) return std::nullopt;
    const auto at = static_cast<std::size_t>(props - members->data());
    return ControlBag{std::move(*members), at, std::move(*bag)};
}

} // namespace

bool RemoveControlProperty(std::string& json, std::string_view name,
                           std::optional<std::int32_t> index, std::string_view property) {
    auto found = ControlPropertyBag(json, name, index);
    if (!found) return false;
    const Member* p = FindMember(found->bag, property, true);
    if (!p) return false;
    if (found->bag.size() == 1) {
        EraseMember(json, found->members, found->properties);
        return true;
    }
    EraseMember(json, found->bag, static_cast<std::size_t>(p - found->bag.data()));
    return true;
}

std::string_view PictureExtension(std::span<const std::uint8_t> b) {
    auto starts = [&](std::initializer_list<std::uint8_t> sig, std::size_t at = 0) {
        if (b.size() < at + sig.size()) return false;
        std::size_t i = at;
        for (std::uint8_t v : sig)
            if (b[i++] != v) return false;
        return true;
    };
    if (starts({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return "png";
    if (starts({'G', 'I', 'F', '8'})) return "gif";
    if (starts({'B', 'M'})) return "bmp";
    if (starts({0, 0, 1, 0})) return "ico";
    if (starts({0, 0, 2, 0})) return "cur";
    if (starts({0xD7, 0xCD, 0xC6, 0x9A})) return "wmf";
    if (starts({1, 0, 0, 0}) && starts({' ', 'E', 'M', 'F'}, 40)) return "emf";
    return "bin";
}

std::optional<DesignDataFile> DesignDataFile::Open(const std::filesystem::path& path,
                                                   std::string& error) {
    DesignDataFile file;
    file.path_ = path;
    Bytes bytes;
    if (!ReadWholeFile(path, bytes, error)) return std::nullopt;
    file.text_.assign(bytes.begin(), bytes.end());
    // A byte-order mark is kept aside and written back as it was; edits see the JSON alone.
    if (file.text_.starts_with(kUtf8Mark)) {
        file.mark_ = kUtf8Mark;
        file.text_.erase(0, kUtf8Mark.size());
    }
    auto loaded = LoadFormJson(file.text_,
                               [&file](std::string_view rel) { return file.ReadDesignFile(rel); });
    if (!loaded.form) {
        error = Utf8FromPath(path.filename()) + " is not design data: " + loaded.error;
        return std::nullopt;
    }
    file.form_ = std::move(*loaded.form);
    return file;
}

std::optional<Bytes> DesignDataFile::ReadDesignFile(std::string_view relativePath) const {
    if (!IsInsideFolder(relativePath)) return std::nullopt;
    Bytes bytes;
    std::string ignored;
    if (!ReadWholeFile(path_.parent_path() / PathFromUtf8(relativePath), bytes, ignored))
        return std::nullopt;
    return bytes;
}

bool DesignDataFile::ChangedOnDisk() const {
    Bytes bytes;
    std::string ignored;
    // A file that is gone has changed; one that cannot be read now (locked) is left to the
    // write, which fails with its own reason.
    if (!ReadWholeFile(path_, bytes, ignored)) return !std::filesystem::exists(path_);
    const std::string_view disk(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return disk.size() != mark_.size() + text_.size() || !disk.starts_with(mark_) ||
           disk.substr(mark_.size()) != text_;
}

bool DesignDataFile::RefuseIfChangedOnDisk(std::string& error) const {
    if (!ChangedOnDisk()) return false;
    error = Utf8FromPath(path_.filename()) + " was changed on disk since it was read";
    return true;
}

bool DesignDataFile::Reload(std::string& error) {
    auto fresh = Open(path_, error);
    if (!fresh) return false;
    *this = std::move(*fresh);
    return true;
}

bool DesignDataFile::Commit(std::string text, std::string& error) {
    // The edited text must still be design data; what it describes is read back from it.
    auto loaded = LoadFormJson(text, [this](std::string_view rel) { return ReadDesignFile(rel); });
    if (!loaded.form) {
        error = "the edit would break the design data: " + loaded.error;
        return false;
    }
    if (RefuseIfChangedOnDisk(error)) return false;
    const std::string bytes = mark_ + text;
    if (!ReplaceFileSafely(
            path_, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
            error))
        return false;
    text_ = std::move(text);
    form_ = std::move(*loaded.form);
    return true;
}

bool DesignDataFile::SaveTags(const Form& edited, std::string& error) {
    std::string text = text_;
    bool any = false;
    for (const Control& c : edited.controls) {
        const Control* stored = form_.Find(c.name, c.index);
        if (!stored || stored->tag == c.tag) continue;
        if (!SetControlTagText(text, c.name, c.index, c.tag)) {
            error = "cannot find " + c.DisplayName() + " in " + Utf8FromPath(path_.filename());
            return false;
        }
        any = true;
    }
    return !any || Commit(std::move(text), error);
}

int DesignDataFile::FileUses(std::string_view relativePath) const {
    int uses = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(path_.parent_path(), ec)) {
        if (entry.path().extension() != ".json") continue;
        Bytes bytes;
        std::string ignored;
        if (!ReadWholeFile(entry.path(), bytes, ignored)) continue;
        const Json doc = Json::parse(bytes.begin(), bytes.end(), nullptr, false);
        if (!doc.is_object() || !doc.contains("controls") || !doc["controls"].is_array()) continue;
        for (const Json& c : doc["controls"]) {
            if (!c.is_object() || !c.contains("properties") || !c["properties"].is_object())
                continue;
            for (const Json& p : c["properties"]) {
                auto f = p.is_object() ? p.find("file") : p.end();
                if (f != p.end() && f->is_string() && f->get<std::string>() == relativePath) ++uses;
            }
        }
    }
    return uses;
}

bool DesignDataFile::SavePicture(std::string_view name, std::optional<std::int32_t> index,
                                 std::span<const std::uint8_t> picture, std::string& error) {
    const Control* control = form_.Find(name, index);
    if (!control) {
        error = "no control " + std::string(name) + " in " + Utf8FromPath(path_.filename());
        return false;
    }
    if (RefuseIfChangedOnDisk(error)) return false;
    const std::string previous = PictureFileOf(name, index);
    std::string text = text_;
    if (picture.empty()) {
        if (!control->properties.Has("Image")) return true;
        if (!RemoveControlProperty(text, name, index, "Image")) {
            error = "cannot find the picture of " + control->DisplayName();
            return false;
        }
        if (!Commit(std::move(text), error)) return false;
        RemoveIfUnused(previous);
        return true;
    }

    // The control's own picture file, when it keeps one of this kind that nothing else uses.
    const std::string ext(PictureExtension(picture));
    std::string target = previous;
    if (!target.empty() &&
        (!IsInsideFolder(target) || PathFromUtf8(target).extension() != PathFromUtf8("." + ext) ||
         FileUses(target) != 1))
        target.clear();
    if (target.empty()) {
        const std::string stem = "pictures/" + ControlFileStem(name, index);
        std::error_code ec;
        for (int n = 1; n < 1000 && target.empty(); ++n) {
            std::string candidate = stem + (n == 1 ? "" : "_" + std::to_string(n)) + "." + ext;
            if (!std::filesystem::exists(path_.parent_path() / PathFromUtf8(candidate), ec))
                target = std::move(candidate);
        }
        if (target.empty()) {
            error = "no free picture file name for " + control->DisplayName();
            return false;
        }
    }

    const std::filesystem::path file = path_.parent_path() / PathFromUtf8(target);
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    if (!ReplaceFileSafely(file, picture, error)) return false;
    if (!SetControlPropertyFile(text, name, index, "Image", target)) {
        error = "cannot find " + control->DisplayName() + " in " + Utf8FromPath(path_.filename());
        return false;
    }
    if (text == text_) {
        // Same file name: only the picture's bytes changed; read the form again for them.
        auto loaded =
            LoadFormJson(text_, [this](std::string_view rel) { return ReadDesignFile(rel); });
        if (loaded.form) form_ = std::move(*loaded.form);
        return true;
    }
    if (!Commit(std::move(text), error)) return false;
    if (previous != target) RemoveIfUnused(previous);
    return true;
}

std::string DesignDataFile::PictureFileOf(std::string_view name,
                                          std::optional<std::int32_t> index) const {
    std::string file;
    auto found = ControlPropertyBag(text_, name, index);
    if (!found) return file;
    const Member* image = FindMember(found->bag, "Image", true);
    if (!image) return file;
    const Json value = Json::parse(
        std::string_view(text_).substr(image->value.begin, image->value.end - image->value.begin),
        nullptr, false);
    if (value.is_object() && value.contains("file") && value["file"].is_string())
        file = value["file"].get<std::string>();
    return file;
}

void DesignDataFile::RemoveIfUnused(const std::string& relativePath) const {
    if (relativePath.empty() || !IsInsideFolder(relativePath) || FileUses(relativePath) != 0)
        return;
    std::error_code ignored;
    std::filesystem::remove(path_.parent_path() / PathFromUtf8(relativePath), ignored);
}

} // namespace corvale
