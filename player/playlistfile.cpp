#include "playlistfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace playlist {

Entries parse(std::string_view text)
{
    Entries entries;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            entries.emplace_back(text.substr(start, i - start));
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size())
        entries.emplace_back(text.substr(start));
    return entries;
}

std::string format(const Entries& entries)
{
    size_t size = 0;
    for (const std::string& e : entries)
        size += e.size() + 2;
    std::string out;
    out.reserve(size);
    for (const std::string& e : entries) {
        out += e;
        out += "\r\n";
    }
    return out;
}

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

bool writeAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

LoadResult load(const std::string& path, Entries& entries)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return errno == ENOENT ? LoadResult::Missing : LoadResult::Unreadable;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return LoadResult::Unreadable;
    std::string text;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return LoadResult::Unreadable;
        if (n == 0)
            break;
        text.append(buffer, size_t(n));
    }
    entries = parse(text);
    return LoadResult::Loaded;
}

bool save(const std::string& path, const Entries& entries)
{
    std::string temp = path + ".XXXXXX";
    Fd fd(::mkstemp(temp.data()));
    if (fd.get() < 0)
        return false;
    // mkstemp makes the file 0600; a playlist is an ordinary file of the user.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd.get(), 0666 & ~mask);
    bool ok = writeAll(fd.get(), format(entries)) && ::fsync(fd.get()) == 0;
    ok = ::close(fd.release()) == 0 && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(temp.c_str());
    return false;
}

} // namespace playlist
