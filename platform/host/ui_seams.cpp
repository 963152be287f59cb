#include "platform/ui_seams.h"

#include <cstdio>
#include <fstream>

namespace corvale {

bool StdFileWriter::WriteTextFile(std::string_view path, std::string_view utf8Text) {
    if (path.empty()) return false;
    const std::string target(path);
    const std::string temp = target + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(utf8Text.data(), static_cast<std::streamsize>(utf8Text.size()));
        out.close();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

bool MemoryClipboard::SetText(std::string_view utf8Text) {
    if (failing) return false;
    text_ = std::string(utf8Text);
    return true;
}

} // namespace corvale
