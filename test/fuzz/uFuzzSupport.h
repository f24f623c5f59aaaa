#pragma once
// Shared by the fuzz targets: a private folder for the files a target reads,
// and a property check that stops the fuzzer with a message.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

/// A folder of this process, made once, with HKCU_FILE pointing into it so no
/// target ever touches the user's own registry file.
inline const std::string& FuzzFolder() {
  static const std::string folder = [] {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("quillet-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    setenv("HKCU_FILE", (dir / "hkcu.reg").c_str(), 1);
    return dir.string() + "/";
  }();
  return folder;
}

#define FUZZ_CHECK(condition, what)                                              \
  do {                                                                           \
    if (!(condition)) {                                                          \
      std::fprintf(stderr, "property broken: %s (%s:%d)\n", what, __FILE__, __LINE__); \
      std::abort();                                                              \
    }                                                                            \
  } while (0)

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}
