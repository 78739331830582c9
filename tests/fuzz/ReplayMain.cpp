// Runs the fuzz target once over each file named on the command line, for
// builds without libFuzzer: the seeds and any saved crash inputs stay tests.
#include <cstdint>
#include <cstdio>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::vector<std::uint8_t> bytes;
        if (FILE* f = std::fopen(argv[i], "rb")) {
            std::uint8_t buf[65536];
            std::size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
            std::fclose(f);
        } else {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        std::printf("%s: done\n", argv[i]);
    }
    return 0;
}
