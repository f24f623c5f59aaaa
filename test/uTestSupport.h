#pragma once
// Helpers shared by the tests: a scoped temporary directory with file helpers,
// and a guard that sets an environment variable for one test.
#include <string>

/// A fresh directory, removed with everything in it when the object goes.
class TTempDir {
public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  /// The directory's path, ending without a separator (native form).
  const std::string& Path() const { return FPath; }
  /// Path() + the platform's separator + name.
  std::string File(const std::string& name) const;

private:
  std::string FPath;
};

/// Writes `bytes` to `path` exactly (binary).
void WriteBytes(const std::string& path, const std::string& bytes);
/// The exact bytes of `path`; empty when it cannot be read.
std::string ReadBytes(const std::string& path);

/// Sets an environment variable for the guard's lifetime and restores the old value.
class TEnvGuard {
public:
  TEnvGuard(std::string name, const std::string& value);
  ~TEnvGuard();
  TEnvGuard(const TEnvGuard&) = delete;
  TEnvGuard& operator=(const TEnvGuard&) = delete;

private:
  std::string FName, FOld;
  bool FHadOld;
};

/// The folder of the project's own test data (test/data), from the build.
std::string TestDataDir();
