#include "runtime/ZTINIReader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void ZTINIReader::load(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        loaded = false;
        return;
    }
    loaded = true;
    std::string bytes;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.append(chunk, n);
    std::fclose(f);
    // A file holding a zero byte ends there, as a C string would.
    size_t zero = bytes.find('\0');
    if (zero != std::string::npos)
        bytes.resize(zero);
    content = std::move(bytes);
}

std::string ZTINIReader::sectionText(const std::string& section) const {
    std::string header = "[" + section + "]";
    size_t start = content.find(header);
    if (start == std::string::npos)
        return std::string();
    size_t next = content.find('[', start + 1);
    size_t from = start + header.size();
    // A section name holding "[" ends its own section inside the header.
    if (next != std::string::npos && next < from)
        return std::string();
    size_t to = next == std::string::npos ? content.size() : next;
    return content.substr(from, to - from);
}

std::string ZTINIReader::getString(const std::string& section, const std::string& key) const {
    std::string text = sectionText(section);
    size_t k = text.find(key);
    if (k == std::string::npos)
        return text;
    size_t e = text.find('=', k);
    if (e == std::string::npos)
        return text;
    size_t r = text.find('\r', e);
    if (r == std::string::npos)
        r = text.size();
    return text.substr(e + 1, r - (e + 1));
}

int ZTINIReader::getInt(const std::string& section, const std::string& key) const {
    return std::atoi(getString(section, key).c_str());
}

float ZTINIReader::getFloat(const std::string& section, const std::string& key) const {
    return static_cast<float>(std::atof(getString(section, key).c_str()));
}

void ZTINIReader::getVector3(const std::string& section, const std::string& key, float& x, float& y,
                             float& z) const {
    // The value is split in a 260-byte work buffer; longer values are cut there, and missing
    // fields read as 0.
    char buf[260] = {};
    std::string value = getString(section, key);
    std::strncpy(buf, value.c_str(), sizeof buf - 1);
    char* save = nullptr;
    const char* a = strtok_r(buf, ",", &save);
    const char* b = a != nullptr ? strtok_r(nullptr, ",", &save) : nullptr;
    const char* c = b != nullptr ? strtok_r(nullptr, "\n", &save) : nullptr;
    x = a != nullptr ? static_cast<float>(std::atof(a)) : 0.0f;
    y = b != nullptr ? static_cast<float>(std::atof(b)) : 0.0f;
    z = c != nullptr ? static_cast<float>(std::atof(c)) : 0.0f;
}
