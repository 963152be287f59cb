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

    // Colour, font, print and page-setup dialogs: the records as they were when the dialog
    // opened, and the answer each gives (cancel by default).
    std::function<std::int32_t(ColorDialogRecord&)> colorAnswer = [](auto&) { return 0; };
    std::function<std::int32_t(FontDialogRecord&)> fontAnswer = [](auto&) { return 0; };
    std::function<std::int32_t(PrintDialogRecord&)> printAnswer = [](auto&) { return 0; };
    std::function<std::int32_t(PageSetupRecord&)> pageSetupAnswer = [](auto&) { return 0; };
    std::vector<ColorDialogRecord> colorShown;
    std::vector<FontDialogRecord> fontShown;
    std::vector<PrintDialogRecord> printShown;
    std::vector<PageSetupRecord> pageSetupShown;
    double twipsPerPixelY = 15;
    std::vector<std::string> printerDCsMade; // device names asked for
    std::vector<DeviceContext> deletedDCs;
    struct HelpCall {
        WindowHandle owner;
        std::optional<std::string> file;
        std::uint32_t command;
        std::uintptr_t data;
        std::optional<HelpWindowRecord> window;
    };
    std::vector<HelpCall> helpCalls;

    // System colour i is 0x10000 + i.
    static constexpr std::uint32_t Sys(std::int32_t i) { return 0x10000u + i; }

    // Each dialog keeps the record it was shown and answers as the test set it to.
    template <class Record, class Answer>
    static std::int32_t Show(std::vector<Record>& shown, Answer& answer, Record& r) {
        shown.push_back(r);
        return answer(r);
    }
    std::int32_t ChooseColorDialog(ColorDialogRecord& r) override {
        return Show(colorShown, colorAnswer, r);
    }
    std::int32_t ChooseFontDialog(FontDialogRecord& r) override {
        return Show(fontShown, fontAnswer, r);
    }
    std::int32_t PrintDialog(PrintDialogRecord& r) override {
        return Show(printShown, printAnswer, r);
    }
    std::int32_t PageSetupDialog(PageSetupRecord& r) override {
        return Show(pageSetupShown, pageSetupAnswer, r);
    }
    std::uint32_t SysColor(std::int32_t index) override { return Sys(index); }
    // 0x800000nn is system colour nn (up to 30); other values with a high byte are refused.
    std::optional<std::uint32_t> TranslateColor(std::int32_t color) override {
        const auto c = static_cast<std::uint32_t>(color);
        if ((c & 0xFFFFFF00u) == 0x80000000u && (c & 0xFF) <= 30)
            return Sys(static_cast<std::int32_t>(c & 0xFF));
        if (c >> 24) return std::nullopt;
        return c;
    }
    double TwipsPerPixelY() override { return twipsPerPixelY; }
    DeviceContext CreatePrinterDC(const std::string& device) override {
        printerDCsMade.push_back(device);
        return 0x7000 + static_cast<DeviceContext>(printerDCsMade.size());
    }
    void DeleteDC(DeviceContext dc) override { deletedDCs.push_back(dc); }
    void RunHelp(WindowHandle owner, const std::string* file, std::uint32_t command,
                 std::uintptr_t data) override {
        helpCalls.push_back({owner, file ? std::optional(*file) : std::nullopt, command, data, {}});
    }
    void PlaceHelpWindow(WindowHandle owner, const std::string* file,
                         const HelpWindowRecord& record) override {
        helpCalls.push_back({owner, file ? std::optional(*file) : std::nullopt, 0x203, 0, record});
    }
};

} // namespace corvale::dialog_test
