#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

// A fresh folder under /tmp, removed with everything in it when the object goes.
class TempFolder {
  public:
    TempFolder() {
        char pattern[] = "/tmp/rvtest-XXXXXX";
        if (::mkdtemp(pattern) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    // `relative` may contain folders; they are created.
    void write(const std::string& relative, const std::string& content) const {
        std::filesystem::create_directories(at(relative).parent_path());
        std::ofstream(at(relative), std::ios::binary) << content;
    }
    std::string read(const std::string& relative) const {
        std::ostringstream s;
        s << std::ifstream(at(relative), std::ios::binary).rdbuf();
        return s.str();
    }
    bool exists(const std::string& relative) const { return std::filesystem::exists(at(relative)); }
    void makeFolder(const std::string& relative) const {
        std::filesystem::create_directories(at(relative));
    }
    std::vector<std::string> list(const std::string& relative) const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(at(relative), ec))
            names.push_back(e.path().filename().string());
        return names;
    }

  private:
    std::filesystem::path at(const std::string& relative) const { return path_ + "/" + relative; }
    std::string path_;
};
