// Real files for the file-system tests and the writer's fuzz target: a temporary folder tree on
// the host, its files' bytes, and a snapshot of everything in it.
#pragma once

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace hosttree {

using Bytes = std::vector<unsigned char>;

inline void writeHostFile(const std::string& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
}

// In one read: a file of a megabyte reads in no time under the sanitizers too.
inline bool readHostFile(const std::string& path, Bytes& data) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return false;
    }
    data.resize(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(in);
}

// Everything below `host`: a file's path (with " (read-only)" when it has no write
// permission) to its bytes, a folder's path with a final '/' to nothing.
inline std::map<std::string, Bytes> contents(const std::string& host,
                                             const std::string& prefix = "") {
    std::map<std::string, Bytes> found;
    if (DIR* dir = ::opendir(host.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            struct stat st;
            if (name == "." || name == ".." || ::lstat((host + "/" + name).c_str(), &st) != 0) {
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                found[prefix + name + "/"];
                const auto inner = contents(host + "/" + name, prefix + name + "/");
                found.insert(inner.begin(), inner.end());
            } else {
                const bool readOnly = (st.st_mode & 0222) == 0;
                readHostFile(host + "/" + name,
                             found[prefix + name + (readOnly ? " (read-only)" : "")]);
            }
        }
        ::closedir(dir);
    }
    return found;
}

// A new, empty folder named after `base` ("/tmp/NAME-" and six characters); empty on failure.
inline std::string makeFolder(const std::string& base) {
    std::string name = base + "XXXXXX";
    const char* made = ::mkdtemp(&name[0]);
    return made == nullptr ? std::string() : std::string(made);
}

inline void removeTree(const std::string& path) {
    if (path.empty()) {
        return;
    }
    if (DIR* dir = ::opendir(path.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            const std::string child = path + "/" + name;
            struct stat st;
            if (::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                removeTree(child);
            } else {
                ::unlink(child.c_str());
            }
        }
        ::closedir(dir);
    }
    ::rmdir(path.c_str());
}

} // namespace hosttree
