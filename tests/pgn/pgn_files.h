// Text served as a read-only file, for the readers under test.
#pragma once

#include <cstdio>
#include <string>

namespace zelk::test {

class MemoryFile {
public:
    explicit MemoryFile(const std::string& text) : text_(text) {
        file_ = text_.empty() ? std::fopen("/dev/null", "r") : fmemopen(text_.data(), text_.size(), "r");
    }
    ~MemoryFile() {
        if (file_)
            std::fclose(file_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    std::FILE* get() const { return file_; }

private:
    std::string text_;
    std::FILE* file_;
};

} // namespace zelk::test
