#pragma once
// A dialog system in memory for the file-dialog component's tests.
#include "controls/common_dialog.h"

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace corvale::dialog_test {

// Stands in for the notification header the system hands the hook.
struct FakeNotify {
    std::int32_t code;
};

// A dialog system in memory. Its "ANSI" code page is Latin-1, so conversions are visible: a
// UTF-8 "é" (two bytes) is one byte in the record.
class FakeDialogApi : public DialogApi {
  public:
    std::function<std::int32_t(FileDialogRecord&)> answer = [](FileDialogRecord&) { return 0; };
    std::vector<FileDialogRecord> shown; // the records as they were when the dialog opened
    std::uint32_t extendedError = 0;
    std::map<WindowHandle, DialogRect> rects;
    std::map<WindowHandle, WindowHandle> parents;
    std::optional<DialogRect> workArea;
    std::pair<std::int32_t, std::int32_t> screen{800, 600};
    struct Move {
        WindowHandle window;
        std::int32_t x, y, w, h;
        bool repaint;
    };
    std::vector<Move> moves;
    std::vector<std::pair<WindowHandle, std::intptr_t>> messageResults;
    std::vector<ModuleHandle> freed;
    std::vector<std::string> loaded;
    std::int16_t fileTitleResult = 0;
    std::string fileTitleText;

    std::string ToAnsi(std::string_view utf8) override {
        std::string out;
        for (std::size_t i = 0; i < utf8.size(); ++i) {
            const auto c = static_cast<unsigned char>(utf8[i]);
            if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
                out.push_back(static_cast<char>(((c & 0x1F) << 6) | (utf8[++i] & 0x3F)));
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
        return out;
    }
    std::string FromAnsi(std::string_view ansi) override {
        std::string out;
        for (char ch : ansi) {
            const auto c = static_cast<unsigned char>(ch);
            if (c < 0x80) {
                out.push_back(ch);
            } else {
                out.push_back(static_cast<char>(0xC0 | (c >> 6)));
                out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            }
        }
        return out;
    }
    std::int32_t OpenFileDialog(FileDialogRecord& r) override {
        ++openCalls;
        shown.push_back(r);
        return answer(r);
    }
    std::int32_t SaveFileDialog(FileDialogRecord& r) override {
        ++saveCalls;
        shown.push_back(r);
        return answer(r);
    }
    std::uint32_t CommDlgExtendedError() override { return extendedError; }
    std::int16_t QueryFileTitle(const std::string& ansiFile, std::span<char> buffer) override {
        titleAsked = ansiFile;
        std::copy(fileTitleText.begin(), fileTitleText.end(), buffer.begin());
        return fileTitleResult;
    }
    WindowHandle GetParent(WindowHandle w) override {
        auto it = parents.find(w);
        return it == parents.end() ? 0 : it->second;
    }
    std::optional<DialogRect> GetWindowRect(WindowHandle w) override {
        auto it = rects.find(w);
        if (it == rects.end()) return std::nullopt;
        return it->second;
    }
    void MoveWindow(WindowHandle w, std::int32_t x, std::int32_t y, std::int32_t width,
                    std::int32_t height, bool repaint) override {
        moves.push_back({w, x, y, width, height, repaint});
    }
    std::optional<DialogRect> WorkArea() override { return workArea; }
    std::pair<std::int32_t, std::int32_t> ScreenPixels() override { return screen; }
    ModuleHandle LoadModule(const std::string& name) override {
        loaded.push_back(name);
        return name == "missing.dll" ? 0 : 0x10000 * static_cast<ModuleHandle>(loaded.size());
    }
    void ReleaseModule(ModuleHandle m) override { freed.push_back(m); }
    std::int32_t NotifyCode(std::intptr_t lParam) override {
        return lParam ? reinterpret_cast<const FakeNotify*>(lParam)->code : 0;
    }
    void SetMessageResult(WindowHandle hDlg, std::intptr_t v) override {
        messageResults.emplace_back(hDlg, v);
    }

    int openCalls = 0;
    int saveCalls = 0;
    std::string titleAsked;
};

} // namespace corvale::dialog_test
