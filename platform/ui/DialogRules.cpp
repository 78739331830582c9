#include <cctype>
#include <cstdlib>

#include "platform/ui/Dialogs.h"

namespace reelcast::platform::ui {

const int kLameBitrates[9] = {80, 96, 112, 128, 160, 192, 224, 256, 320};

namespace {
bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(s[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}
}  // namespace

int FindItemWithPrefix(const std::vector<std::string>& items, const std::string& prefix) {
    const std::size_t n = items.size();
    for (std::size_t k = 1; k <= n; ++k) {
        const std::size_t i = k % n;
        if (StartsWithNoCase(items[i], prefix)) return int(i);
    }
    return -1;
}

int LameBitrateItem(int storedKbps) {
    for (int i = 0; i < 9; ++i)
        if (kLameBitrates[i] >= storedKbps) return i;
    return -1;
}

int ParseDialogInt(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long v = 0;
    bool digits = false;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        digits = true;
        v = v * 10 + (text[i] - '0');
        if (v > 2147483647LL) return 0;  // out of range reads as "not a number"
    }
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (!digits || i != text.size()) return 0;
    return int(negative ? -v : v);
}

int AviOptionsCodecItem(const std::vector<std::string>& names, int family) {
    if (family != 0) {
        const int divx = FindItemWithPrefix(names, "Divx");
        const int item = divx >= 0 ? divx : FindItemWithPrefix(names, "XVID");
        return item >= 0 || names.empty() ? item : 0;
    }
    const int item = FindItemWithPrefix(names, "Ind");
    return item >= 0 || names.empty() ? item : 0;
}

}  // namespace reelcast::platform::ui
