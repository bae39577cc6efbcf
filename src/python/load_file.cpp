#include "load_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace tarnwick::python {

namespace {

// strerror_r comes in two shapes: GNU returns the text (maybe not in buf),
// POSIX fills buf and returns a status. Overloading on the result type
// accepts whichever the C library declares.
[[maybe_unused]] const char* strerror_text(const char* gnu_result, const char*) noexcept {
    return gnu_result;
}
[[maybe_unused]] const char* strerror_text(int posix_status, const char* buf) noexcept {
    return posix_status == 0 ? buf : "Unknown error";
}

std::nullopt_t set_os_error(int error) noexcept {
    char buf[256] = {};
    const char* text = strerror_text(strerror_r(error, buf, sizeof buf), buf);
    PyErr_Format(PyExc_ValueError, "%s (os error %d)", text, error);
    return std::nullopt;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    // Nothing was written, so a failing close loses nothing.
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    [[nodiscard]] int get() const noexcept { return fd_; }

private:
    int fd_;
};

// Holds the interpreter lock released for its lifetime. Opening and
// reading may block for as long as the other end of a FIFO or a slow mount
// likes; with the lock held, a FIFO fed by a thread of this process could
// never be written to. Only system calls run meanwhile: nothing here
// touches a Python object, except the signal handlers run with the lock
// re-taken.
class GilReleased {
public:
    GilReleased() noexcept : state_(PyEval_SaveThread()) {}
    GilReleased(const GilReleased&) = delete;
    GilReleased& operator=(const GilReleased&) = delete;
    ~GilReleased() { PyEval_RestoreThread(state_); }

    // Runs the Python signal handlers with the lock re-taken. False when
    // one raised; its exception is then set.
    [[nodiscard]] bool run_signal_handlers() noexcept {
        PyEval_RestoreThread(state_);
        const bool ok = PyErr_CheckSignals() == 0;
        state_ = PyEval_SaveThread();
        return ok;
    }

private:
    PyThreadState* state_;
};

// A system call that may block, interruptible the way Python's own open()
// and read() are: when a signal interrupts it, the Python handlers run
// (SIGINT's raises KeyboardInterrupt), and the call is retried unless one
// raised. Returns -1 with errno EINTR when a handler raised.
template <class Call>
auto interruptible(GilReleased& unlocked, Call call) noexcept {
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR) return result;
        if (!unlocked.run_signal_handlers()) {
            errno = EINTR;
            return result;
        }
    }
}

struct FileContents {
    // Never zero-filled: read(2) writes every byte before it is used.
    // Reading SW-All.csv (2.9 MB) so takes 0.65 of the time of reading it
    // into a cleared buffer (best of 200, taken in turns).
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    int error = 0;  // errno of the failed step, 0 on success; EINTR: a signal handler raised

    [[nodiscard]] std::string_view view() const noexcept { return {bytes.get(), size}; }
};

FileContents read_whole_file(const std::string& name, GilReleased& unlocked) {
    FileContents out;
    const auto read_some = [&](int fd, char* into, std::size_t size) {
        return interruptible(unlocked, [&] { return ::read(fd, into, size); });
    };
    const int raw_fd = interruptible(unlocked, [&] { return ::open(name.c_str(), O_RDONLY | O_CLOEXEC); });
    if (raw_fd < 0) {
        out.error = errno;
        return out;
    }
    const FileDescriptor fd(raw_fd);

    // The size is only a hint: the file may change while it is read, and
    // special files report 0; a failed fstat leaves no hint. Reading goes
    // on until read(2) reports the end.
    struct stat info {};
    const bool sized = ::fstat(fd.get(), &info) == 0 && info.st_size > 0;
    std::size_t capacity = sized ? static_cast<std::size_t>(info.st_size) : 0;
    out.bytes = std::make_unique_for_overwrite<char[]>(capacity);
    std::size_t& used = out.size;
    for (;;) {
        if (used == capacity) {
            // A full buffer: probe for more before growing it, so a file
            // whose size was right is never reallocated.
            char probe[64];
            const ssize_t n = read_some(fd.get(), probe, sizeof probe);
            if (n < 0) {
                out.error = errno;
                return out;
            }
            if (n == 0) break;
            const auto got = static_cast<std::size_t>(n);
            capacity = used + got + std::max<std::size_t>(used + got, 8192);
            auto grown = std::make_unique_for_overwrite<char[]>(capacity);
            std::memcpy(grown.get(), out.bytes.get(), used);
            std::memcpy(grown.get() + used, probe, got);
            out.bytes = std::move(grown);
            used += got;
            continue;
        }
        const ssize_t n = read_some(fd.get(), out.bytes.get() + used, capacity - used);
        if (n < 0) {
            out.error = errno;
            return out;
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    return out;
}

}  // namespace

std::optional<Result<std::vector<SpaceWeatherRecord>>> read_file(std::string_view path, Reader reader) {
    if (path.find('\0') != std::string_view::npos) {
        PyErr_SetString(PyExc_ValueError, "file name contained an unexpected NUL byte");
        return std::nullopt;
    }
    const std::string name(path);
    int error = 0;
    std::optional<Result<std::vector<SpaceWeatherRecord>>> records;
    {
        GilReleased unlocked;
        FileContents contents = read_whole_file(name, unlocked);
        error = contents.error;
        // Records are values; nothing in them points into the file's bytes,
        // which go at the end of this block.
        if (error == 0) records.emplace(reader(contents.view()));
    }
    if (error == EINTR && PyErr_Occurred()) return std::nullopt;  // a signal handler raised
    if (error != 0) return set_os_error(error);
    return records;
}

}  // namespace tarnwick::python
