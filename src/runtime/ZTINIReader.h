#pragma once
// Reader of the server's INI files. Lookups are plain text searches whose quirks existing
// configuration files rely on: a key is found anywhere in its section (even inside a longer key
// or a would-be comment line), values end at CR, nothing is trimmed, and a missing key yields
// the whole section text.

#include <string>

class ZTINIReader {
  public:
    virtual ~ZTINIReader() = default;

    void load(const std::string& path);
    std::string getString(const std::string& section, const std::string& key) const;
    int getInt(const std::string& section, const std::string& key) const;
    float getFloat(const std::string& section, const std::string& key) const;
    void getVector3(const std::string& section, const std::string& key, float& x, float& y,
                    float& z) const;

    // The text a lookup in `section` searches: from the header's "]" to the next "[".
    std::string sectionText(const std::string& section) const;

    std::string content;
    bool loaded = false;
};
