#include "platform/sys/Paths.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {
namespace {

int FoldCompare(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int ca = std::toupper(static_cast<unsigned char>(a[i]));
        int cb = std::toupper(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return 0;
}

bool ListingLess(const std::string& a, const std::string& b) {
    int c = FoldCompare(a, b);
    if (c != 0) return c < 0;
    return a < b;
}

struct DirListing {
    int64_t mtimeNs = -1;
    ino_t inode = 0;
    std::vector<std::string> names; // sorted by ListingLess
};

std::mutex g_cacheLock;
std::map<std::string, DirListing> g_cache;

// Sorted entry names of a directory, cached while its modification time is unchanged.
bool ReadDir(const std::string& dir, std::vector<std::string>& out) {
    struct stat st {};
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    int64_t mtime = int64_t(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    {
        std::lock_guard<std::mutex> g(g_cacheLock);
        auto it = g_cache.find(dir);
        if (it != g_cache.end() && it->second.mtimeNs == mtime && it->second.inode == st.st_ino) {
            out = it->second.names;
            return true;
        }
    }
    DIR* d = opendir(dir.c_str());
    if (!d) return false;
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end(), ListingLess);
    std::lock_guard<std::mutex> g(g_cacheLock);
    DirListing& l = g_cache[dir];
    l.mtimeNs = mtime;
    l.inode = st.st_ino;
    l.names = names;
    out = std::move(names);
    return true;
}

void Invalidate(const std::string& dir) {
    std::lock_guard<std::mutex> g(g_cacheLock);
    g_cache.erase(dir);
}

std::vector<std::string> SplitComponents(const std::string& path, bool& absolute) {
    std::string p = path;
    std::replace(p.begin(), p.end(), '\\', '/');
    absolute = !p.empty() && p[0] == '/';
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= p.size()) {
        size_t j = p.find('/', i);
        if (j == std::string::npos) j = p.size();
        std::string c = p.substr(i, j - i);
        if (!c.empty() && c != ".") parts.push_back(c);
        i = j + 1;
    }
    return parts;
}

std::string Join(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir == "/") return "/" + name;
    return dir + "/" + name;
}

// Matches one component in a directory; exact match first, else the first folded match.
bool MatchComponent(const std::string& dir, const std::string& comp, std::string& found) {
    std::string real = dir.empty() ? "." : dir;
    struct stat st {};
    std::string direct = Join(dir, comp);
    if (comp == "..") { found = comp; return true; }
    if (lstat(direct.c_str(), &st) == 0) { found = comp; return true; }
    std::vector<std::string> names;
    if (!ReadDir(real, names)) return false;
    for (const std::string& n : names) {
        if (FoldCompare(n, comp) == 0) { found = n; return true; }
    }
    return false;
}

// Resolves every directory component; returns false when one is missing.
bool ResolveDirs(const std::vector<std::string>& parts, size_t count, bool absolute, std::string& dir) {
    dir.assign(absolute ? 1 : 0, '/');  // "/" or empty
    for (size_t i = 0; i < count; ++i) {
        std::string found;
        if (!MatchComponent(dir, parts[i], found)) return false;
        dir = Join(dir, found);
    }
    return true;
}

} // namespace

std::string ResolveExisting(const std::string& path) {
    bool absolute = false;
    auto parts = SplitComponents(path, absolute);
    if (parts.empty()) return absolute ? "/" : ".";
    std::string dir;
    if (!ResolveDirs(parts, parts.size() - 1, absolute, dir)) return {};
    std::string found;
    if (!MatchComponent(dir, parts.back(), found)) return {};
    return Join(dir, found);
}

std::string ResolveFile(const std::string& path) {
    std::string r = ResolveExisting(path);
    if (r.empty()) return r;
    struct stat st {};
    if (stat(r.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    return r;
}

std::string ResolveForWrite(const std::string& path) {
    bool absolute = false;
    auto parts = SplitComponents(path, absolute);
    if (parts.empty()) return {};
    std::string dir;
    if (!ResolveDirs(parts, parts.size() - 1, absolute, dir)) return {};
    std::string found;
    if (MatchComponent(dir, parts.back(), found)) return Join(dir, found);
    return Join(dir, parts.back());
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
    bool writing = mode && (std::strchr(mode, 'w') || std::strchr(mode, 'a'));
    if (writing) {
        std::string target = ResolveForWrite(path);
        if (target.empty()) return nullptr;
        std::FILE* f = std::fopen(target.c_str(), mode);
        if (f) {
            size_t slash = target.rfind('/');
            Invalidate(slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash)));
        }
        return f;
    }
    std::string target = ResolveFile(path);
    if (target.empty()) return nullptr;
    return std::fopen(target.c_str(), mode);
}

namespace {

// "step path: reason" from errno.
bool Failed(std::string& error, const char* step, const std::string& path) {
    const int code = errno;
    error = std::string(step) + " " + path + ": " + std::strerror(code);
    return false;
}

bool WriteAll(int fd, const uint8_t* bytes, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        bytes += n;
        size -= size_t(n);
    }
    return true;
}

} // namespace

bool ReplaceFile(const std::string& path, const void* data, size_t size, std::string& error) {
    const std::string target = ResolveForWrite(path);
    if (target.empty()) {
        errno = ENOENT;
        return Failed(error, "cannot resolve", path);
    }
    const size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    const std::string temp = target + ".tmp";

    // The new file keeps the old one's permission bits.
    mode_t mode = 0644;
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) mode = old.st_mode & 07777;

    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) return Failed(error, "cannot create", temp);
    Invalidate(dir);
    auto abandon = [&](const char* step) {
        Failed(error, step, temp);
        const int saved = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        Invalidate(dir);
        errno = saved;
        return false;
    };
    if (!WriteAll(fd, static_cast<const uint8_t*>(data), size)) return abandon("cannot write");
    if (::fsync(fd) != 0) return abandon("cannot sync");
    if (::close(fd) != 0) {
        Failed(error, "cannot close", temp);
        ::unlink(temp.c_str());
        Invalidate(dir);
        return false;
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        Failed(error, "cannot rename over", target);
        ::unlink(temp.c_str());
        Invalidate(dir);
        return false;
    }
    Invalidate(dir);
    // The rename lasts once the directory is on disk. The new content is already in place for
    // this run, so a failure here is reported but cannot bring the old file back.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return Failed(error, "cannot open directory", dir);
    const bool synced = ::fsync(dirFd) == 0;
    if (!synced) Failed(error, "cannot sync directory", dir);
    ::close(dirFd);
    return synced;
}

bool WildcardMatch(const char* pattern, const char* name) {
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' ||
                   std::toupper(static_cast<unsigned char>(*pattern)) ==
                       std::toupper(static_cast<unsigned char>(*name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == 0;
}

std::vector<std::string> ListMatching(const std::string& pattern) {
    bool absolute = false;
    auto parts = SplitComponents(pattern, absolute);
    if (parts.empty()) return {};
    std::string dir;
    if (!ResolveDirs(parts, parts.size() - 1, absolute, dir)) return {};
    std::vector<std::string> names;
    if (!ReadDir(dir.empty() ? "." : dir, names)) return {};
    std::vector<std::string> out;
    for (const std::string& n : names)
        if (WildcardMatch(parts.back().c_str(), n.c_str())) out.push_back(n);
    return out;
}

} // namespace plat
