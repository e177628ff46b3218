// A builder-mode window over real files in a temporary directory: the fake controls, message
// boxes and system, and the host file system with its faults. The lists are filled from the
// directory, as the native ones are.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/builder_window.h"
#include "fake_window.h"
#include "host_tree.h"
#include "package/firmware_area.h"
#include "platform/fake/fake_dialogs.h"
#include "platform/fake/fake_system.h"
#include "platform/fake/host_files.h"

namespace buildertest {

using hosttree::Bytes;
using hosttree::readHostFile;
using hosttree::writeHostFile;

inline const std::string Keyword("BIN-START-ADDR\0", 15);

inline Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

inline Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

// Bytes that differ from position to position and from seed to seed.
inline Bytes pattern(std::size_t size, unsigned seed) {
    Bytes out(size);
    unsigned value = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < size; ++i) {
        value = value * 1103515245u + 12345u;
        out[i] = static_cast<unsigned char>(value >> 16);
    }
    return out;
}

inline Bytes image(unsigned seed) {
    return pattern(package::ImageSize, seed);
}

// A template: `head`, the keyword, the marker and zeros filling both slots, then `tail`.
inline Bytes templateFile(const Bytes& head, const Bytes& tail) {
    Bytes slots(2 * package::ImageSize, 0);
    std::copy_n("PELO01", 6, slots.begin());
    return join({head, bytesOf(Keyword), slots, tail});
}

// What a build must give: `file` with the two images from `slot` on.
inline Bytes withImages(Bytes file, std::size_t slot, const Bytes& zolk, const Bytes& nonZolk) {
    std::copy(zolk.begin(), zolk.end(), file.begin() + static_cast<long>(slot));
    std::copy(nonZolk.begin(), nonZolk.end(),
              file.begin() + static_cast<long>(slot + package::ImageSize));
    return file;
}

class BuilderWindow : public FakeWindow {
public:
    BuilderWindow() {
        files.setCurrentDirectory("\\WORK");
        system.modulePathValue = "C:\\WORK\\W9XKVXXXX.EXE";
        auto lister = [this](const std::string& dir, const std::string& mask) {
            return files.listFiles(dir, mask);
        };
        // Both native lists start in the current directory.
        list1.dir = list2.dir = "C:\\WORK";
        list1.source = lister;
        list2.source = lister;
    }
    ~BuilderWindow() { hosttree::removeTree(root); }
    BuilderWindow(const BuilderWindow&) = delete;
    BuilderWindow& operator=(const BuilderWindow&) = delete;

    std::string work(const std::string& name) const { return root + "/WORK/" + name; }
    void put(const std::string& name, const Bytes& data) const { writeHostFile(work(name), data); }
    Bytes get(const std::string& name) const {
        Bytes data;
        readHostFile(work(name), data);
        return data;
    }
    bool has(const std::string& name) const {
        struct stat st;
        return ::stat(work(name).c_str(), &st) == 0;
    }
    // Names in the working directory, sorted.
    std::vector<std::string> listing() const {
        std::vector<std::string> names;
        if (DIR* dir = ::opendir((root + "/WORK").c_str())) {
            while (const dirent* entry = ::readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") {
                    names.push_back(name);
                }
            }
            ::closedir(dir);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Everything in the working directory, below its folders too.
    std::map<std::string, Bytes> contents() const { return hosttree::contents(root + "/WORK"); }
    // The temporary files of a build in the working directory.
    std::vector<std::string> temporaries() const {
        std::vector<std::string> names;
        for (const std::string& name : listing()) {
            if (name.rfind("KXD", 0) == 0) {
                names.push_back(name);
            }
        }
        return names;
    }

    // Set-up, then a choice in each list through the handlers.
    void choose(const std::string& zolk, const std::string& nonZolk) {
        builder.SetUpWindow();
        ASSERT_TRUE(list1.select(zolk)) << zolk;
        builder.FileListBox1Click();
        ASSERT_TRUE(list2.select(nonZolk)) << nonZolk;
        builder.FileListBox2Click();
    }

    std::vector<std::string> notices() const {
        std::vector<std::string> texts;
        for (const auto& box : dialogs.shown) {
            texts.push_back(box.text);
        }
        return texts;
    }

    std::string root = makeRoot();
    platform::fake::HostFileSystem files{root};
    platform::fake::FakeSystem system;
    platform::fake::FakeDialogs dialogs;
    platform::Services services{system, dialogs, files};
    app::BuilderNames names;
    app::BuilderWindow builder{controls, services, names};

private:
    static std::string makeRoot() {
        const std::string made = hosttree::makeFolder("/tmp/kxd-builder-");
        if (!made.empty()) {
            ::mkdir((made + "/WORK").c_str(), 0755);
        }
        return made;
    }
};

} // namespace buildertest
