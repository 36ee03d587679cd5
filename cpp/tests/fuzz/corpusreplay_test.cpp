// Runs every committed input of one fuzz target through its entry point. A fault in the target
// aborts the process after naming the input that caused it.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

namespace fs = std::filesystem;

std::string currentInput;

void nameInputAndAbort(int signal)
{
    std::fprintf(stderr, "fault while replaying %s\n", currentInput.c_str());
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::vector<fs::path> inputFiles()
{
    std::vector<fs::path> files;
    for (const char* dir : {QUORIX_FUZZ_CORPUS, QUORIX_FUZZ_REGRESSIONS}) {
        if (!fs::is_directory(dir))
            continue;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file())
                files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(CorpusReplay, EveryCommittedInputRunsClean)
{
    const std::vector<fs::path> files = inputFiles();
    ASSERT_FALSE(files.empty()) << "no inputs in " << QUORIX_FUZZ_CORPUS;
    if (LLVMFuzzerInitialize != nullptr) {
        static char name[] = "corpusreplay";
        static char* argv[] = {name, nullptr};
        static int argc = 1;
        static char** args = argv;
        ASSERT_EQ(0, LLVMFuzzerInitialize(&argc, &args));
    }
    std::signal(SIGABRT, nameInputAndAbort);
    std::signal(SIGSEGV, nameInputAndAbort);
    for (const fs::path& file : files) {
        currentInput = file.string();
        const std::string bytes = contents(file);
        EXPECT_EQ(0,
                  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()))
            << file;
    }
    std::signal(SIGABRT, SIG_DFL);
    std::signal(SIGSEGV, SIG_DFL);
}

} // namespace
