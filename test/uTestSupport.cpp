#include "test/uTestSupport.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Bibliothek/Plattform/uOsProcess.h"

namespace fs = std::filesystem;

TTempDir::TTempDir() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0;; ++attempt) {
    fs::path p = fs::temp_directory_path() /
                 ("quillet-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      FPath = p.string();
      return;
    }
    if (attempt > 100) throw std::runtime_error("cannot create a temporary directory");
  }
}

TTempDir::~TTempDir() {
  std::error_code ec;
  fs::remove_all(FPath, ec);
}

std::string TTempDir::File(const std::string& name) const {
  return (fs::path(FPath) / name).string();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEnvGuard::TEnvGuard(std::string name, const std::string& value) : FName(std::move(name)) {
  const char* old = std::getenv(FName.c_str());
  FHadOld = old != nullptr;
  if (old) FOld = old;
  OsSetEnvironment(FName, value);
}

TEnvGuard::~TEnvGuard() { OsSetEnvironment(FName, FHadOld ? FOld : std::string()); }

std::string TestDataDir() { return QUILLET_TEST_DATA_DIR; }
