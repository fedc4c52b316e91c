// Runs a fuzz target over saved inputs without libFuzzer: every file named,
// and every file in every folder named. Fails when a file cannot be read or
// there is none.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; i++)
        if (std::filesystem::is_directory(argv[i]))
            files.insert(files.end(), std::filesystem::directory_iterator(argv[i]), {});
        else
            files.emplace_back(argv[i]);
    for (const auto &file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string input{std::istreambuf_iterator<char>(in), {}};
        if (!in.good() && !in.eof())
            return fprintf(stderr, "cannot read %s\n", file.c_str()), 1;
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.data()), input.size());
    }
    printf("%zu inputs replayed\n", files.size());
    return files.empty() ? 1 : 0;
}
