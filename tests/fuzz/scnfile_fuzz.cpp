// The ".scn" reader: any bytes read without going past their end, and a file it reads whole
// and clean is the very file the writer's layout gives for what was read.

#include <vector>

#include "postproc/ecrire_scnUnit.h"
#include "tests/fuzz/FuzzCheck.h"

using namespace talvence;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> file(data, data + size);
    const ScnContents contents = ScnParse(file);
    if (!contents.ok) {
        FUZZ_CHECK(contents.scenes.empty());
        return 0;
    }
    FUZZ_CHECK(contents.scenes.size() <= contents.count);
    if (!contents.error.empty() || contents.scenes.size() != contents.count ||
        contents.path.size() > kScnMaxPathBytes)
        return 0;

    std::vector<std::uint8_t> rebuilt = ScnHeaderBytes(contents.path, contents.count);
    for (std::size_t k = 0; k < contents.scenes.size(); ++k) {
        const ScnScene& scene = contents.scenes[k];
        const auto entry = k == 0 ? ScnFirstSceneBytes(contents.path, scene.frames + 1)
                                  : ScnLaterSceneBytes(scene.start, scene.frames);
        rebuilt.insert(rebuilt.end(), entry.begin(), entry.end());
    }
    FUZZ_CHECK(rebuilt == file);
    return 0;
}
