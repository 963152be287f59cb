#include "platform/wql.h"

#include <cstddef>

namespace corvale {
namespace {

constexpr std::size_t kMaxQueryLength = 4096;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

class Lexer {
  public:
    explicit Lexer(std::string_view t) : t_(t) {}

    void SkipSpace() {
        while (pos_ < t_.size() && IsSpace(t_[pos_])) ++pos_;
    }
    bool AtEnd() {
        SkipSpace();
        return pos_ >= t_.size();
    }
    bool Keyword(std::string_view word) {
        SkipSpace();
        if (t_.size() - pos_ < word.size()) return false;
        for (std::size_t i = 0; i < word.size(); ++i) {
            char c = t_[pos_ + i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
            if (c != word[i]) return false;
        }
        if (pos_ + word.size() < t_.size() && IsNameChar(t_[pos_ + word.size()])) return false;
        pos_ += word.size();
        return true;
    }
    bool Symbol(char c) {
        SkipSpace();
        if (pos_ < t_.size() && t_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    std::optional<std::string> Name() {
        SkipSpace();
        const std::size_t start = pos_;
        while (pos_ < t_.size() && IsNameChar(t_[pos_])) ++pos_;
        if (pos_ == start) return std::nullopt;
        return std::string(t_.substr(start, pos_ - start));
    }
    // A quoted text (the quote doubled or backslash-escaped inside) or a bare number.
    std::optional<std::string> Value() {
        SkipSpace();
        if (pos_ >= t_.size()) return std::nullopt;
        const char q = t_[pos_];
        if (q == '"' || q == '\'') {
            std::string out;
            for (++pos_; pos_ < t_.size(); ++pos_) {
                const char c = t_[pos_];
                if (c == '\\' && pos_ + 1 < t_.size()) {
                    out += t_[++pos_];
                } else if (c == q) {
                    if (pos_ + 1 < t_.size() && t_[pos_ + 1] == q) {
                        out += q;
                        ++pos_;
                    } else {
                        ++pos_;
                        return out;
                    }
                } else {
                    out += c;
                }
            }
            return std::nullopt; // unterminated
        }
        const std::size_t start = pos_;
        if (t_[pos_] == '-') ++pos_;
        while (pos_ < t_.size() && t_[pos_] >= '0' && t_[pos_] <= '9') ++pos_;
        if (pos_ == start || (pos_ == start + 1 && t_[start] == '-')) return std::nullopt;
        return std::string(t_.substr(start, pos_ - start));
    }
    std::size_t pos() const { return pos_; }

  private:
    std::string_view t_;
    std::size_t pos_ = 0;
};

WqlParseResult Fail(std::string why) {
    return WqlParseResult{std::nullopt, std::move(why)};
}

} // namespace

WqlParseResult ParseWql(std::string_view text) {
    if (text.size() > kMaxQueryLength) return Fail("query longer than 4096 characters");
    Lexer lx(text);
    if (!lx.Keyword("SELECT")) return Fail("query must start with SELECT");
    if (!lx.Symbol('*')) return Fail("only SELECT * is supported");
    if (!lx.Keyword("FROM")) return Fail("expected FROM after SELECT *");
    WqlQuery q;
    auto cls = lx.Name();
    if (!cls) return Fail("expected a class name after FROM");
    q.className = *cls;
    if (lx.AtEnd()) return WqlParseResult{std::move(q), {}};
    if (!lx.Keyword("WHERE"))
        return Fail("unexpected text at " + std::to_string(lx.pos()) + ": expected WHERE");
    auto prop = lx.Name();
    if (!prop) return Fail("expected a property name after WHERE");
    if (!lx.Symbol('=')) return Fail("only the = comparison is supported");
    auto value = lx.Value();
    if (!value) return Fail("expected a quoted value or a number after =");
    if (!lx.AtEnd())
        return Fail("unexpected text at " + std::to_string(lx.pos()) +
                    ": only one condition is supported");
    q.whereProperty = std::move(*prop);
    q.whereValue = std::move(*value);
    return WqlParseResult{std::move(q), {}};
}

} // namespace corvale
