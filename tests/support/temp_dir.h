// A private temporary folder that is removed with everything in it when the object goes away.
#pragma once

#include <string>

namespace torv::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + name; the file need not exist.
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    // Writes bytes to name inside the folder (parent folders included) and returns its path.
    std::string write(const std::string& name, const std::string& bytes) const;

    // Whole content of any file; empty when it cannot be read.
    static std::string read(const std::string& path);

private:
    std::string m_path;
};

}  // namespace torv::test
