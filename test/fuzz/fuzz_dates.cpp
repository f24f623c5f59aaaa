// NormalizeDate and ExtractDateOperator on any text under several short date
// pictures: the operator is one of five, a date that is accepted is a real
// yyyy/mm/dd date, and any date written in the picture reads back as itself.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Bibliothek/uDateRoutines.h"
#include "Bibliothek/uStringRoutines.h"
#include "app/uQuilletConstants.h"
#include "Bibliothek/uFailure.h"
#include "filter/uDateConditions.h"
#include "test/fuzz/uFuzzSupport.h"

namespace {
const char* const Pictures[] = {"dd.MM.yyyy", "MM/dd/yy", "yyyy-MM-dd", "d/M/yyyy", "dd.MM.yy", "yyyy.MM.dd", "M-d-yyyy"};

bool IsRealDate(const std::string& d) {
  if (d.size() != 10 || d[4] != '/' || d[7] != '/') return false;
  for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (d[i] < '0' || d[i] > '9') return false;
  const int y = std::stoi(d.substr(0, 4)), m = std::stoi(d.substr(5, 2)), day = std::stoi(d.substr(8, 2));
  const int days[] = {31, (y % 4 == 0 && (y % 100 != 0 || y % 400 == 0)) ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m >= 1 && m <= 12 && day >= 1 && day <= days[m - 1];
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  uQuilletConstants::StartupQuilletConstants();
  StartupStringRoutines();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string picture = Pictures[data[0] % (sizeof Pictures / sizeof *Pictures)];
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  SetShortDatePictureForTests(picture);
  SetTodayForTests(TDate{2026, 12, 7});

  const std::string op = DateOperatorText(ExtractDateOperator(text));
  FUZZ_CHECK(op == ".EQ" || op == ".GT" || op == ".GE" || op == ".LT" || op == ".LE", "operator");
  try {
    const std::string date = NormalizeDate(text, uQuilletConstants::SDateFormatUnknown);
    FUZZ_CHECK(IsRealDate(date), "accepted date is a real yyyy/mm/dd date");
  } catch (const EFailure&) {
  }
  // A date written in the picture reads back as itself (two-digit years in their window).
  if (size >= 4) {
    const TDate day{1950 + data[1] % 99, 1 + data[2] % 12, 1 + data[3] % 28};
    char expected[16];
    std::snprintf(expected, sizeof expected, "%04d/%02d/%02d", day.Year, day.Month, day.Day);
    const std::string written = FormatShortDate(day, picture);
    if (picture.find("yyyy") != std::string::npos) {
      try {
        FUZZ_CHECK(NormalizeDate(written, uQuilletConstants::SDateFormatUnknown) == expected, "a written date reads back");
        FUZZ_CHECK(NormalizeDate(".ge" + written, uQuilletConstants::SDateFormatUnknown) == expected, "an operator in front changes nothing");
      } catch (const EFailure&) {
        FUZZ_CHECK(false, "a written date is accepted");
      }
    }
  }
  return 0;
}
