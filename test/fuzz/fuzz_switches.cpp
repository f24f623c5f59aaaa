// Command-line items, INI items and macro expansion on any text. The input is
// a command line, then (after the first zero byte, if any) the INI file.
// Properties: every item's section and name come out upper-cased and trimmed,
// an expanded value holds no macro reference and stays within its bound (a
// longer one fails), and every command-line item reported as naming no switch
// names something other than "?".
#include <cstddef>
#include <cstdint>
#include <string>

#include "Bibliothek/Schalter/uProgramSwitch.h"
#include "Bibliothek/Schalter/uProgramSwitchConstant.h"
#include "Bibliothek/uFailure.h"
#include "Bibliothek/uSingleton.h"
#include "Bibliothek/uStringRoutines.h"
#include "test/fuzz/uFuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  StartupProgramSwitchConstant();
  StartupStringRoutines();
  StartupSingleton();
  WriteBytes(FuzzFolder() + "Qfuzz.exe", "");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  const std::size_t zero = all.find('\0');
  const std::string commandLine = all.substr(0, zero);
  WriteBytes(FuzzFolder() + "Qfuzz.ini", zero == std::string::npos ? std::string() : all.substr(zero + 1));

  std::size_t start = 0;
  while (start <= commandLine.size()) {
    std::size_t end = commandLine.find('/', start);
    if (end == std::string::npos) end = commandLine.size();
    const TParameterItem item = TParameter::ParseItem(commandLine.substr(start, end - start));
    for (const std::string* part : {&item.Section, &item.Name}) {
      for (char c : *part) FUZZ_CHECK(c < 'a' || c > 'z', "item section and name upper-cased");
      FUZZ_CHECK(part->empty() || (static_cast<unsigned char>(part->front()) > ' ' &&
                                   static_cast<unsigned char>(part->back()) > ' '),
                 "item section and name trimmed");
    }
    start = end + 1;
  }

  sofProgramSwitch::SetTestProcess("\"" + FuzzFolder() + "Qfuzz.exe\" " + commandLine, FuzzFolder() + "Qfuzz.exe");
  sofProgramSwitch* switches = nullptr;
  try {
    switches = sofProgramSwitch::Create();
    for (const char* name : {"DATE", "PERSON", "A", "OUTPUT"})
      for (const char* section : {"", "MACROS"}) {
        const std::string raw = switches->GetSourceValue(name, section[0] ? section : "PARAMETERS");
        const std::string value = switches->GetValue(name, section)->AsString();
        const std::size_t open = value.find('%');
        FUZZ_CHECK(open == std::string::npos || value.find('%', open + 1) == std::string::npos,
                   "an expanded value holds no macro reference");
        FUZZ_CHECK(value.size() <= std::max<std::size_t>(raw.size(), 1 << 16), "expansion stays within its bound");
      }
    for (const TUnknownItem& item : switches->UnknownCommandItems()) {
      const TParameterItem read = TParameter::ParseItem(item.Text);
      FUZZ_CHECK(!read.Name.empty() && read.Name != "?", "a reported item names something other than ?");
    }
  } catch (const EFailure&) {
  }
  if (switches) switches->Release();
  return 0;
}
