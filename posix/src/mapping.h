// Regular files mapped read-only into memory, for reading large files without copying them.
#ifndef POSIX_MAPPING_H
#define POSIX_MAPPING_H

#include <cstddef>
#include <memory>
#include <string_view>

namespace layer {

// A file's first bytes as they were when it was mapped, readable until the last owner lets go. A file
// that another program cuts short meanwhile does not end the process, as a mapping past a file's end
// otherwise would (SIGBUS): what was cut off reads as NUL bytes from then on.
class MappedFile {
public:
    // Maps the first `size` bytes (more than 0) of the regular file open as `fd`; null when it cannot.
    static std::shared_ptr<const MappedFile> map(int fd, size_t size);
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    std::string_view text() const { return std::string_view(data_, size_); }

private:
    MappedFile(const char *data, size_t size, int slot) : data_(data), size_(size), slot_(slot) {}

    const char *data_;
    size_t size_;
    int slot_; // where the guard against a cut-short file knows the mapping
};

} // namespace layer

#endif
