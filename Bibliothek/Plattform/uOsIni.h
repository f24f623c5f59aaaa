#pragma once
// INI files with Windows semantics. Win32: GetPrivateProfileStringA and
// WritePrivateProfileStringA. POSIX: the portable reader and writer of
// uIniText.h, which give the same answers on the same file; the file is
// parsed once while it stays the same.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

/// Why a settings file (an INI file, the POSIX registry file) is neither read
/// nor written: it is no file (a FIFO, a device, a socket), it is larger than
/// OsMaxSettingsFileBytes of text (POSIX: a UTF-16 file twice as many bytes),
/// or its name is a symbolic link that neither the
/// user who runs nor root owns (Win32: whose owner cannot be told, as under
/// wine, which shows no link as one). The functions read such a file as a
/// missing one and fail to write it, and tell why to a caller that asks.
enum class TOsSettingsRefusal { None, NotAFile, TooLarge, ForeignLink };
inline constexpr std::uint64_t OsMaxSettingsFileBytes = 16u << 20;

/// The keys of `section` in file order (names found without regard to case);
/// empty when the file or the section is missing. Win32 reads them into a
/// 16384-byte buffer, as GetPrivateProfileStringA with a null key does.
std::vector<std::string> OsIniKeys(const std::string& file, const std::string& section);

using TIniEntries = std::vector<std::pair<std::string, std::string>>;

/// OsIniKeys, each with its OsIniValue, from one reading of the file; never
/// null. POSIX hands out the same list while the file stays the same.
std::shared_ptr<const TIniEntries> OsIniEntries(const std::string& file, const std::string& section,
                                                TOsSettingsRefusal* refusal = nullptr);

/// The value of `key` in `section`, blanks around it removed and one pair of
/// enclosing double or single quotes dropped; at most 2047 characters; empty
/// when the file, section or key is missing.
std::string OsIniValue(const std::string& file, const std::string& section, const std::string& key);

/// Stores key=value in section like WritePrivateProfileStringA: creates file
/// and section, replaces the entry in place, appends a new entry at the end of
/// its section, leaves everything else byte for byte. Both builds replace the
/// file atomically (temporary file beside it, then rename), one writer at a
/// time; Win32 has WritePrivateProfileStringA store the entry on a copy in the
/// user's own temporary folder first. False when it fails.
bool OsIniWrite(const std::string& file, const std::string& section, const std::string& key,
                const std::string& value, TOsSettingsRefusal* refusal = nullptr);

/// Whether a value read from an INI file is taken whole, "/" included (POSIX,
/// whose paths are written with it), or cut at its first "/" like an item of
/// the command line (Win32, where "\" separates folders and "/" switches).
bool OsIniValuesHoldSlashes();

/// Flushes the platform's cached copy of the file (Win32: WritePrivateProfileStringA
/// with only the file name). POSIX: nothing to do.
void OsIniFlush(const std::string& file);
