#include "app/capture/CaptureFiles.h"

#include "postproc/ecrire_scnUnit.h"
#include "postproc/fpsunit.h"

#include <filesystem>
#include <system_error>

namespace talvence {

namespace fs = std::filesystem;

bool LocalCaptureFiles::FileExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

bool LocalCaptureFiles::FolderExists(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

bool LocalCaptureFiles::CreateFolders(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    return fs::is_directory(path, ec);
}

bool LocalCaptureFiles::RemoveFile(const std::string& path) {
    std::error_code ec;
    return fs::remove(path, ec);
}

bool LocalCaptureFiles::RewriteFrameRate(const std::string& path, double fps) {
    return AviSetFrameRate(path, fps).outcome == AviRateOutcome::Written;
}

bool LocalCaptureFiles::CreateSceneFile(const std::string& path) {
    return ScnCreate(path);
}

void LocalCaptureFiles::AppendScene(const DvFrameInfo& sceneStart, const DvFrameInfo& current) {
    ScnAppendScene(sceneStart, current);
}

void LocalCaptureFiles::EndSceneRun(std::uint32_t framesInFile) {
    ScnEndRun(framesInFile);
}

int LocalCaptureFiles::SceneCount() {
    return ApplicationScnWriter().sceneCount();
}

std::uint64_t LocalCaptureFiles::FileSize(const std::string& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

TDiskSpace LocalCaptureFiles::FreeSpace(const std::string& path) {
    return DiskSpaceFor(path);
}

} // namespace talvence
