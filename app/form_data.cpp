#include "app/form_data.h"

#include "platform/embedded.h"

#include <nlohmann/json.hpp>

#include <limits>

CORVALE_EMBEDDED_TABLE(corvale_forms)

namespace corvale {
namespace {

using Json = nlohmann::json;

constexpr std::size_t kMaxControls = 1000;

struct Reader {
    const DesignFileReader& files;
    std::string error;

    bool Fail(std::string why) {
        if (error.empty()) error = std::move(why);
        return false;
    }

    bool Text(const Json& o, const char* key, std::string& out, const std::string& where) {
        auto it = o.find(key);
        if (it == o.end()) return true;
        if (!it->is_string()) return Fail(where + "." + key + " must be a text");
        out = it->get<std::string>();
        return true;
    }

    bool Flag(const Json& o, const char* key, bool& out, const std::string& where) {
        auto it = o.find(key);
        if (it == o.end()) return true;
        if (!it->is_boolean()) return Fail(where + "." + key + " must be true or false");
        out = it->get<bool>();
        return true;
    }

    bool Int32(const Json& o, const char* key, std::int32_t& out, const std::string& where) {
        auto it = o.find(key);
        if (it == o.end()) return true;
        return Int32Of(*it, out, where + "." + key);
    }

    bool Int32Of(const Json& v, std::int32_t& out, const std::string& where) {
        if (!v.is_number_integer()) return Fail(where + " must be a whole number");
        const auto i = v.get<std::int64_t>();
        if (i < std::numeric_limits<std::int32_t>::min() ||
            i > std::numeric_limits<std::int32_t>::max())
            return Fail(where + " is out of range");
        out = static_cast<std::int32_t>(i);
        return true;
    }

    bool Font(const Json& o, FontSpec& font, const std::string& where) {
        if (!o.is_object()) return Fail(where + " must be an object");
        if (!Text(o, "name", font.name, where)) return false;
        if (auto it = o.find("size"); it != o.end()) {
            if (!it->is_number() || it->get<double>() <= 0 || it->get<double>() > 1000)
                return Fail(where + ".size must be a positive number");
            font.sizePt = it->get<float>();
        }
        return Flag(o, "bold", font.bold, where) && Flag(o, "italic", font.italic, where) &&
               Flag(o, "underline", font.underline, where);
    }

    bool Property(const std::string& name, const Json& v, PropertyBag& bag,
                  const std::string& where) {
        const std::string at = where + ".properties." + name;
        if (!v.is_object() || v.size() != 1) return Fail(at + " must be {type: value}");
        const std::string type = v.begin().key();
        const Json& value = v.begin().value();
        if (type == "int16") {
            std::int32_t i = 0;
            if (!Int32Of(value, i, at)) return false;
            if (i < INT16_MIN || i > INT16_MAX) return Fail(at + " is out of range");
            bag.Set(name, static_cast<std::int16_t>(i));
        } else if (type == "int32") {
            std::int32_t i = 0;
            if (!Int32Of(value, i, at)) return false;
            bag.Set(name, i);
        } else if (type == "bool") {
            if (!value.is_boolean()) return Fail(at + " must be true or false");
            bag.Set(name, value.get<bool>());
        } else if (type == "single") {
            if (!value.is_number()) return Fail(at + " must be a number");
            bag.Set(name, value.get<float>());
        } else if (type == "text") {
            if (!value.is_string()) return Fail(at + " must be a text");
            bag.Set(name, value.get<std::string>());
        } else if (type == "file") {
            if (!value.is_string()) return Fail(at + " must name a file");
            auto bytes = files ? files(value.get<std::string>()) : std::nullopt;
            if (!bytes) return Fail(at + ": missing file " + value.get<std::string>());
            bag.Set(name, std::move(*bytes));
        } else {
            return Fail(at + ": unknown type " + type);
        }
        return true;
    }

    bool ControlOf(const Json& o, Control& c, std::size_t n) {
        std::string where = "controls[" + std::to_string(n) + "]";
        if (!o.is_object()) return Fail(where + " must be an object");
        if (!Text(o, "name", c.name, where)) return false;
        if (c.name.empty()) return Fail(where + " has no name");
        where = c.name;
        if (o.contains("index")) {
            std::int32_t i = 0;
            if (!Int32(o, "index", i, where)) return false;
            c.index = i;
        }
        std::string kind;
        if (!Text(o, "kind", kind, where)) return false;
        c.kind = ControlKindFromName(kind);
        if (c.kind == ControlKind::Other && kind != "Other")
            return Fail(where + ": unknown kind " + kind);
        if (auto it = o.find("position"); it != o.end()) {
            if (!it->is_array() || it->size() != 4)
                return Fail(where + ".position needs 4 numbers");
            TwipsRect r;
            std::int32_t* fields[] = {&r.left, &r.top, &r.width, &r.height};
            for (std::size_t i = 0; i < 4; ++i)
                if (!Int32Of((*it)[i], *fields[i], where + ".position")) return false;
            if (r.width < 0 || r.height < 0) return Fail(where + ".position has a negative size");
            c.position = r;
        }
        if (!Text(o, "container", c.container, where) || !Text(o, "tag", c.tag, where) ||
            !Flag(o, "visible", c.visible, where) || !Flag(o, "enabled", c.enabled, where) ||
            !Text(o, "text", c.text, where) || !Text(o, "toolTip", c.toolTip, where))
            return false;
        if (auto it = o.find("items"); it != o.end()) {
            if (!it->is_array()) return Fail(where + ".items must be a list of texts");
            for (const Json& item : *it) {
                if (!item.is_string()) return Fail(where + ".items must be a list of texts");
                c.items.push_back(item.get<std::string>());
            }
        }
        if (auto it = o.find("font"); it != o.end()) {
            FontSpec f;
            if (!Font(*it, f, where + ".font")) return false;
            c.font = f;
        }
        if (auto it = o.find("properties"); it != o.end()) {
            if (!it->is_object()) return Fail(where + ".properties must be an object");
            for (auto p = it->begin(); p != it->end(); ++p)
                if (!Property(p.key(), p.value(), c.properties, where)) return false;
        }
        return true;
    }
};

std::optional<Bytes> EmbeddedFile(std::string_view path) {
    auto bytes = embedded::Find(embedded::corvale_forms, path);
    if (bytes.empty()) return std::nullopt;
    return Bytes(bytes.begin(), bytes.end());
}

FormLoadResult LoadEmbedded(std::string_view name) {
    auto json = embedded::Find(embedded::corvale_forms, name);
    if (json.empty())
        return {std::nullopt, std::string("missing design data ") + std::string(name)};
    return LoadFormJson(std::string_view(reinterpret_cast<const char*>(json.data()), json.size()),
                        EmbeddedFile);
}

} // namespace

FormLoadResult LoadFormJson(std::string_view json, const DesignFileReader& files) {
    const Json doc = Json::parse(json, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) return {std::nullopt, "not a JSON object"};
    Reader rd{files, {}};
    Form form;
    if (!rd.Text(doc, "name", form.name, "form") ||
        !rd.Text(doc, "caption", form.caption, "form") ||
        !rd.Int32(doc, "clientWidth", form.clientWidth, "form") ||
        !rd.Int32(doc, "clientHeight", form.clientHeight, "form") ||
        !rd.Int32(doc, "outerWidth", form.outerWidth, "form") ||
        !rd.Int32(doc, "outerHeight", form.outerHeight, "form"))
        return {std::nullopt, rd.error};
    if (auto it = doc.find("font"); it != doc.end() && !rd.Font(*it, form.font, "form.font"))
        return {std::nullopt, rd.error};
    auto controls = doc.find("controls");
    if (controls == doc.end() || !controls->is_array())
        return {std::nullopt, "form.controls must be a list"};
    if (controls->size() > kMaxControls) return {std::nullopt, "too many controls"};
    for (std::size_t i = 0; i < controls->size(); ++i) {
        Control c;
        if (!rd.ControlOf((*controls)[i], c, i)) return {std::nullopt, rd.error};
        if (form.Find(c.name, c.index))
            return {std::nullopt, "duplicate control " + c.DisplayName()};
        form.controls.push_back(std::move(c));
    }
    for (const Control& c : form.controls)
        if (!c.container.empty() && !form.Find(c.container))
            return {std::nullopt, c.DisplayName() + ": unknown container " + c.container};
    return {std::move(form), {}};
}

FormLoadResult LoadFrmMain() {
    return LoadEmbedded("FrmMain.json");
}
FormLoadResult LoadFrmDetailService() {
    return LoadEmbedded("FrmDetailService.json");
}

} // namespace corvale
