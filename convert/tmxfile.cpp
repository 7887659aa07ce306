// The converter's files and messages: failures with their file, paths
// relative to a map, whole regular files read within a limit, and the
// warnings of what does not come across.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "tmxinternal.h"

void TmxThrow(const std::string& file, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list again;
    va_copy(again, ap);
    const int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string reason(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(reason.data(), reason.size() + 1, fmt, again);
    va_end(again);
    throw TmxFail{file, reason};
}

std::string TmxFolder(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string TmxJoin(const std::string& folder, const std::string& rel) {
    if (!rel.empty() && rel[0] == '/') return rel;
    return folder + rel;
}

namespace {

const char* FileKind(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// Closes the descriptor whatever leaves the reader.
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) close(fd);
    }
};

}  // namespace

std::vector<uint8_t> TmxLoadFile(const TmxImportOptions& options, const std::string& path) {
    std::vector<uint8_t> out;
    const int64_t limit = options.limits.maxfile;
    if (options.read) {
        std::string why;
        if (!options.read(path, out, why)) TmxThrow(path, "%s", why.c_str());
    } else {
        // Opened without waiting, so that a FIFO with no writer cannot hold
        // the import; only a regular file is then read.
        Fd f{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
        if (f.fd < 0) TmxThrow(path, "cannot open: %s", std::strerror(errno));
        struct stat st {};
        if (fstat(f.fd, &st) != 0) TmxThrow(path, "cannot read: %s", std::strerror(errno));
        if (!S_ISREG(st.st_mode)) TmxThrow(path, "%s, not a regular file: refused", FileKind(st.st_mode));
        if (st.st_size > limit) {
            TmxThrow(path, "file of %lld bytes is larger than the limit of %lld bytes",
                     static_cast<long long>(st.st_size), static_cast<long long>(limit));
        }
        out.resize(static_cast<size_t>(st.st_size));
        size_t got = 0;
        while (got < out.size()) {
            const ssize_t n = read(f.fd, out.data() + got, out.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) TmxThrow(path, "cannot read: %s", std::strerror(errno));
            if (n == 0) break;  // it shrank while being read
            got += static_cast<size_t>(n);
        }
        out.resize(got);
    }
    if (static_cast<int64_t>(out.size()) > limit) {
        TmxThrow(path, "file is larger than the limit of %lld bytes", static_cast<long long>(limit));
    }
    return out;
}

void TmxWarnings::Add(const std::string& kind, const std::string& name) {
    for (auto& [k, names] : kinds) {
        if (k != kind) continue;
        for (const std::string& n : names) {
            if (n == name) return;
        }
        names.push_back(name);
        return;
    }
    kinds.push_back({kind, {name}});
}

std::vector<std::string> TmxWarnings::Lines(const std::string& file) const {
    std::vector<std::string> lines;
    for (const auto& [kind, names] : kinds) {
        std::string line = file + ": " + kind + ":";
        for (size_t i = 0; i < names.size(); i++) line += (i ? ", \"" : " \"") + names[i] + "\"";
        lines.push_back(line);
    }
    return lines;
}
