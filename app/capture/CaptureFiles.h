#pragma once
// The files around a capture: existence and folder checks before a start,
// and the post-processing at its end (frame-rate rewrite, scene file).
// LocalCaptureFiles is the real file system; tests use FakeCaptureFiles.

#include "filters/dvcodes/DvFrameInfo.h"
#include "platform/shell/DiskSpace.h"

#include <cstdint>

#include <string>

namespace talvence {

class ICaptureFiles {
public:
    virtual ~ICaptureFiles() = default;
    // Application thread.
    virtual bool FileExists(const std::string& path) = 0;
    virtual bool FolderExists(const std::string& path) = 0;
    // With all missing parents; true when the folder exists afterwards.
    virtual bool CreateFolders(const std::string& path) = 0;
    virtual bool RemoveFile(const std::string& path) = 0;
    // Rewrites an image-by-image AVI's frame rate; true when written.
    virtual bool RewriteFrameRate(const std::string& path, double fps) = 0;
    // Starts a scene file; later scenes go to it until the next one.
    virtual bool CreateSceneFile(const std::string& path) = 0;
    // Streaming thread (and the stopping thread for the final scene).
    virtual void AppendScene(const DvFrameInfo& sceneStart, const DvFrameInfo& current) = 0;
    // After a run of the capture stopped: its scenes end at the frames its
    // video file received (the scene file goes when none did).
    virtual void EndSceneRun(std::uint32_t framesInFile) = 0;

    // For the capture status; any thread.
    // Scenes written to the current scene file so far, as the writer counts them.
    virtual int SceneCount() = 0;
    // 0 when the file does not exist.
    virtual std::uint64_t FileSize(const std::string& path) = 0;
    // The file system that holds (or will hold) `path`.
    virtual TDiskSpace FreeSpace(const std::string& path) = 0;
};

// std::filesystem, the AVI walker and the application's scene writer.
class LocalCaptureFiles : public ICaptureFiles {
public:
    bool FileExists(const std::string& path) override;
    bool FolderExists(const std::string& path) override;
    bool CreateFolders(const std::string& path) override;
    bool RemoveFile(const std::string& path) override;
    bool RewriteFrameRate(const std::string& path, double fps) override;
    bool CreateSceneFile(const std::string& path) override;
    void AppendScene(const DvFrameInfo& sceneStart, const DvFrameInfo& current) override;
    void EndSceneRun(std::uint32_t framesInFile) override;
    int SceneCount() override;
    std::uint64_t FileSize(const std::string& path) override;
    TDiskSpace FreeSpace(const std::string& path) override;
};

} // namespace talvence
