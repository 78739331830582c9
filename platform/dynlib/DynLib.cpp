#include "platform/dynlib/DynLib.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cctype>
#include <climits>

namespace reelcast::platform {
namespace {

thread_local std::string t_lastError;

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
    if (s.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(s[s.size() - suffix.size() + i])) !=
            std::tolower(static_cast<unsigned char>(suffix[i])))
            return false;
    }
    return true;
}

}  // namespace

std::string SharedObjectName(const std::string& windowsName) {
    std::string dir;
    std::string base = windowsName;
    if (auto slash = windowsName.find_last_of('/'); slash != std::string::npos) {
        dir = windowsName.substr(0, slash + 1);
        base = windowsName.substr(slash + 1);
    }
    if (EndsWithNoCase(base, ".so") || base.find(".so.") != std::string::npos) return windowsName;
    if (EndsWithNoCase(base, ".dll")) base.resize(base.size() - 4);
    if (base.rfind("lib", 0) != 0) base = "lib" + base;
    return dir + base + ".so";
}

std::string UndecoratedName(const std::string& exportName) {
    auto at = exportName.find_last_of('@');
    if (at == std::string::npos || at + 1 == exportName.size()) return exportName;
    for (size_t i = at + 1; i < exportName.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(exportName[i]))) return exportName;
    }
    return exportName.substr(0, at);
}

std::string ProgramFolder() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string path(buf, static_cast<size_t>(n));
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool IsLibraryLoaded(const std::string& soname) {
    void* h = dlopen(soname.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!h) return false;
    dlclose(h);  // only the reference the query took
    return true;
}

LibraryHandle LoadLibrary(const std::string& windowsName) {
    const std::string so = SharedObjectName(windowsName);
    void* h = nullptr;
    if (so.find('/') != std::string::npos) {
        h = dlopen(so.c_str(), RTLD_NOW | RTLD_LOCAL);
    } else {
        const std::string local = ProgramFolder() + "/" + so;
        h = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h) {
            const char* first = dlerror();
            std::string firstError = first ? first : "";
            h = dlopen(so.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!h && access(local.c_str(), F_OK) == 0) {
                // The copy beside the program exists but failed: that is the reason to report.
                t_lastError = firstError;
                return nullptr;
            }
        }
    }
    if (!h) {
        const char* e = dlerror();
        t_lastError = e ? e : ("cannot load " + so);
    }
    return h;
}

void* GetProcAddress(LibraryHandle lib, const std::string& exportName) {
    if (!lib) return nullptr;
    return dlsym(lib, UndecoratedName(exportName).c_str());
}

void FreeLibrary(LibraryHandle lib) {
    if (lib) dlclose(lib);
}

std::string LastLoadError() { return t_lastError; }

}  // namespace reelcast::platform
