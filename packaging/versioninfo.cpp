// Test tool of the Windows build: prints the version resource of an exe the
// way Windows reads it for the file properties, one NAME=value per line.
//   versioninfo.exe FILE
// Exit code 1 when the file has no version resource.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: versioninfo FILE\n");
    return 2;
  }
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(argv[1], &ignored);
  if (size == 0) {
    std::printf("no version resource (error %lu)\n", static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  std::vector<char> data(size);
  if (!GetFileVersionInfoA(argv[1], 0, size, data.data())) return 1;

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
    const auto print = [](const char* name, DWORD ms, DWORD ls) {
      std::printf("%s=%u.%u.%u.%u\n", name, unsigned{HIWORD(ms)}, unsigned{LOWORD(ms)}, unsigned{HIWORD(ls)},
                  unsigned{LOWORD(ls)});
    };
    print("FixedFileVersion", fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    print("FixedProductVersion", fixed->dwProductVersionMS, fixed->dwProductVersionLS);
  }
  // The strings of the first translation, as Explorer shows them.
  struct {
    WORD Language, CodePage;
  }* translation = nullptr;
  if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
      length < sizeof *translation)
    return 1;
  char block[64];
  std::snprintf(block, sizeof block, "\\StringFileInfo\\%04x%04x\\", translation->Language, translation->CodePage);
  for (const char* name : {"FileDescription", "FileVersion", "ProductName", "ProductVersion", "OriginalFilename"}) {
    char* value = nullptr;
    if (VerQueryValueA(data.data(), (std::string(block) + name).c_str(), reinterpret_cast<void**>(&value), &length) &&
        value)
      std::printf("%s=%s\n", name, value);
  }
  return 0;
}
