// Runs a fuzz target over saved inputs, without libFuzzer: every file named,
// and every file in every folder named. Fails when there is none to run or
// one cannot be read.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static bool replay(const std::filesystem::path &file)
{
    std::ifstream in(file, std::ios::binary);
    const std::string input{std::istreambuf_iterator<char>(in), {}};
    if (!in.good() && !in.eof())
        return fprintf(stderr, "cannot read %s\n", file.c_str()), false;
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.data()), input.size());
    return true;
}

int main(int argc, char **argv)
{
    size_t count = 0;
    bool read = true;
    for (int i = 1; i < argc; i++) {
        if (!std::filesystem::is_directory(argv[i]))
            read &= replay(argv[i]), count++;
        else
            for (const auto &entry : std::filesystem::directory_iterator(argv[i]))
                read &= replay(entry.path()), count++;
    }
    printf("%zu inputs replayed\n", count);
    return count > 0 && read ? 0 : 1;
}
