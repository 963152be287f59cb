// imgtool: prints what the image core makes of a picture file, or converts it.
//   imgtool info FILE [options]
//   imgtool convert IN OUT [options]      OUT ending in .png, .bmp or .pam
// Options: --icon-size N or WxH (the icon entry wanted), --icon-depth BITS, --filter 0-6 (PNG).
#include "codecs/cPNGwriter.h"
#include "imaging/c32bppDIB.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace corvale;

struct Options {
    std::vector<std::string> args;
    std::int32_t iconCx = 0, iconCy = 0, iconDepth = 32, filter = 0;
};

int Fail(const std::string& why, int code = 1) {
    std::fprintf(stderr, "imgtool: %s\n", why.c_str());
    return code;
}

bool ParseInt(const std::string& text, std::int32_t& value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = std::atoi(text.c_str());
    return true;
}

// Parses options; an empty string on success, else the reason.
std::string ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--icon-size" || a == "--icon-depth" || a == "--filter") {
            if (i + 1 >= argc) return a + " needs a value";
            const std::string v = argv[++i];
            if (a == "--icon-size") {
                const auto x = v.find('x');
                const bool ok =
                    x == std::string::npos
                        ? ParseInt(v, o.iconCx) && ParseInt(v, o.iconCy)
                        : ParseInt(v.substr(0, x), o.iconCx) && ParseInt(v.substr(x + 1), o.iconCy);
                if (!ok) return "bad icon size: " + v;
            } else if (a == "--icon-depth") {
                if (!ParseInt(v, o.iconDepth) || o.iconDepth < 1 || o.iconDepth > 32)
                    return "bad icon depth: " + v;
            } else if (!ParseInt(v, o.filter) || o.filter > 6) {
                return "bad filter: " + v;
            }
        } else if (a.rfind("--", 0) == 0) {
            return "unknown option: " + a;
        } else {
            o.args.push_back(a);
        }
    }
    return {};
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// P7 with TUPLTYPE RGB_ALPHA, rows top-down, the stored (premultiplied) values as R, G, B, A.
std::vector<std::uint8_t> Pam(const c32bppDIB& dib) {
    const std::string header = "P7\nWIDTH " + std::to_string(dib.Width()) + "\nHEIGHT " +
                               std::to_string(dib.Height()) +
                               "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    std::vector<std::uint8_t> out(header.begin(), header.end());
    out.reserve(out.size() + std::size_t(dib.scanWidth()) * dib.Height());
    for (std::int32_t y = 0; y < dib.Height(); ++y) {
        const std::uint8_t* row =
            dib.BitsPointer() + std::size_t(dib.Height() - 1 - y) * dib.scanWidth();
        for (std::int32_t x = 0; x < dib.Width(); ++x, row += 4)
            out.insert(out.end(), {row[2], row[1], row[0], row[3]});
    }
    return out;
}

std::string LowerExtension(const std::string& path) {
    const auto dot = path.find_last_of('.');
    const auto slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

int Usage() {
    return Fail("usage: imgtool info FILE | imgtool convert IN OUT(.png|.bmp|.pam) "
                "[--icon-size N|WxH] [--icon-depth BITS] [--filter 0-6]",
                2);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    Options o;
    if (const std::string why = ParseOptions(argc, argv, o); !why.empty()) return Fail(why, 2);
    if (!((command == "info" && o.args.size() == 1) ||
          (command == "convert" && o.args.size() == 2)))
        return Usage();

    c32bppDIB dib;
    if (!dib.LoadPicture_File(o.args[0], o.iconCx, o.iconCy, false, o.iconDepth))
        return Fail("cannot load " + o.args[0]);

    if (command == "info") {
        std::printf("width: %d\nheight: %d\nimage-type: %d\nalpha: %s\n", dib.Width(), dib.Height(),
                    dib.ImageType(), dib.Alpha() ? "true" : "false");
        return 0;
    }

    const std::string& out = o.args[1];
    const std::string ext = LowerExtension(out);
    if (ext == ".png") {
        cPNGwriter writer;
        writer.SetFilter(o.filter);
        std::vector<std::uint8_t> unused;
        if (!writer.WritePNG(dib, out, unused)) return Fail("cannot write " + out + " as PNG");
        return 0;
    }
    std::vector<std::uint8_t> bytes;
    if (ext == ".bmp") {
        if (!dib.SaveToStream(bytes)) return Fail("cannot make a bitmap of the picture");
    } else if (ext == ".pam") {
        bytes = Pam(dib);
    } else {
        return Fail("unknown output type (use .png, .bmp or .pam): " + out, 2);
    }
    if (!WriteFile(out, bytes)) return Fail("cannot write " + out);
    return 0;
}
