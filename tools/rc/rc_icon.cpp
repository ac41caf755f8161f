// Reader of the text pixel maps that hold icon images:
//   color <index 0-F> <RRGGBB>     sixteen lines, one per palette entry
//   image <width> <height>         then <height> rows of <width> characters,
//                                  each a palette index 0-F or '.' for transparent
// Lines starting with '#' and blank lines between sections are ignored.
#include <sstream>

#include "tools/rc/rc_lexer.h"
#include "tools/rc/rc_parser.h"

namespace rc {
namespace {

constexpr int MAX_ICON_SIDE = 256;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::vector<RcIconImage> ReadIconMap(const std::string& path, const SourcePos& from) {
    std::string text;
    if (!ReadFile(path, text)) throw CCompileError{from, "cannot read icon file '" + path + "'"};
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    auto fail = [&](size_t index, const std::string& message) -> CCompileError {
        return CCompileError{SourcePos{path, static_cast<int>(index) + 1}, message};
    };

    std::array<platform::res::IconColor, 16> palette{};
    bool haveColor[16] = {};
    std::vector<RcIconImage> images;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        std::string word;
        words >> word;
        if (word == "color") {
            std::string index, rgb, extra;
            words >> index >> rgb >> extra;
            int n = index.size() == 1 ? HexDigit(index[0]) : -1;
            if (n < 0) throw fail(i, "colour index must be one digit 0-F");
            if (rgb.size() != 6 || rgb.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos ||
                !extra.empty())
                throw fail(i, "colour must be six hex digits RRGGBB");
            if (!images.empty()) throw fail(i, "all colours must come before the first image");
            if (haveColor[n]) throw fail(i, "colour " + index + " given twice");
            haveColor[n] = true;
            palette[n] = {static_cast<BYTE>(HexDigit(rgb[0]) * 16 + HexDigit(rgb[1])),
                          static_cast<BYTE>(HexDigit(rgb[2]) * 16 + HexDigit(rgb[3])),
                          static_cast<BYTE>(HexDigit(rgb[4]) * 16 + HexDigit(rgb[5]))};
        } else if (word == "image") {
            for (int n = 0; n < 16; ++n)
                if (!haveColor[n]) throw fail(i, "all sixteen colours must be given before an image");
            long w = 0, h = 0;
            std::string extra;
            if (!(words >> w >> h) || (words >> extra) || w < 1 || h < 1 || w > MAX_ICON_SIDE || h > MAX_ICON_SIDE)
                throw fail(i, "image needs a width and a height from 1 to 256");
            RcIconImage image;
            image.nWidth = static_cast<int>(w);
            image.nHeight = static_cast<int>(h);
            image.aPalette = palette;
            for (long y = 0; y < h; ++y) {
                size_t row = i + 1 + static_cast<size_t>(y);
                if (row >= lines.size()) throw fail(i, "image has fewer than " + std::to_string(h) + " rows");
                const std::string& pixels = lines[row];
                if (static_cast<long>(pixels.size()) != w)
                    throw fail(row, "row has " + std::to_string(pixels.size()) + " pixels, the image is " +
                                        std::to_string(w) + " wide");
                for (char c : pixels) {
                    int index = c == '.' ? 0 : HexDigit(c);
                    if (index < 0) throw fail(row, std::string("pixel '") + c + "' is neither 0-F nor '.'");
                    image.aPixels.push_back(static_cast<BYTE>(index));
                    image.aMask.push_back(c == '.' ? 1 : 0);
                }
            }
            i += static_cast<size_t>(h);
            images.push_back(std::move(image));
        } else {
            throw fail(i, "expected 'color' or 'image', found '" + word + "'");
        }
    }
    if (images.empty()) throw CCompileError{SourcePos{path, static_cast<int>(lines.size())}, "icon file has no image"};
    return images;
}

}  // namespace rc
