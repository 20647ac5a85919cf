// Replays fuzz inputs without libFuzzer (for compilers without it): every file
// named on the command line, and every file in every folder named, runs once
// through the fuzz entry, after the empty input. A broken host rule aborts.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t iSize);

namespace {

void RunFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> vBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(vBytes.data(), vBytes.size());
}

}  // namespace

int main(int argc, char** argv)
{
    LLVMFuzzerTestOneInput(nullptr, 0);
    size_t iRuns = 1;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            std::vector<std::filesystem::path> vFiles;
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file()) vFiles.push_back(entry.path());
            std::sort(vFiles.begin(), vFiles.end());
            for (const auto& file : vFiles) {
                RunFile(file);
                ++iRuns;
            }
        } else {
            RunFile(path);
            ++iRuns;
        }
    }
    std::printf("replayed %zu inputs, every one kept the host rules\n", iRuns);
    return 0;
}
