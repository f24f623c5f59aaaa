#pragma once
// The INI format as tables, shared by the text's own tests (uIniText_test.cpp)
// and the platform's INI module (uOsIni_test.cpp). In the Windows build the
// module is the system's profile functions, which holds the portable reader
// and writer to the same answers. Every name is ASCII, so that any upper-case
// mapping finds it alike.
#include <string>
#include <vector>

inline std::string Join(const std::vector<std::string>& keys) {
  std::string s;
  for (const std::string& k : keys) s += (s.empty() ? "" : "|") + k;
  return s;
}

inline const char* const KeyList = nullptr;  // Key of a row that asks for the key list

struct TReadRow {
  const char* Text;
  const char* Section;
  const char* Key;  // KeyList: the section's keys, joined by "|"
  std::string Expected;
};

inline const TReadRow ReadRows[] = {
    {"[S]\r\nA=1\r\n", "S", "A", "1"},
    {"[S]\nA=1\nB=2\n", "S", "B", "2"},
    {"[S]\rA=1\rB=2\r", "S", KeyList, "A|B"},
    {"[Params]\r\nDate=x\r\n", "PARAMS", "date", "x"},
    {"[ S ]\n  A  =  v x  \n\tB\t=\t\"q\"\t\n", "S", "A", "v x"},
    {"[ S ]\n  A  =  v x  \n\tB\t=\t\"q\"\t\n", "S", "b", "q"},
    {"[S]\nC='s'\n", "S", "C", "s"},
    {"[S]\nD=\"a'\n", "S", "D", "\"a'"},
    {"[S]\nE=\"\n", "S", "E", "\""},
    {"[S]\nF=\"\"\n", "S", "F", ""},
    {"[S]\nG= \" a \" \n", "S", "G", " a "},
    {"[S]\nA=b=c\n", "S", "A", "b=c"},
    {"[S]\nA=1 ;x\n", "S", "A", "1 ;x"},
    // duplicates: listed twice, the first one answers
    {"[S]\r\nA=1\r\nA=2\r\nB=3\r\n", "S", KeyList, "A|A|B"},
    {"[S]\r\nA=1\r\nA=2\r\nB=3\r\n", "S", "A", "1"},
    // lines without "=" and comment lines are not listed
    {"[S]\nA=1\nnoeq\n;c=1\n  ;d=1\n#h=2\nK=\nB=3\n", "S", KeyList, "A|#h|K|B"},
    {"[S]\nnoeq\nnoeq=1\n", "S", "noeq", ""},
    {"[S]\n;c=1\n", "S", ";c", "1"},
    // an entry without a name is never listed
    {"[S]\nK=1\n=v\nA B = 2\n", "S", KeyList, "K|A B"},
    {"[S]\nK=1\n=v\nA B = 2\n", "S", " a b ", "2"},
    // lines before the first heading form the section with the empty name
    {"X=0\n[S]\nA=1\n", "", "X", "0"},
    {"X=0\n[S]\nA=1\n", "S", KeyList, "A"},
    // only the first section of a name counts
    {"[S]\nA=1\n[T]\nB=1\n[s]\nC=2\nA=9\n", "S", KeyList, "A"},
    {"[S]\nA=1\n[T]\nB=1\n[s]\nC=2\nA=9\n", "S", "A", "1"},
    // text after the last "]" is ignored; "[U" without "]" is no heading
    {"[T] junk\nX=1\n[U\nY=1\n", "T", KeyList, "X|Y"},
    {"[a]b]\nZ=1\n", "a]b", "Z", "1"},
    {"[a]b]\nZ=1\n", "a", "Z", ""},
    {"\xEF\xBB\xBF[S]\r\nA=1\r\n", "S", "A", "1"},
    {"[S]\r\n\r\n   \r\nA=1\r\n[T];y\r\nB=2\r\n", "T", "B", "2"},
    {"[S]\nA=1\n", "T", "A", ""},
    {"[S]\nA=1\n", "T", KeyList, ""},
    {"[S]\nA=1\n", "S", "B", ""},
};

struct TWriteRow {
  const char* Before;  // nullptr: no file
  const char* Section;
  const char* Key;
  const char* Value;
  const char* After;
  bool Tidy;  // a tidy file: the profile functions must give these very bytes too
};

inline const TWriteRow WriteRows[] = {
    {nullptr, "S", "A", "1", "[S]\r\nA=1\r\n", true},
    {"[S]\r\nA=1\r\nB=2\r\n[T]\r\nA=3\r\n", "S", "A", "9", "[S]\r\nA=9\r\nB=2\r\n[T]\r\nA=3\r\n", true},
    {"[S]\r\nA=1\r\n[T]\r\nX=1\r\n", "S", "C", "3", "[S]\r\nA=1\r\nC=3\r\n[T]\r\nX=1\r\n", true},
    {"[S]\r\nA=1\r\n[T]\r\nX=1\r\n", "U", "Z", "5", "[S]\r\nA=1\r\n[T]\r\nX=1\r\n[U]\r\nZ=5\r\n", true},
    {"[S]\r\nA=1\r\n", "s", "a", "9", "[S]\r\nA=9\r\n", true},
    {"[S]\r\nA=1", "S", "B", "2", "[S]\r\nA=1\r\nB=2\r\n", true},
    {"; top\r\n[S]\r\nA=1\r\n;c\r\nnoeq\r\nB=2\r\n", "S", "C", "3",
     "; top\r\n[S]\r\nA=1\r\n;c\r\nnoeq\r\nB=2\r\nC=3\r\n", true},
    {"[S]\r\nA=1\r\nA=2\r\n", "S", "A", "9", "[S]\r\nA=9\r\nA=2\r\n", true},
    // a name without value is the entry: it gets the value where it stands
    {"[S]\r\nnoeq\r\nA=1\r\n", "S", "NOEQ", "v", "[S]\r\nnoeq=v\r\nA=1\r\n", true},
    {"[S]\r\nA=1\r\n[s]\r\nB=1\r\n", "S", "B", "3", "[S]\r\nA=1\r\nB=3\r\n[s]\r\nB=1\r\n", true},
    {"top=1\r\n[S]\r\n", "", "K", "3", "top=1\r\nK=3\r\n[S]\r\n", true},
    {"\xEF\xBB\xBF[S]\r\nA=1\r\n", "S", "B", "2", "\xEF\xBB\xBF[S]\r\nA=1\r\nB=2\r\n", true},
    {"[S]\r\n", " S ", " K ", " v w ", "[S]\r\nK=v w\r\n", true},
    // blank lines, padding and LF stay; a new entry goes after the section's last line
    {"[S]\r\nA=1\r\n\r\n[T]\r\nX=1\r\n", "S", "C", "3", "[S]\r\nA=1\r\nC=3\r\n\r\n[T]\r\nX=1\r\n", false},
    {"[S]\nA=1\n\n[T]\nX=1\n", "T", "new", "3", "[S]\nA=1\n\n[T]\nX=1\nnew=3\n", false},
    {"[S]\r\n  A  =  v  \r\nB=2\r\n", "S", "B", "5", "[S]\r\n  A  =  v  \r\nB=5\r\n", false},
    {"[S]\r\n  A = 1 \r\n\r\n", "S", "A", "2", "[S]\r\nA=2\r\n\r\n", false},
    {"[S]\nA=1", "T", "B", "2", "[S]\nA=1\n[T]\nB=2\n", false},
    {"[S]\r\nA=1\r\n\r\n", "T", "B", "2", "[S]\r\nA=1\r\n\r\n[T]\r\nB=2\r\n", false},
};
