#pragma once
// A fresh temporary folder for one test, removed with everything in it when the object dies.
#include <string>

namespace qcore::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, ending with '/'.
    const std::string& path() const { return path_; }
    // A path inside the folder.
    std::string file(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

// Reads or writes a whole file as bytes.
std::string read_file_bytes(const std::string& path);
void write_file_bytes(const std::string& path, const std::string& bytes);

} // namespace qcore::test
