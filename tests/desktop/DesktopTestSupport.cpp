#include "DesktopTestSupport.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace desktop_test {

ScratchFolder::ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "reelcast-desktop-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) std::abort();
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteBitmap(const std::string& path, int width, int height,
                 const std::function<std::uint32_t(int x, int y)>& colour) {
    const int stride = (width * 3 + 3) & ~3;
    const std::uint32_t dataSize = static_cast<std::uint32_t>(stride * height);
    std::vector<std::uint8_t> file(54 + dataSize, 0);
    auto put32 = [&](size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<std::uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    file[26] = 1;
    file[28] = 24;
    put32(34, dataSize);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = file.data() + 54 + static_cast<size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = colour(x, y);
            row[3 * x] = static_cast<std::uint8_t>(c);
            row[3 * x + 1] = static_cast<std::uint8_t>(c >> 8);
            row[3 * x + 2] = static_cast<std::uint8_t>(c >> 16);
        }
    }
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                static_cast<std::streamsize>(file.size()));
}

int CopyShippedSkins(const std::string& folder) {
    int n = 0;
    for (;; ++n) {
        const fs::path from = fs::path(REELCAST_BIN_DIR) / ("SKIN" + std::to_string(n));
        if (!fs::is_directory(from)) break;
        fs::copy(from, fs::path(folder) / from.filename(), fs::copy_options::recursive);
    }
    return n;
}

void MakeSkin(const std::string& folder, int n, int width, int height, int border, int count) {
    const std::string dir = folder + "/SKIN" + std::to_string(n);
    fs::create_directories(dir);
    WriteBitmap(dir + "/face.bmp", width, height, [&](int x, int y) -> std::uint32_t {
        const bool edge = x < border || y < border || x >= width - border || y >= height - border;
        return edge ? 0xFF00FFu : 0x336699u;
    });
    std::string ini = "[Controls]\n";
    for (int b = 1; b <= count; ++b) {
        ini += std::to_string(b) + "=" + std::to_string(5 + 25 * (b - 1)) + ",5\n";
        // Faces 0..3 in distinct colours: 0x100000 * (face + 1) + button.
        WriteBitmap(dir + "/ctrl" + std::to_string(b) + ".bmp", 80, 10, [b](int x, int) {
            return static_cast<std::uint32_t>(0x100000 * (x / 20 + 1) + b);
        });
    }
    WriteText(dir + "/skin.ini", ini);
    WriteBitmap(dir + "/welcome.bmp", 32, 24, [](int, int) { return 0x808080u; });
}

}  // namespace desktop_test
