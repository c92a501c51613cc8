// A scratch directory for fake sysfs and /dev trees, removed at the end.
#pragma once

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

class TempTree {
public:
    TempTree() {
        char pattern[] = "/tmp/tolvane-linux-XXXXXX";
        const char* dir = mkdtemp(pattern);
        if (dir == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
            return;
        }
        m_root = dir;
    }
    ~TempTree() {
        if (!m_root.empty()) {
            nftw(m_root.c_str(), Remove, 16, FTW_DEPTH | FTW_PHYS);
        }
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& Root() const { return m_root; }
    std::string Path(const std::string& rel) const { return m_root + "/" + rel; }

    // Creates rel and every missing parent.
    void Dir(const std::string& rel) const {
        std::string path = m_root;
        std::size_t start = 0;
        while (start < rel.size()) {
            std::size_t slash = rel.find('/', start);
            if (slash == std::string::npos) {
                slash = rel.size();
            }
            path += "/" + rel.substr(start, slash - start);
            mkdir(path.c_str(), 0755);
            start = slash + 1;
        }
    }

    void File(const std::string& rel, const std::string& text) const {
        const std::size_t slash = rel.rfind('/');
        if (slash != std::string::npos) {
            Dir(rel.substr(0, slash));
        }
        FILE* f = std::fopen(Path(rel).c_str(), "w");
        ASSERT_NE(f, nullptr) << rel;
        std::fputs(text.c_str(), f);
        std::fclose(f);
    }

    void Link(const std::string& rel, const std::string& target) const {
        const std::size_t slash = rel.rfind('/');
        if (slash != std::string::npos) {
            Dir(rel.substr(0, slash));
        }
        ASSERT_EQ(symlink(target.c_str(), Path(rel).c_str()), 0) << rel;
    }

private:
    static int Remove(const char* path, const struct stat*, int, struct FTW*) {
        std::remove(path);
        return 0;
    }

    std::string m_root;
};
