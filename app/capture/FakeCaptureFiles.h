#pragma once
// Files for tests: a set of existing files and folders in memory, and a
// record of rewrites, removals and scenes per scene file.

#include "app/capture/CaptureFiles.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace talvence {

class FakeCaptureFiles : public ICaptureFiles {
public:
    std::set<std::string> files;
    std::set<std::string> folders;
    bool foldersCanBeCreated = true;
    std::map<std::string, double> rewrites; // path -> fps
    std::set<std::string> removed;
    std::map<std::string, int> scenes;                              // scene file -> scenes appended
    std::map<std::string, std::vector<std::uint32_t>> sceneRunEnds; // scene file -> frames
    std::map<std::string, std::uint64_t> sizes;
    TDiskSpace space{1ull << 30, "/"};

    bool FileExists(const std::string& path) override { return files.count(path) > 0; }
    bool FolderExists(const std::string& path) override { return folders.count(path) > 0; }
    bool CreateFolders(const std::string& path) override {
        if (foldersCanBeCreated) folders.insert(path);
        return foldersCanBeCreated;
    }
    bool RemoveFile(const std::string& path) override {
        removed.insert(path);
        return files.erase(path) > 0;
    }
    bool RewriteFrameRate(const std::string& path, double fps) override {
        rewrites[path] = fps;
        return true;
    }
    bool CreateSceneFile(const std::string& path) override {
        current_ = path;
        scenes[path] = 0;
        return true;
    }
    void AppendScene(const DvFrameInfo&, const DvFrameInfo&) override {
        if (!current_.empty()) ++scenes[current_];
    }
    void EndSceneRun(std::uint32_t framesInFile) override {
        if (!current_.empty()) sceneRunEnds[current_].push_back(framesInFile);
    }
    int SceneCount() override { return current_.empty() ? 0 : scenes[current_]; }
    std::uint64_t FileSize(const std::string& path) override {
        const auto it = sizes.find(path);
        return it == sizes.end() ? 0 : it->second;
    }
    TDiskSpace FreeSpace(const std::string&) override { return space; }

private:
    std::string current_;
};

} // namespace talvence
