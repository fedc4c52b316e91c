// Runs a fuzz target over saved inputs, without libFuzzer: every file named,
// and every file in every folder named.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static void replay(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    const std::string input{std::istreambuf_iterator<char>(in), {}};
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.data()), input.size());
}

int main(int argc, char **argv)
{
    size_t count = 0;
    for (int i = 1; i < argc; i++) {
        if (!std::filesystem::is_directory(argv[i]))
            replay(argv[i]), count++;
        else
            for (const auto &entry : std::filesystem::directory_iterator(argv[i]))
                replay(entry.path()), count++;
    }
    printf("%zu inputs replayed\n", count);
    return count > 0 ? 0 : 1;
}
