// Contract of the registry module. Round trips run in both builds (through the
// real registry in the Windows build); the tests of the file itself run only
// where there is a registry file.
#include "Bibliothek/Plattform/uOsRegistry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "Bibliothek/Textformate/uRegistryTextTestSupport.h"
#include "test/uTestSupport.h"

namespace {

bool HasRegistryFile() { return !OsRegistryFilePath().empty(); }

/// A key of this test run only, so that runs never meet in the real registry.
std::string UniqueKey() {
  static const std::string key = [] {
    std::mt19937 rng(static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    return "Software\\ORVEK\\QuilletTest" + std::to_string(rng() % 1000000000u) + "\\PARAMETERS";
  }();
  return key;
}

/// HKCU_FILE in a fresh folder for one test (harmless in the Windows build).
struct TRegistryFileGuard {
  TTempDir Dir;
  std::string File = Dir.File("hkcu.reg");
  TEnvGuard Env{"HKCU_FILE", File};
};

TEST(OsRegistryFile, DefaultPath) {
  if (!HasRegistryFile()) GTEST_SKIP() << "the real registry has no file";
  TEnvGuard file("HKCU_FILE", "");
  TEnvGuard home("HOME", "/home/someone");
  {
    TEnvGuard config("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ("/cfg/HKEY_CURRENT_USER.reg", OsRegistryFilePath());
  }
  TEnvGuard config("XDG_CONFIG_HOME", "relative/cfg");
  EXPECT_EQ("/home/someone/.config/HKEY_CURRENT_USER.reg", OsRegistryFilePath());
  TEnvGuard set("HKCU_FILE", "/x/y.reg");
  EXPECT_EQ("/x/y.reg", OsRegistryFilePath());
}

TEST(OsRegistryFile, LeavesForeignFilesAloneAndCreatesFolders) {
  if (!HasRegistryFile()) GTEST_SKIP() << "the real registry has no file";
  TRegistryFileGuard reg;
  WriteBytes(reg.File, "not a registry\n");
  EXPECT_FALSE(OsRegWriteString("A", "N", "v"));
  EXPECT_EQ("not a registry\n", ReadBytes(reg.File));

  const std::string nested = (std::filesystem::path(reg.Dir.Path()) / "sub" / "dir" / "h.reg").string();
  TEnvGuard env("HKCU_FILE", nested);
  EXPECT_TRUE(OsRegWriteString("A", "N", "v"));
  EXPECT_EQ("S:v", Show(OsRegReadValue("a", "n")));
}

// Both builds: what is written reads back, wherever the registry lives.
TEST(OsRegistry, WriteThenReadRoundTrips) {
  TRegistryFileGuard reg;
  const std::string key = UniqueKey();
  EXPECT_EQ("(none)", Show(OsRegReadValue(key, "DATE")));
  const char* const values[][2] = {
      {"DATE", ".ge-7"}, {"Path", "c:\\logs\\\"a b\""}, {"EMPTY", ""}, {"", "default"}, {"Text", "ge\xF6" "ffnet"},
  };
  for (const auto& v : values) ASSERT_TRUE(OsRegWriteString(key, v[0], v[1])) << v[0];
  for (const auto& v : values) EXPECT_EQ(std::string("S:") + v[1], Show(OsRegReadValue(key, v[0]))) << v[0];

  ASSERT_TRUE(OsRegWriteString("\\" + key + "\\", "date", "2"));
  EXPECT_EQ("S:2", Show(OsRegReadValue(key, "Date")));
  EXPECT_EQ("(none)", Show(OsRegReadValue(key, "AUTHOR")));
  EXPECT_EQ("(none)", Show(OsRegReadValue(key + "\\NoSuchKey", "DATE")));
  ASSERT_TRUE(OsRegWriteString(key, "Z", std::string("a\0b", 3)));
  EXPECT_EQ("S:a", Show(OsRegReadValue(key, "Z")));
}

// Writers in several threads (each with its own lock handle, as processes
// have) lose no value; a rewrite a moment later is seen.
TEST(OsRegistryFile, FilesThatAreNoSettingsFilesAreRefused) {
  if (!HasRegistryFile()) GTEST_SKIP() << "the real registry has no file";
  TTempDir dir;
  WriteBytes(dir.File("large.reg"), V5 + KeyHeading + "\"A\"=\"1\"\r\n" + std::string(OsMaxSettingsFileBytes, ';'));
  const struct {
    std::string File;
    TOsSettingsRefusal Expected;
  } rows[] = {{"/dev/null", TOsSettingsRefusal::NotAFile}, {dir.File("large.reg"), TOsSettingsRefusal::TooLarge}};
  for (const auto& row : rows) {
    const TEnvGuard env("HKCU_FILE", row.File);
    TOsSettingsRefusal refusal = TOsSettingsRefusal::None;
    EXPECT_EQ("(none)", Show(OsRegReadValue(KeyPath, "A", &refusal))) << row.File;
    EXPECT_EQ(row.Expected, refusal) << row.File;
    refusal = TOsSettingsRefusal::None;
    EXPECT_FALSE(OsRegWriteString(KeyPath, "B", "2", &refusal)) << row.File;
    EXPECT_EQ(row.Expected, refusal) << row.File;
  }
  // The bound is one of text: UTF-16 takes two bytes a character.
  std::string wide = "\xFF\xFE";
  for (char c : V5 + KeyHeading + "\"A\"=\"1\"\r\n;" + std::string(12u << 20, ';') + "\r\n") wide.append({c, '\0'});
  WriteBytes(dir.File("wide.reg"), wide);
  const TEnvGuard env("HKCU_FILE", dir.File("wide.reg"));
  EXPECT_EQ("S:1", Show(OsRegReadValue(KeyPath, "A")));
}

TEST(OsRegistryFile, ConcurrentWritersAndRewritesAreSeen) {
  if (!HasRegistryFile()) GTEST_SKIP() << "the real registry has no file";
  TRegistryFileGuard reg;
  WriteBytes(reg.File, V5 + KeyHeading + "\"DATE\"=\"1\"\r\n");
  EXPECT_EQ("S:1", Show(OsRegReadValue(KeyPath, "DATE")));
  WriteBytes(reg.File, V5 + KeyHeading + "\"DATE\"=\"2\"\r\n");
  EXPECT_EQ("S:2", Show(OsRegReadValue(KeyPath, "DATE")));
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t)
    writers.emplace_back([t] {
      for (int i = 0; i < 25; ++i) EXPECT_TRUE(OsRegWriteString("W", "N" + std::to_string(t * 100 + i), "v"));
    });
  for (std::thread& w : writers) w.join();
  for (int t = 0; t < 4; ++t)
    for (int i = 0; i < 25; ++i) EXPECT_EQ("S:v", Show(OsRegReadValue("W", "N" + std::to_string(t * 100 + i))));
  EXPECT_EQ("S:2", Show(OsRegReadValue(KeyPath, "DATE")));
}

}  // namespace
