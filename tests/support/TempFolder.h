#pragma once

#include <string>
#include <vector>

// A fresh folder under /tmp, removed with everything in it when the object goes.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    // `relative` may contain folders; they are created.
    void write(const std::string& relative, const std::string& content) const;
    std::string read(const std::string& relative) const;
    bool exists(const std::string& relative) const;
    void makeFolder(const std::string& relative) const;
    // Names of the files directly inside `relative`.
    std::vector<std::string> list(const std::string& relative) const;

  private:
    std::string path_;
};
