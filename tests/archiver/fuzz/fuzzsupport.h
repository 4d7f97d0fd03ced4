#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>

// What the fuzz bodies share: a scratch folder per input, and the checks whose failure is a
// fault (a trap, which libFuzzer keeps as a crash).
namespace vadok::archiver::fuzz {

[[noreturn]] inline void fault() {
    __builtin_trap();
}

// A folder of its own below the temporary folder, removed with everything in it.
struct Scratch {
    std::filesystem::path root;
    Scratch();
    ~Scratch();
};

void writeBytes(const std::filesystem::path& p, const std::uint8_t* data, std::size_t size);
void writeBytes(const std::filesystem::path& p, const std::string& bytes);

// Every entry below dest, links followed as far as they lead, must stay below dest.
void checkNothingLeadsOut(const std::filesystem::path& dest);

// The expansion's own names, and nothing else, beside the destination.
void checkNothingBeside(const std::filesystem::path& scratch,
                        std::initializer_list<const char*> names);

} // namespace vadok::archiver::fuzz
