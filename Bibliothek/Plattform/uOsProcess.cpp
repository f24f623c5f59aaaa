// Portable part of uOsProcess.h, shared by both sides.
#include "Bibliothek/Plattform/uOsProcess.h"

#include <atomic>
#include <cstring>

std::string OsJoinCommandLine(int argc, const char* const* argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    std::string item = argv[i] ? argv[i] : "";
    // The command-line source reads from the first "/" on: written with
    // backslashes, a program path such as /home/me/input/quillet is skipped
    // as a Windows path would be, instead of feeding items like "input".
    // An argument's value takes POSIX paths the same way (/INPUT=/var/log/cvs.log),
    // while the switch's own "/" before the "=" and an argument with no "="
    // (/REGOFF+, /?) stay as typed.
    const std::size_t from = i == 0 ? 0 : item.find('=');
    if (from != std::string::npos)
      for (std::size_t k = from; k < item.size(); ++k)
        if (item[k] == '/') item[k] = '\\';
    if (i > 0) line += ' ';
    line += item;
  }
  return line;
}

namespace {
// The paths an interruption removes. A slot is claimed, filled, then shown
// (Live), so that the handler never reads half a path; it may read a path a
// moment after it was taken off, which removes nothing that is still wanted,
// as every registered name belongs to this process alone.
enum : int { Free, Filling, Live };
constexpr std::size_t MaxInterruptPath = 4096;
struct TInterruptSlot {
  std::atomic<int> State{Free};
  char Path[MaxInterruptPath];
};
TInterruptSlot gInterruptSlots[OsInterruptSlots];
}  // namespace

void OsRemoveOnInterrupt(const std::string& path) {
  if (path.size() >= MaxInterruptPath) return;
  static const bool installed = (OsInstallInterruptHandlers(), true);
  (void)installed;
  for (TInterruptSlot& slot : gInterruptSlots) {
    int free = Free;
    if (!slot.State.compare_exchange_strong(free, Filling)) continue;
    std::memcpy(slot.Path, path.c_str(), path.size() + 1);
    slot.State.store(Live);
    return;
  }
}

void OsKeepOnInterrupt(const std::string& path) {
  for (TInterruptSlot& slot : gInterruptSlots) {
    if (slot.State.load() != Live || path != slot.Path) continue;
    int live = Live;
    if (slot.State.compare_exchange_strong(live, Free)) return;
  }
}

const char* OsInterruptPath(std::size_t slot) {
  return slot < OsInterruptSlots && gInterruptSlots[slot].State.load() == Live ? gInterruptSlots[slot].Path : nullptr;
}
